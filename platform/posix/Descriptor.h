// A port or event Handle on POSIX is the file descriptor itself.
#pragma once

#include "platform/Handle.h"

namespace platform {
namespace posix {

inline int DescriptorOf(Handle handle) {
    return static_cast<int>(handle);
}

// kNoHandle for a failed call's -1.
inline Handle HandleOf(int descriptor) {
    return descriptor < 0 ? kNoHandle : static_cast<Handle>(descriptor);
}

}  // namespace posix
}  // namespace platform
