# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model, whose C++
# runtime has std::thread and friends). Tests run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TELVORN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TELVORN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELVORN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TELVORN_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TELVORN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(TELVORN_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TELVORN_WINE_RUN})
