# Cross build for the camera: 32-bit ARMv7-A, hard float, VFPv3-D16 (the least FPU such cameras
# carry; NEON code sits behind __ARM_NEON and is not enabled here).
# Needs Debian's g++-arm-linux-gnueabihf and the armhf (multiarch) -dev packages that
# scripts/setup.sh --armhf installs; test programs run under qemu-arm user-mode emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")
# -Wno-psabi: gcc notes an ABI change against objects built by gcc before 7.1; none are linked.
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -Wno-psabi")

# Multiarch: the armhf libraries live beside the host's under /, in their own triplet folders.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# ctest runs every test program through the emulator; the armhf loader and libraries are found
# at their multiarch paths.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
