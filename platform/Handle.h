// Ports, events and threads are all named by a Handle; kNoHandle stands in for one that does not
// exist (INVALID_HANDLE_VALUE on Windows, -1 on POSIX). platform/posix/ and platform/win32/ each
// implement the headers beside this one, and the build picks one folder.
#pragma once

#include <cstdint>

namespace platform {

using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

}  // namespace platform
