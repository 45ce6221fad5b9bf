# Cross build for 32-bit ARM Linux with hardware floating point (Debian armhf), tested under
# qemu-user.
set(TELVORN_CROSS_TRIPLE arm-linux-gnueabihf)
set(TELVORN_CROSS_PROCESSOR armv7l)
set(TELVORN_CROSS_QEMU qemu-arm-static)
set(TELVORN_CROSS_DEBIAN_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/LinuxCross.cmake)
