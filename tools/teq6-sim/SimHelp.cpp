#include "tools/teq6-sim/SimHelp.h"

namespace {

// The options at a glance; what each does in full, and how the line is cut into messages, is in
// the manual page.
constexpr const char kHelp[] = R"help(Usage: teq6-sim [options]

Plays a TEQ6 device on a serial line, so that telvorn can be tried without one.
Prints "READY <path>" once the line is ready. See teq6-sim(1) for the details.

Line
  --link PATH                 serve a pseudo-terminal linked as PATH
  --device PATH               serve a real serial device instead
  --baud N                    its baud rate (with --device; default 115200)
  --idle-gap-ms MS            the silence that ends a message (default 200)
Faults
  --silent-connects N         do not answer the first N connect requests
  --nak-connects N            NAK the N connect requests after the silent ones
  --nak-block B:K             NAK block B on its first K attempts (repeatable)
  --ignore-block B            never answer block B
  --late-ms MS                answer MS milliseconds late
  --text STR                  send printable text before every reply
  --control-bytes             send control and non-ASCII bytes before every reply
  --flood N                   send N bytes of text before the first block's reply
  --random-bytes N            send N random bytes before every reply
  --seed S                    seed of the random bytes (default 1)
  --stale                     leave stale bytes after every ACK
  --hangup-in-block B         close the line halfway through block B
  --hangup-after-connects N   close the line when connect request N comes
  --fall-silent-after B       answer nothing after acknowledging block B
  --pace-baud N               read no faster than a line at N baud
  --xoff                      send XOFF before every reply
  --connected                 start as if already connected
Lines as another program left them (pseudo-terminal only)
  --leave-vmin4               leave VMIN=4 and VTIME=0
  --leave-ixon                leave software flow control on
  --stop-output-at B          hold the program's writes of block B
  --resume-output-after MS    release it after MS milliseconds
Output
  --record FILE               write every accepted block to FILE
  --quiet                     do not log the messages
  --stay                      wait for another session after the end message
  --help                      this text
)help";

}  // namespace

void PrintSimHelp(std::FILE* out) {
    std::fputs(kHelp, out);
}
