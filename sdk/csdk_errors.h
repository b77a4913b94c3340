// csdk_errors: the stand-in SDK's error codes (negative; injected codes are whatever the user asks).
#pragma once

namespace csdk_standin {

enum ErrorCode {
    kSettings = -1,  // csdk_settings not filled (no application name)
    kVersion = -2,   // csdk_settings.api_version is not one this SDK speaks
    kConfig = -3,    // an environment setting of the stand-in is malformed
    kSource = -4,    // the video source cannot be opened or read
    kState = -5,     // call out of order (not initialized, already initialized, no resolution)
    kHandle = -6,    // a handle that this SDK did not hand out
    kResolution = -7,// resolution not offered
    kEnded = -8,     // the source has ended (CSDK_AT_END=stop or fail)
    kInjected = -9,  // a failure injected by CSDK_REFRESH_FAIL
    kArgument = -10, // null pointer or impossible length
    kNoMemory = -11,
};

// The interface version the stand-in speaks (csdk_settings.api_version).
const int kApiVersion = 2;

}  // namespace csdk_standin
