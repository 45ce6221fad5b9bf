#include "tools/teq6-sim/SimHelp.h"

namespace {

constexpr const char kHelp[] = R"help(Usage: teq6-sim [options]

Plays a TEQ6 device on a serial line, so that telvorn can be tried and tested
without one. It answers the connect request (03 12 00 FF) with ACK, checks the
check word of every 2,056-byte block and answers ACK or NAK, and answers the end
message (00 00 00 FF 00 00) with ACK, prints a summary and exits.

Line
  --link PATH         Serve a pseudo-terminal, as without --device, and make
                      PATH a symbolic link to its slave. An earlier link at
                      PATH is replaced; any other kind of file there is left
                      alone and the simulator refuses to start. A missing last
                      directory of PATH is made. The link is removed at exit.
  --device PATH       Serve a real serial device instead: raw, 8 data bits, no
                      parity, one stop bit, no flow control.
  --baud N            Its baud rate, a standard one; default 115200. Only with
                      --device.
  --idle-gap-ms MS    The silence that ends a message; default 200 (1 to 60000).

  Once the line is ready, one line "READY <path>" goes to standard output,
  <path> being what the program opens (the pseudo-terminal's slave, or the
  device).

Messages
  The line carries no lengths, so bytes are cut into messages by length and by
  silence. Until a connect request has been acknowledged only 4-byte connect
  requests are looked for; bytes that cannot begin one are dropped up to the
  next silence. Once connected, 2,056 bytes make a block at once, while a
  connect request (4 bytes) or the end message (6 bytes) counts only when the
  idle gap follows it, since a block may begin with the same bytes. Bytes that
  make no message by the next silence are dropped as one framing error.
  The answer to the end message (and to a repeated connect request) therefore
  leaves one idle gap after the message; the program waits 500 ms for it, so
  keep --late-ms plus the idle gap below that when it should arrive in time.

Block numbers
  Blocks are numbered from 1 in every session, a session running from an
  acknowledged connect request to the end message. The block arriving is number
  (blocks accepted in this session + 1), and every block that arrives while
  that number stands is another attempt at it: attempt 1, 2 and so on. A block
  that was refused or not answered keeps its number when it is sent again; a
  block that was accepted but whose ACK the program missed comes back as the
  next number. A connect request acknowledged in the middle of a transfer
  starts a new session. Block faults apply in every session; connect requests
  are counted over the simulator's whole life.

Faults
  --silent-connects N     Do not answer the first N connect requests.
  --nak-connects N        NAK the N connect requests after the silent ones.
  --nak-block B:K         NAK block B on its first K attempts, then judge it by
                          its check word. Repeatable, up to 32 times.
  --ignore-block B        Never answer block B, whatever the attempt.
  --late-ms MS            Send every answer MS milliseconds late (up to 600000).
  --text STR              Send the printable text STR (0x20 to 0x7E) before
                          every reply.
  --control-bytes         Send CR, LF, NUL, DEL, bytes from 0x80 to 0xFF, the
                          escape sequences ESC [2J and ESC [31m, and BEL before
                          every reply.
  --flood N               Send N bytes of printable text before the reply to
                          block 1, attempt 1 (up to 1048576).
  --random-bytes N        Send N random bytes before every reply (up to
                          1048576); they are never ACK (0x06) or NAK (0x15).
  --seed S                Seed of the random bytes; default 1. The same seed
                          gives the same bytes.
  --stale                 After every ACK to a connect request or a block, leave
                          stale bytes on the line (NAK, ACK, "stale") that the
                          program must purge and never take for a reply: 100 ms
                          after the ACK to a connect request, which falls in the
                          program's pause after it, and directly behind the ACK
                          to a block, in the same write, since the program goes
                          straight on to the next block.
  --hangup-in-block B     Close the line once half of block B (1,028 bytes) has
                          arrived, then print the summary and exit.
  --hangup-after-connects N
                          Close the line when connect request N arrives,
                          without answering it, then print the summary and exit.
  --fall-silent-after B   Acknowledge blocks up to block B of a session, then
                          never answer anything again, like a device that has
                          reset. 0: fall silent right after acknowledging the
                          connect request.
  --pace-baud N           Read at most N/10 bytes a second, as a line at N baud
                          would deliver them (N from 10).
  --xoff                  Send XOFF (0x13) before every reply, after the text.
  --connected             Start as if the connect request had been acknowledged,
                          like a device that stayed on while its adapter was
                          unplugged and plugged back in: blocks are taken at
                          once, counted from 1.

Lines as another program left them (pseudo-terminal only)
  --leave-vmin4           Leave the port with VMIN=4 and VTIME=0, as some
                          terminal programs do, before the program opens it.
  --leave-ixon            Leave the port with software flow control (IXON) on:
                          an XOFF from the device then stops the port's output
                          unless the program switches it off.
  --stop-output-at B      Stop the port's output (tcflow TCOOFF, through a
                          descriptor of the simulator's own) just before
                          acknowledging what comes before block B, so that the
                          program's writes of block B are held. 1: before
                          acknowledging the connect request.
  --resume-output-after MS
                          Let the held output go again MS milliseconds after
                          it was stopped; without it, it stays stopped.

  Before a reply, chatter comes in this order: text, XOFF, control bytes,
  random bytes, flood.

Output
  --record FILE           Create or empty FILE, then append the 2,056 bytes of
                          every accepted block, in the order accepted.
  --quiet                 Do not log the messages.
  --stay                  After the end message, wait for another session
                          instead of exiting.
  --help                  This text.

  Every recognised message is logged on standard error, for example
  "connect request 1: ACK", "block 3 attempt 2: NAK (bad check word)" or
  "end message: ACK". At exit one line goes to standard output:
    messages: N, connect requests: N, blocks: N, ACKs: N, NAKs: N,
    blocks accepted: N, framing errors: N, end message: yes|no
  (on one line). Messages are connect requests, blocks and end messages.

  Exit status: 0 after the end message, a hang-up asked for, SIGINT or SIGTERM;
  1 when the simulator cannot start, the line fails or a block cannot be
  recorded; 2 on a wrong command line.

Example session
  With telvorn built to find its ports in build/dev (TELVORN_DEVICE_DIR), where
  ttyUSB0 is port 33:

    $ teq6-sim --link build/dev/ttyUSB0 --record got.bin
    READY /dev/pts/3

  and in another terminal:

    $ telvorn config.bin -33

  When the download is over, the blocks the device accepted are the file without
  its 36-byte header and signature and its 4-byte trailer:

    $ tail -c +37 config.bin | head -c -4 | cmp - got.bin

  The installed telvorn looks in /dev, where a link needs root; there, use two
  serial ports joined by a null-modem cable and --device.
)help";

}  // namespace

void PrintSimHelp(std::FILE* out) {
    std::fputs(kHelp, out);
}
