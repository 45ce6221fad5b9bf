#include "app/KeyboardWatcher.h"

#include "app/Downloader.h"
#include "app/Notes.h"
#include "platform/Console.h"
#include "platform/StandardStreams.h"

namespace {

bool IsExitKey(char character) {
    return character == 'x' || character == 'X';
}

}  // namespace

std::uint32_t KeyboardWatcher(void* argument) {
    Downloader* downloader = static_cast<Downloader*>(argument);
    console::Print("Enter 'x' to exit program\n");
    char character = 0;
    do {
        // What is already printed must be on screen while the user decides.
        console::Flush();
        if (!platform::ReadInputChar(&character)) {
            return 0;
        }
    } while (!IsExitKey(character));
    // A block's exchange may go on for seconds yet; the user must not think the key was lost.
    notes::Say("x: the download stops after the exchange in progress");
    downloader->RaiseAbort();
    return 0;
}
