# Cross build for 64-bit ARM Linux (Debian arm64), tested under qemu-user.
set(TELVORN_CROSS_TRIPLE aarch64-linux-gnu)
set(TELVORN_CROSS_PROCESSOR aarch64)
set(TELVORN_CROSS_QEMU qemu-aarch64-static)
set(TELVORN_CROSS_DEBIAN_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/LinuxCross.cmake)
