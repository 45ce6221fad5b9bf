"""End-to-end cases: the real program, its console output and the blocks the device received.

Besides what the user sees and how the program ends, the download cases check that the device
accepted nothing but the file's blocks, in the file's order.
"""

import collections
import contextlib
import fcntl
import glob
import os
import re
import resource
import signal
import subprocess
import time

from harness import (BANNER_CP437, BLOCK_SIZE, PREPARING, PROMPT, RUN_TIMEOUT, STARTUP_TIMEOUT,
                     USAGE, WAITING, Run, Session, Skip, attempt_line, case, download_body, error_line, expect,
                     expect_equal, make_config, numbered_blocks, settings_lines, split_prompt,
                     success_line, waiting_dots_then, workspace)

CANNOT_CONNECT = error_line(b"Cannot connect to the TEQ6")
CANNOT_SEND = error_line(b"Cannot send data to the TEQ6")
NOT_LISTED = b"Error setting port number %d: Serial port number is not valid\n"
ATTEMPT = rb"\nWriting block \d+ of \d+, attempt \d+: "
BAD_RATE = b"Baud rate is not valid"
INVALID = b"File is not a valid TEQ6 configuration file"
READ_ERROR = b"An error occured whilst reading the file"
NO_WINE_LOCK = "Wine does not enforce exclusive opening of a COM port"
LINUX_PROCESS = "descriptors, limits and signals of the process are a Linux matter"


def expect_printable(body):
    """Only printable characters and the program's own line ends may reach the console."""
    shown = sorted({byte for byte in body if byte != 0x0A and not 0x20 <= byte <= 0x7E})
    expect(not shown, "unprintable bytes shown: %s" % " ".join("%#04x" % b for b in shown))


def process_tree(pid):
    """pid and every process below it (under Wine, the Windows program runs below the loader)."""
    children = collections.defaultdict(list)
    for entry in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError, IndexError, ValueError):
            with open("/proc/%s/stat" % entry) as stat:
                children[int(stat.read().rsplit(")", 1)[1].split()[1])].append(int(entry))
    tree = [pid]
    for process in tree:
        tree += children[process]
    return tree


def expect_no_busy_thread(pid, samples=30):
    """Samples the state of every thread of the program: a thread that spins on a dead line is
    found running (or ready to run) nearly every time, one that waits as it should hardly ever."""
    running = collections.Counter()
    for _ in range(samples):
        for process in process_tree(pid):
            with contextlib.suppress(OSError):
                for thread in os.listdir("/proc/%d/task" % process):
                    with contextlib.suppress(OSError, IndexError):
                        with open("/proc/%d/task/%s/stat" % (process, thread)) as stat:
                            if stat.read().rsplit(")", 1)[1].split()[0] == "R":
                                running[(process, thread)] += 1
        time.sleep(0.1)
    busy = {key: count for key, count in running.items() if count > samples // 2}
    expect(not busy, "threads (process, thread): samples of %d found running %s" % (samples, busy))


def expect_success(session):
    """A check of a console that ends with the download's success, whatever came before."""
    ending = success_line(session.file)
    return lambda body: expect(body.endswith(ending), "console ends with %r: %r" % (ending, body))


def expect_no_descriptor_on(context, run, device):
    """While the port is gone the program must hold nothing of the old device, or the adapter
    would come back under another name."""
    if context.is_wine:
        return
    fds = "/proc/%d/fd" % run.process.pid
    held = []
    for fd in os.listdir(fds):
        with contextlib.suppress(OSError):
            if os.readlink(os.path.join(fds, fd)).split(" ")[0] == device:
                held.append(fd)
    expect(not held, "descriptors %s still on %s" % (held, device))


def line_settings(device):
    return subprocess.run(["stty", "-F", device, "-g"], capture_output=True, check=True).stdout


# --- Start-up: the command line, the file and the settings ------------------------------------


@case
def usage_without_arguments(context):
    status, output = Run(context, [], workspace()).finish()
    expect_equal(output, USAGE, "console")
    expect_equal(status, 2, "exit status")


@case
def startup_failures(context):
    """Each refusal before the download: its exact words and its status."""
    with Session(context) as session:
        bad = bytearray(make_config(numbered_blocks(2)))
        bad[36 + 2056 + 100] ^= 0x01
        session.write("flipped.bin", bytes(bad))
        session.write("short.bin", bytes(bad[:36]))
        here, port, name = b"-%d" % session.port, session.port, session.file
        in_file = lambda file, text: b"Error loading file '%s': %s\n" % (file, text)
        cases = [  # arguments, port and baud rate shown, message, status
            ([b"missing.bin"], 1, 115200, in_file(b"missing.bin", b"Cannot find file"), 4),
            ([b"flipped.bin", here], port, 115200, in_file(b"flipped.bin", INVALID), 5),
            ([b"short.bin", here], port, 115200, in_file(b"short.bin", READ_ERROR), 6),
            ([name, b"-130"], 130, 115200, NOT_LISTED % 130, 8),
            ([name, b"3"], 0, 115200, NOT_LISTED % 0, 8),
            ([name, here, b"-B9600"], 0, 115200, NOT_LISTED % 0, 8),
            ([name, b"-b0", here], port, 0, b"Error setting baud rate 0: " + BAD_RATE + b"\n", 7),
        ]
        for args, shown_port, baud, message, code in cases:
            status, output = Run(context, [a.decode() for a in args], session.workspace).finish()
            expected = BANNER_CP437 + settings_lines(args[0], shown_port, baud) + message
            expect_equal(output, expected, "console for %r" % args)
            expect_equal(status, code, "exit status for %r" % args)
        expect_equal(session.sim.stop().get("messages"), "0", "messages the device saw")


@case
def baud_rate_refused_by_the_port(context):
    with Session(context) as session:
        status, output = session.run(b"-b-5").finish()
        body, _ = split_prompt(output)
        expected = session.head(baud=-5) + error_line(BAD_RATE)
        expect_equal(body, expected, "console")
        expect_equal(status, 7, "exit status")


@case
def port_held_at_startup_is_not_listed(context):
    if context.is_wine:
        raise Skip(NO_WINE_LOCK)
    with Session(context) as session:
        holder = os.open(session.sim.slave, os.O_RDWR | os.O_NOCTTY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
            status, output = session.run().finish()
        finally:
            os.close(holder)
        expect_equal(output, session.head() + NOT_LISTED % session.port, "console")
        expect_equal(status, 8, "exit status")


@case
def unicode_banner_on_a_utf8_terminal(context):
    if context.is_wine:
        raise Skip("the Windows console takes code page 437 bytes as they are")
    run = Run(context, ["missing.bin"], workspace(), env={"LC_ALL": "C.UTF-8"})
    _, output = run.finish()
    banner = (
        "  \u250c" + "\u2500" * 36 + "\u2510\n"
        "  \u2502 TELVORN v2.00  QEV downloader      \u2502\n"
        "  \u2502 Configuration download to the TEQ6 \u2502\n"
        "  \u2514" + "\u2500" * 36 + "\u2518\n"
    ).encode("utf-8")
    expect_equal(output[: len(banner)], banner, "banner")


# --- Downloads --------------------------------------------------------------------------------


@case
def normal_download(context):
    with Session(context, "--silent-connects", "2", blocks=4) as session:
        expected = download_body(4, silent_connects=2) + success_line(session.file)
        session.expect_end(session.run(), expected, 0, True, end_message="yes")


@case
def a_second_run_on_the_same_line(context):
    """The port a download leaves open to the end of the run must be free again afterwards, even
    on a pseudo-terminal, which keeps a descriptor's exclusive mode while its other side lives."""
    with Session(context, "--stay", blocks=2) as session:
        expected = download_body(2) + success_line(session.file)
        expect_equal(session.finished(session.run()), (0, expected), "first run")
        session.expect_end(session.run(), expected, 0, blocks_accepted="4")


@case
def zero_blocks(context):
    with Session(context, blocks=0) as session:
        expected = download_body(0) + success_line(session.file)
        session.expect_end(session.run(), expected, 0, blocks="0", end_message="yes")


@case
def naks_then_ack(context):
    with Session(context, "--nak-block", "2:2", blocks=3) as session:
        expected = download_body(3, attempts={2: 3}) + success_line(session.file)
        session.expect_end(session.run(), expected, 0, True)


@case
def connect_naks_repeat_the_announcement(context):
    with Session(context, "--nak-connects", "1", blocks=1) as session:
        expected = WAITING + PREPARING + b"." + download_body(1)[len(WAITING) :]
        session.expect_end(session.run(), expected + success_line(session.file), 0)


@case
def block_never_answered(context):
    with Session(context, "--ignore-block", "2", blocks=3) as session:
        tries = b"".join(attempt_line(2, 3, attempt) + b"." for attempt in range(1, 11))
        expected = download_body(3, upto=1) + tries + CANNOT_SEND
        session.expect_end(session.run(), expected, 11, session.blocks[:1], end_message="no")


@case
def abort_while_waiting_for_connection(context):
    """Also when a shell hands over a non-blocking standard input: the watcher waits on it,
    without spinning, rather than taking "nothing yet" for the end of input."""
    for stdin in ("pipe", "non-blocking"):
        with Session(context, "--silent-connects", "1000000") as session:
            with session.run(stdin=stdin) as run:
                run.wait_for(WAITING + b"..")
                if stdin == "non-blocking":
                    expect_no_busy_thread(run.process.pid)
                run.type(b"x\n")
                check = waiting_dots_then(CANNOT_CONNECT, 2)
                try:
                    session.expect_end(run, check, 10, blocks="0")
                except AssertionError as failure:
                    raise AssertionError("%s standard input: %s" % (stdin, failure))


@case
def abort_during_a_block(context):
    """The exchange in progress finishes; then the download gives up without the end message."""
    with Session(context, "--ignore-block", "2", blocks=3) as session:
        run = session.run()
        # The attempt line has no line end, so the console shows it only later; the device
        # seeing the block is what says the exchange is under way.
        session.sim.wait_for_log("block 2 attempt 1:")
        run.type(b"later\nX\n")
        expected = download_body(3, upto=1) + attempt_line(2, 3, 1) + b"." + CANNOT_SEND
        session.expect_end(run, expected, 11, end_message="no")


@case
def abort_while_the_last_block_waits_for_its_ack(context):
    """The ACK still arrives and the device keeps the block, yet the user gave up: the run ends
    with the transfer's error, and the end message is not sent."""
    with Session(context, "--late-ms", "400", blocks=2) as session:
        run = session.run()
        session.sim.wait_for_log("block 2 attempt 1:")
        run.type(b"x\n")
        expected = download_body(2) + CANNOT_SEND
        session.expect_end(run, expected, 11, True, end_message="no")


@case
def device_text_and_control_bytes(context):
    """Only printable characters reach the console; control bytes never pass for a reply."""

    def check(body):
        expect_printable(body)
        for block in (1, 2):
            expect(attempt_line(block, 2, 1) + b"OK:" in body, "device text after the attempt")
        expect(attempt_line(1, 2, 2) not in body, "a control byte was taken as a refusal")

    with Session(context, "--text", "OK:", "--control-bytes", blocks=2) as session:
        session.expect_end(session.run(), check, 0, True)


@case
def stale_bytes_between_exchanges(context):
    with Session(context, "--stale", blocks=3) as session:
        session.expect_end(session.run(), download_body(3) + success_line(session.file), 0, True)


@case
def adapter_unplugged_for_good(context):
    """The line goes in the middle of block 2 and never comes back: every attempt waits out its
    time trying to open the port again, without spinning and without holding the old device,
    and the tenth ends the run."""
    def check(body):
        tries = b"".join(attempt_line(2, 3, attempt) + b"." for attempt in range(1, 11))
        expect(body == download_body(3, upto=1) + tries + CANNOT_SEND, "console: %r" % body)

    with Session(context, "--hangup-in-block", "2", blocks=3) as session:
        with session.run() as run:
            session.wait_for_hang_up()
            run.wait_for(attempt_line(2, 3, 2))
            expect_no_descriptor_on(context, run, session.sim.slave)
            expect_no_busy_thread(run.process.pid)
            session.expect_end(run, check, 11, session.blocks[:1])


@case
def adapter_unplugged_and_plugged_back(context):
    """The line goes while the program waits for the device, and again in block 3 of 6; each
    time a new line comes up on the same port a few seconds later, and the download goes on
    where it was: the device ends with every block, once and in order."""
    with Session(context, "--silent-connects", "2", "--hangup-after-connects", "3") as session:
        with session.run() as run:
            session.wait_for_hang_up()
            run.wait_for(WAITING + b"....")
            time.sleep(1)
            expect_no_descriptor_on(context, run, session.sim.slave)
            session.replug()
            session.expect_end(run, expect_success(session), 0, True)
    with Session(context, "--hangup-in-block", "3", blocks=6) as session:
        with session.run() as run:
            session.wait_for_hang_up()
            # Well inside the attempt: the old device must be free already, for an adapter
            # plugged straight back in to get its old name.
            time.sleep(1)
            expect_no_descriptor_on(context, run, session.sim.slave)
            before = session.replug("--connected")
            interrupted = attempt_line(3, 6, 1) + b"." + attempt_line(3, 6, 2)
            check = lambda body: expect(interrupted in body, "console: %r" % body)
            session.expect_end(run, check, 0)
            after = session.sim.received()
            expect(before + after == b"".join(session.blocks), "blocks across the replug")


@case
def end_of_standard_input(context):
    with Session(context, blocks=2) as session:
        expected = download_body(2) + success_line(session.file)
        session.expect_end(session.run(stdin="eof"), expected, 0, True)


@case
def standard_streams_closed(context):
    """Started with standard input and output closed (`<&- >&-`), or all three: the port never
    takes their place, so the device gets nothing but the file's blocks."""
    if context.is_wine:
        raise Skip("Windows has no numbered descriptors for a port to take over")
    for closed in ((0, 1), (0, 1, 2)):
        with Session(context, blocks=2) as session:
            command = context.program_command([session.file.decode(), "-%d" % session.port])
            close = lambda: [os.close(descriptor) for descriptor in closed]
            run = subprocess.run(command, cwd=session.workspace, preexec_fn=close,
                                 timeout=RUN_TIMEOUT)
            expect_equal(run.returncode, 0, "exit status with %s closed" % (closed,))
            counts = session.sim.stop()
            summary = {"messages": "4", "blocks": "2", "framing errors": "0", "end message": "yes"}
            shown = {key: counts.get(key) for key in summary}
            expect_equal(shown, summary, "the device's summary with %s closed" % (closed,))
            session.expect_received()


@case
def device_text_in_writes_of_256_bytes(context):
    """Device text without line ends leaves through standard output's own 256-byte buffer, not
    in chunks of the C library's default size."""
    if context.target != "linux":
        raise Skip("strace follows the Linux program's own writes")
    text = (b"TEQ6 diagnostic output 0123456789 " * 60)[:2000]
    with Session(context, "--flood", str(len(text)), "--quiet", blocks=1) as session:
        trace = os.path.join(session.workspace, "write")
        # LeakSanitizer cannot work under ptrace; the other cases look for leaks.
        quiet_leaks = {"LSAN_OPTIONS": "detect_leaks=0"} if context.sanitized else None
        strace = ["strace", "-qq", "-ff", "-e", "trace=write", "-o", trace]
        run = session.run(wrapper=strace, env=quiet_leaks)
        expected = download_body(1) + text + success_line(session.file)
        session.expect_end(run, expected, 0, True)
        sizes = []
        for name in glob.glob(trace + ".*"):
            with open(name, "rb") as log:
                sizes += map(int, re.findall(rb"^write\(1, .*, (\d+)\) += \d+$", log.read(), re.M))
        shown = len(session.head()) + len(expected) + len(PROMPT)
        expect(sum(sizes) == shown and max(sizes) <= 256, "writes to standard output: %s" % sizes)


@case
def many_blocks_byte_for_byte(context):
    with Session(context, "--quiet", blocks=500) as session:
        ending = attempt_line(500, 500, 1) + success_line(session.file)
        check = lambda body: expect(body.endswith(ending), "console")
        session.expect_end(session.run(), check, 0, True)


# --- Chatter before the replies ---------------------------------------------------------------


@case
def text_flood_before_an_ack(context):
    """A flood of device text before the first block's ACK: shown on the line of that attempt,
    printable and nothing else, and the download goes through.

    When reading the text outlasts the block's 10 s wait (a loaded machine; Wine always, where
    every one-byte overlapped read of a serial port goes through the wine server at a few KB a
    second, so it gets 64 KiB instead of a megabyte, and so does a program under qemu-user,
    which emulates every one of those reads), the time-out dot shows among the text and
    the reader goes on taking the bytes that keep coming. If they come without a break it
    reaches the ACK, which still counts. If the line runs dry for a moment first, the reader
    stops there; the next attempt purges what has arrived, reads on through the rest of the text
    and takes the late ACK (unless its own wait runs out first, and so on). The device, which
    had accepted the block, accepts each copy as a further block, and the later ACKs come one
    exchange behind: the protocol cannot tell, and the download ends as a success.
    """
    flood = 65536 if context.is_wine or context.emulator else 1048576
    with Session(context, "--flood", str(flood), "--quiet", blocks=3) as session:

        def check(body):
            expect_printable(body)
            texts = re.findall(ATTEMPT + rb"([\x20-\x7e]*)", body)
            skeleton = re.sub(b"(" + ATTEMPT + rb")[\x20-\x7e]*", rb"\1", body)
            tries = body.count(b"\nWriting block 1 of 3,")
            expected = download_body(3, attempts={1: tries}) + success_line(session.file)
            expect_equal(skeleton, expected, "console without the device's text")
            # The device's text has no dots: a dot is an attempt's wait running out.
            for text in texts[: tries - 1]:
                expect_equal(text.count(b"."), 1, "dots among the text of a timed-out attempt")
            shown = len(b"".join(texts).replace(b".", b""))
            if tries == 1:
                expect_equal(shown, flood, "characters of device text shown")
            else:
                # The purge between the attempts may have thrown some of it away.
                expect(shown <= flood, "%d characters shown of a text of %d" % (shown, flood))

        body = session.expect_end(session.run(), check, 0)
        # Each block once, in order; but a block the console shows sent again may have been
        # accepted once per attempt: the device accepted it and its ACK came too late, so it
        # takes the copy for the next block.
        received = session.sim.received()
        accepted = [received[at : at + BLOCK_SIZE] for at in range(0, len(received), BLOCK_SIZE)]
        expected = []
        for number, block in enumerate(session.blocks, 1):
            expected.append(block)
            tries = sum(attempt_line(number, 3, k) in body for k in range(2, 11))
            for _ in range(tries):
                if accepted[len(expected) : len(expected) + 1] != [block]:
                    break
                expected.append(block)
        names = [session.blocks.index(b) + 1 if b in session.blocks else "?" for b in accepted]
        expect(accepted == expected, "blocks the device accepted: %s of 3" % names)


@case
def random_bytes_before_every_reply(context):
    """Random bytes (anything but ACK and NAK: line ends, XON/XOFF, ^C, escape sequences, bytes
    above 0x7F) ahead of every reply: their printable part is echoed where it arrives, nothing
    else is shown or taken for a reply, and the line settings let all of it through."""
    count = 6
    with Session(context, "--random-bytes", "512", "--seed", "29", blocks=count) as session:

        def check(body):
            expect_printable(body)
            # Device text cannot hold a line end, and every line of the program's own starts with
            # one, so the text between them is all the device's.
            text = rb"([\x20-\x7e]*)"
            # When the text before the connect ACK takes longer to read than the 500 ms wait
            # (Wine reads slowly), the pause's dot falls among it instead of after "Preparing".
            lines = [attempt_line(block, count, 1) for block in range(1, count + 1)]
            pattern = re.escape(WAITING) + text + re.escape(PREPARING) + rb"\.?"
            pattern += b"".join(re.escape(line) + text for line in lines)
            match = re.fullmatch(pattern + re.escape(success_line(session.file)), body)
            expect(match, "console, one attempt per block, device text between:\n%r" % body)
            # The last text also holds the end message's reply, whose wait may run out first.
            places = ["before the connect ACK"] + ["after %r" % line for line in lines[:-1]]
            for shown, place in zip(match.groups(), places):
                expect(shown, "no device text shown " + place)

        summary = {"connect_requests": "1", "blocks": str(count), "NAKs": "0"}
        session.expect_end(session.run(), check, 0, True, **summary)


# --- Late answers -----------------------------------------------------------------------------


@case
def answers_late_around_the_waits(context):
    """Every answer held back: the connect request's wait is 500 ms, a block's 10 s.

    - 450 ms: the connect ACK is taken on the first attempt.
    - 700 ms: the first connect attempt times out (a dot); the second attempt purges, sends its
      request and then reads the first request's ACK, 200 ms in, and takes it. The device's ACK
      to the second request arrives in the 3 s pause that follows and is purged before block 1.
    - 1250 ms: the same with two attempts timed out, the ACK arriving mid-way through the third;
      the blocks' ACKs, more than a second late, are each taken on the first attempt.

    The device recognises the end message only after an idle gap, set to 1 s here, so its answer
    always misses the 500 ms wait: one more dot before the success message, and no harm, since
    that answer is not examined. (The same gap makes the device drop the repeated connect
    requests of the 1250 ms run as noise, so they get no answer at all.)
    """
    late = {450: 0, 700: 1, 1250: 2}  # milliseconds late: connect attempts that time out
    with contextlib.ExitStack() as stack:
        sessions = {
            ms: stack.enter_context(
                Session(context, "--late-ms", str(ms), "--idle-gap-ms", "1000", blocks=3)
            )
            for ms in late
        }
        runs = {ms: stack.enter_context(session.run()) for ms, session in sessions.items()}
        for ms, session in sessions.items():
            expected = download_body(3, silent_connects=late[ms]) + b"."
            expected += success_line(session.file)
            try:
                session.expect_end(runs[ms], expected, 0, True, blocks="3")
            except AssertionError as failure:
                raise AssertionError("answers %d ms late: %s" % (ms, failure))


# --- A device that goes away ------------------------------------------------------------------


@case
def device_resets_in_the_middle(context):
    """The device acknowledges two blocks, then answers nothing more, like one that has reset."""
    with Session(context, "--fall-silent-after", "2", blocks=4) as session:
        tries = b"".join(attempt_line(3, 4, attempt) + b"." for attempt in range(1, 11))
        expected = download_body(4, upto=2) + tries + CANNOT_SEND
        received = session.blocks[:2]
        session.expect_end(session.run(), expected, 11, received, blocks="12", end_message="no")


@case
def hang_up_while_waiting_for_connection(context):
    """The line hangs up at the third connect request. The connect loop has no limit, so the
    program goes on trying (a dot per attempt), waiting rather than spinning on the dead line,
    until the user gives up."""
    with Session(context, "--silent-connects", "2", "--hangup-after-connects", "3") as session:
        with session.run() as run:
            session.wait_for_hang_up()
            shown = split_prompt(run.output())[0]
            dots = shown[shown.find(WAITING) :].count(b".")
            run.wait_for(WAITING + b"." * (dots + 3))
            expect_no_descriptor_on(context, run, session.sim.slave)
            expect(run.process.poll() is None, "the program ended on the hang-up")
            expect_no_busy_thread(run.process.pid)
            run.type(b"x\n")
            summary = {"connect_requests": "3", "blocks": "0"}
            session.expect_end(run, waiting_dots_then(CANNOT_CONNECT), 10, **summary)


# --- Load: many downloads at once, and two programs after one port --------------------------


@case
def eight_downloads_at_once(context):
    """Eight programs, each with its own port and device, at the same time: every file arrives
    byte for byte on its own port (each file's blocks differ from the others')."""
    with contextlib.ExitStack() as stack:
        sessions = [stack.enter_context(Session(context, "--quiet", blocks=20)) for _ in range(8)]
        runs = [stack.enter_context(session.run()) for session in sessions]
        for session, run in zip(sessions, runs):
            expected = download_body(20) + success_line(session.file)
            try:
                session.expect_end(run, expected, 0, True, end_message="yes")
            except AssertionError as failure:
                raise AssertionError("port %d: %s" % (session.port, failure))


def expect_locked(device):
    """Programs that take the lock first (as this one's start-up probe does) must find the port
    held; one that cannot even open it finds it held too."""
    try:
        descriptor = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError:
        return
    try:
        fcntl.flock(descriptor, fcntl.LOCK_SH | fcntl.LOCK_NB)
        expect(False, "another program got a shared lock on the port in use")
    except BlockingIOError:
        pass
    finally:
        os.close(descriptor)


@case
def second_program_on_a_port_in_use(context):
    """While one program waits for its device, a second one started on the same port does not
    list it and stops at once; the first one's download goes on undisturbed."""
    if context.is_wine:
        raise Skip(NO_WINE_LOCK)
    with Session(context, "--silent-connects", "8", blocks=3) as session:
        with session.run() as first:
            first.wait_for(WAITING + b".")
            expect_locked(session.sim.slave)
            with session.run() as second:
                status, output = second.finish()
            expected = session.head() + NOT_LISTED % session.port
            expect_equal(output, expected, "console of the second program")
            expect_equal(status, 8, "exit status of the second program")
            expected = download_body(3, silent_connects=8) + success_line(session.file)
            session.expect_end(first, expected, 0, True, connect_requests="9")


# --- Lines and processes as other programs leave them -----------------------------------------


@case
def line_left_by_another_program(context):
    """A terminal program may leave VMIN=4 behind (a one-byte ACK then never wakes the reader),
    or software flow control (an XOFF among the device's text then stops every later write)."""
    for options in (("--leave-vmin4",), ("--leave-ixon", "--xoff", "--text", "OK")):
        with Session(context, *options, blocks=3) as session:
            session.expect_end(session.run(), expect_success(session), 0, True)


@case
def output_held_by_flow_control(context):
    """The line stops taking bytes before block 2: the held write is given up after its bound
    and shows its dot, and x ends the run; a line released in time lets the download go on."""
    def check(body):
        start = download_body(3, upto=1)
        held = lambda attempts: b"".join(attempt_line(2, 3, k) + b"." for k in attempts)
        tries = body[len(start) : len(body) - len(CANNOT_SEND)]
        ok = body.startswith(start) and body.endswith(CANNOT_SEND)
        expect(ok and tries in (held([1]), held([1, 2])), "console: %r" % body)

    with Session(context, "--stop-output-at", "2", blocks=3) as session:
        run = session.run()
        run.wait_for(attempt_line(2, 3, 1) + b".")
        run.type(b"x\n")
        session.expect_end(run, check, 11, session.blocks[:1], end_message="no")
    with Session(context, "--stop-output-at", "2", "--resume-output-after", "2000") as session:
        session.expect_end(session.run(), expect_success(session), 0, True)


@case
def few_descriptors(context):
    """With 8 descriptors the reader has none left for an event of its own and reads without;
    with 6 no exchange can be set up, and each attempt waits out its time like a silent device
    (no spinning), so x still ends the run."""
    if context.is_wine:
        raise Skip(LINUX_PROCESS)
    if context.sanitized:
        raise Skip("a sanitizer's run-time opens descriptors of its own")
    with Session(context, blocks=2) as session:
        run = session.run(limits=[(resource.RLIMIT_NOFILE, (8, 8))])
        session.expect_end(run, download_body(2) + success_line(session.file), 0, True)
    with Session(context, blocks=2) as session:
        with session.run(limits=[(resource.RLIMIT_NOFILE, (6, 6))]) as run:
            run.wait_for(WAITING + b"...")
            expect_no_busy_thread(run.process.pid, samples=10)
            run.type(b"x\n")
            check = waiting_dots_then(CANNOT_CONNECT, 3)
            session.expect_end(run, check, 10, connect_requests="0")


@case
def signals_put_the_port_back(context):
    """Ended by a signal in the middle of a block, the program puts back the line's settings
    and its exclusive mode, and ends with the signal's usual status: the next run gets the port."""
    if context.is_wine:
        raise Skip(LINUX_PROCESS)
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        with Session(context, "--ignore-block", "2", blocks=3) as session:
            before = line_settings(session.sim.slave)
            with session.run() as run:
                session.sim.wait_for_log("block 2 attempt 1:")
                run.process.send_signal(number)
                expect_equal(run.process.wait(timeout=STARTUP_TIMEOUT), -number, number.name)
            expect_equal(line_settings(session.sim.slave), before, "settings after " + number.name)
            with session.run() as again:
                again.wait_for(WAITING)
