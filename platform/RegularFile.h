// Whether a path names a regular file. A configuration file is read whole and checked before
// anything is sent: a FIFO would wait for a writer in silence, a device such as /dev/zero never
// ends, and a folder is no file at all.
#pragma once

namespace platform {

bool IsRegularFile(const char* path);

}  // namespace platform
