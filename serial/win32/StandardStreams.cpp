// Windows hands a process no numbered descriptors that a port could take over: a missing standard
// handle stays missing, and the port gets a handle of its own.
#include "NativeHandle.h"

namespace platform {

void KeepStandardStreamsOpen() {}

}  // namespace platform

// The mingw start-up code expands * and ? in the arguments only when the program defines this, as
// the Windows command line of the tool always has. It lives here, in a file main() always pulls
// into the program, so that the static library does not leave it out.
extern "C" {
int _dowildcard = -1;
}
