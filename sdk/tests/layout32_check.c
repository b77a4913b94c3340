/* Compiled for a 32-bit target by the sdk_layout32 test: the header's offset checks must hold. */
#include "csdk.h"

int csdk_layout_check;
