/* csdk: the camera SDK interface the application is built against (libsdk.so).
 *
 * The camera vendor ships libsdk.so; this header declares the calls, records and values the
 * application relies on, in the vendor's C ABI, so that any library exporting these symbols can be
 * dropped in. The project's own libsdk.so (this folder) is a stand-in that serves synthetic video or a
 * recorded clip / network stream, for development off the camera.
 *
 * Ownership: the two records below are global data objects defined by the library. The application
 * writes csdk_settings before csdk_init() and only reads csdk afterwards. */
#ifndef CSDK_H
#define CSDK_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define CSDK_API __attribute__((visibility("default")))
#else
#define CSDK_API
#endif

/* Day/night state of the camera. Any value other than day or night means unknown. The last entry
 * makes every 32-bit value a valid csdk_daynight, so a firmware that reports a state of its own
 * hands over a value the application may read and compare. */
typedef enum csdk_daynight {
    CSDK_DAYNIGHT_UNKNOWN = 0,
    CSDK_DAYNIGHT_DAY = 1,
    CSDK_DAYNIGHT_NIGHT = 2,
    CSDK_DAYNIGHT_RANGE = 0x7FFFFFFF
} csdk_daynight;

/* Callbacks the SDK calls on a thread of its own when the camera changes state. */
typedef void (*csdk_daynight_cb)(csdk_daynight mode);
typedef void (*csdk_ircut_cb)(bool on);
typedef void (*csdk_irled_cb)(bool on);

/* Feature bits of csdk_settings.features: which camera services the application uses. Bits 5 to 7
 * belong to the SDK and must be left as they are. */
#define CSDK_FEATURE_AUDIO 0x01u
#define CSDK_FEATURE_VIDEO 0x02u
#define CSDK_FEATURE_PTZ 0x04u
#define CSDK_FEATURE_EVENTS 0x08u
#define CSDK_FEATURE_METADATA 0x10u
#define CSDK_FEATURE_APP_BITS 0x1Fu

/* The settings record the application fills before csdk_init(). On the 32-bit camera it is 40 bytes
 * with the offsets noted; on a 64-bit host the same fields keep their order at natural alignment.
 * Bytes the application does not write keep what the SDK put there. */
typedef struct csdk_settings_t {
    const char* app_name;         /*  0: application name */
    const char* vendor_name;      /*  4: vendor name */
    int32_t api_version;          /*  8: SDK interface version the application was built for (2) */
    uint8_t app_enabled;          /* 12: 1 when the application is active */
    uint8_t features;             /* 13: CSDK_FEATURE_* bits */
    uint8_t reserved0[2];         /* 14 */
    const char* log_path;         /* 16: the application's log file */
    const char* error_log_path;   /* 20: where the SDK may report the application's errors */
    uint8_t reserved1;            /* 24 */
    uint8_t callbacks_enabled;    /* 25: 1 when the callbacks below are to be called */
    uint8_t reserved2[2];         /* 26 */
    csdk_daynight_cb on_daynight; /* 28 */
    csdk_ircut_cb on_ircut;       /* 32 */
    csdk_irled_cb on_irled;       /* 36 */
} csdk_settings_t;

/* Handles the SDK hands out in csdk after csdk_init(). */
typedef struct csdk_t {
    int32_t video;  /*  0: video handle */
    int32_t audio;  /*  4 */
    int32_t ptz;    /*  8 */
    int32_t events; /* 12 */
    int32_t device; /* 16: device handle (day/night, IR) */
} csdk_t;

#if defined(__cplusplus)
#define CSDK_STATIC_ASSERT static_assert
#else
#define CSDK_STATIC_ASSERT _Static_assert
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
CSDK_STATIC_ASSERT(sizeof(csdk_settings_t) == 40, "csdk_settings_t must be 40 bytes");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, vendor_name) == 4, "vendor_name at 4");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, api_version) == 8, "api_version at 8");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, app_enabled) == 12, "app_enabled at 12");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, features) == 13, "features at 13");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, log_path) == 16, "log_path at 16");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, error_log_path) == 20, "error_log_path at 20");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, callbacks_enabled) == 25, "callbacks_enabled at 25");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, on_daynight) == 28, "on_daynight at 28");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, on_ircut) == 32, "on_ircut at 32");
CSDK_STATIC_ASSERT(offsetof(csdk_settings_t, on_irled) == 36, "on_irled at 36");
#endif
CSDK_STATIC_ASSERT(sizeof(csdk_t) == 20, "csdk_t must be 20 bytes");
CSDK_STATIC_ASSERT(offsetof(csdk_t, device) == 16, "device handle at 16");

/* The library's two global records. */
CSDK_API extern csdk_settings_t csdk_settings;
CSDK_API extern csdk_t csdk;

/* One video frame handle; its pixel buffer belongs to the SDK. */
typedef struct csdk_vframe csdk_vframe;

/* Opens the SDK with the settings in csdk_settings and fills csdk. 0 on success, else an error code
 * whose text csdk_strerr() gives. */
CSDK_API int csdk_init(void);
/* Text of an error code of csdk_init(); never null; valid until the next csdk_init(). */
CSDK_API const char* csdk_strerr(int code);
/* Closes the SDK; stops its threads. Frame handles must have been freed before. */
CSDK_API void csdk_deinit(void);

/* Yields the supported resolutions one per call: 0 with *width and *height set while there is one
 * more, nonzero at the end (the next call starts the list again). */
CSDK_API int csdk_next_resolution(int32_t video, int32_t* width, int32_t* height);
/* Sets the size of the frames delivered from now on. Negative on failure. */
CSDK_API int csdk_set_resolution(int32_t video, int32_t width, int32_t height);

CSDK_API csdk_daynight csdk_get_daynight_mode(int32_t device);
/* Infrared state queries: nonzero means yes. */
CSDK_API int csdk_is_ircut_supported(int32_t device);
CSDK_API int csdk_is_ircut_on(int32_t device);
CSDK_API int csdk_is_irled_supported(int32_t device);
CSDK_API int csdk_is_irled_enabled(int32_t device);
CSDK_API int csdk_is_irled_on(int32_t device);

/* A frame handle at the current resolution, null on failure. Free it with csdk_free_vframe(). */
CSDK_API csdk_vframe* csdk_get_vframe(int32_t video);
/* Fills the handle with the next frame: 0 when it now holds a new frame. Blocks at most about one
 * frame period (longer only for a stalled network source). */
CSDK_API int csdk_refresh_vframe(csdk_vframe* frame);
/* The frame's NV21 pixels: width x height luminance bytes, then height/2 rows of width bytes of
 * interleaved V,U pairs. */
CSDK_API unsigned char* csdk_vframe_ptr(csdk_vframe* frame);
CSDK_API uint32_t csdk_vframe_width(csdk_vframe* frame);
CSDK_API uint32_t csdk_vframe_height(csdk_vframe* frame);
CSDK_API void csdk_free_vframe(csdk_vframe* frame);

/* Sends an application event to the camera's event service: `length` bytes of `payload` (no
 * terminator needed). 0 when sent, else an error number. */
CSDK_API int csdk_event_send(const char* payload, int32_t flags, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* CSDK_H */
