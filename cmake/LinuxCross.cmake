# Shared part of the ARM Linux cross builds with Debian's cross toolchains. The toolchain file
# names TELVORN_CROSS_TRIPLE, TELVORN_CROSS_PROCESSOR, TELVORN_CROSS_QEMU and
# TELVORN_CROSS_DEBIAN_ARCH (the package's architecture). The tests run under qemu-user with the
# cross sysroot as the root of the target's libraries; no binfmt registration is needed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${TELVORN_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${TELVORN_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TELVORN_CROSS_TRIPLE}-g++)

# Headers and libraries come from the cross sysroot only; build tools from the host.
set(TELVORN_CROSS_SYSROOT /usr/${TELVORN_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${TELVORN_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${TELVORN_CROSS_QEMU} -L ${TELVORN_CROSS_SYSROOT})
