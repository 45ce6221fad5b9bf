// The portable code names every port, event and thread by an integer; Win32 wants a HANDLE. The
// two have the same width, and INVALID_HANDLE_VALUE is -1, so kNoHandle needs no translation.
#pragma once

#include <windows.h>

#include "platform/Handle.h"

namespace platform {

inline HANDLE ToNative(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

inline Handle FromNative(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

// CreateEvent and CreateThread report failure as NULL rather than INVALID_HANDLE_VALUE; the
// callers only know kNoHandle.
inline Handle FromNativeOrNull(HANDLE handle) {
    return handle == nullptr ? kNoHandle : FromNative(handle);
}

}  // namespace platform
