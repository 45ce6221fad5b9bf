#!/usr/bin/env python3
"""Runs one end-to-end case (or lists them): the console output, the exit status and the blocks the
device accepted. cases.py [options] CASE | --list"""

import contextlib, fcntl, glob, os, pathlib, re, resource, signal, struct  # noqa: E401
import subprocess, sys, termios, time  # noqa: E401

from harness import *  # noqa: F401,F403  (the cases' vocabulary)

ERROR = b"Error loading data: "
CANNOT_CONNECT = ERROR + b"Cannot connect to the TEQ6"
CANNOT_SEND = ERROR + b"Cannot send data to the TEQ6"
NOT_LISTED = b"Error setting port number %d: Serial port number is not valid\n"
BAD_RATE = b"Baud rate is not valid"
INVALID = b"File is not a valid TEQ6 configuration file"
READ_ERROR = b"An error occured whilst reading the file"
FLOOD_TEXT = b"TEQ6 diagnostic output 0123456789 "
MISSING = b"Cannot find file"
IN_FILE = b"Error loading file '%s': %s\n"  # file name, why
# Block 2 of 3 never answered: ten attempts waited out, then the download gives up.
BLOCK_2_GIVEN_UP = download_body(3, upto=1) + b"".join(
    ATTEMPT % (2, 3, attempt) + b"." for attempt in range(1, 11)) + CANNOT_SEND


def expect_idle(context, run):
    """A thread spinning on a dead line or empty input uses the CPU all along; Wine's start, 1 s."""
    expect(run.cpu_seconds < run.elapsed / 4 + (2 if context.is_wine else 0),
           "%.1f s of CPU time in a run of %.1f s" % (run.cpu_seconds, run.elapsed))


def expect_success(session):  # whatever came before
    ending = SUCCESS % session.file
    return lambda body: expect(body.endswith(ending), "console ends with %r: %r" % (ending, body))


# Linux's termios2, which carries a rate without a B constant: flags, line discipline, control
# characters, input and output rate.
TERMIOS2 = struct.Struct("=4IB19s2I")
TCGETS2, TCSETS2, TIOCGEXCL = 0x802C542A, 0x402C542B, 0x80045440
SPEED_BITS, OTHER_SPEEDS = 0o10017 | 0o10017 << 16, 0o10000 | 0o10000 << 16


def termios2_of(device, request=TCGETS2, argument=bytes(TERMIOS2.size)):
    with holding(device, os.O_NONBLOCK) as port:
        return fcntl.ioctl(port, request, argument)


def line_settings(device):  # stty cannot tell two rates apart when neither is standard
    shown = subprocess.run(["stty", "-F", device, "-g"], capture_output=True, check=True).stdout
    exclusive = struct.unpack("i", termios2_of(device, TIOCGEXCL, bytes(4)))
    return shown, TERMIOS2.unpack(termios2_of(device))[-2:], exclusive


@case
def startup_failures(context):
    """Each refusal before the download: its exact words and its status."""
    with Session(context) as session:
        bad = bytearray(make_config(numbered_blocks(2)))
        bad[36 + 2056 + 100] ^= 0x01
        session.write("flipped.bin", bytes(bad))
        session.write("short.bin", bytes(bad[:36]))
        os.mkdir(os.path.join(session.workspace, "folder"))
        os.mkfifo(os.path.join(session.workspace, "fifo"))
        here, port, name = b"-%d" % session.port, session.port, session.file
        cases = [  # arguments, port and baud rate shown (None: no banner), message, status, note
            ([], None, None, USAGE, 2, b""),
            ([b"missing.bin"], 1, 115200, IN_FILE % (b"missing.bin", MISSING), 4, b""),
            ([b"flipped.bin", here], port, 115200, IN_FILE % (b"flipped.bin", INVALID), 5, b""),
            ([b"short.bin", here], port, 115200, IN_FILE % (b"short.bin", READ_ERROR), 6, b""),
            ([name, b"-130"], 130, 115200, NOT_LISTED % 130, 8, b"telvorn: COM130"),
            ([name, b"-b0", here], port, 0, b"Error setting baud rate 0: %s\n" % BAD_RATE, 7, b""),
            # Arguments that read otherwise than they look: taken as always, each with a warning.
            ([name, b"40", b"-b", b"9600"], 600, 0, NOT_LISTED % 600, 8,
             b"telvorn: '40' is read as port 0: a port number is given with a dash, as -40\n"
             b"telvorn: '-b' is read as baud rate 0"),
            ([name, b"-b115k\x1b", b"COM5"], 0, 115, NOT_LISTED % 0, 8,
             b"telvorn: '-b115k?' is read as baud rate 115"),
            # What is not a regular file is not found, and a FIFO does not hang the run; a name's
            # control bytes never reach the terminal.
            ([b"folder"], 1, 115200, IN_FILE % (b"folder", MISSING), 4, b""),
            ([b"a\x1b[2J\x07\x7f.bin"], 1, 115200, IN_FILE % (b"a?[2J??.bin", MISSING), 4, b""),
            ([b"--help"], None, None, USAGE, 0, b""),
            ([b"--version"], None, None, b"telvorn 2.00\n", 0, b""),
        ]
        if not context.is_wine:  # Wine shows a FIFO as a file that ends at once; Windows has none
            cases.append(([b"fifo"], 1, 115200, IN_FILE % (b"fifo", MISSING), 4, b""))
        for args, shown_port, baud, message, code, note in cases:
            run = Run(context, [a.decode() for a in args], session.workspace)
            status, output = run.finish()
            if shown_port is not None:
                shown = re.sub(rb"[\x00-\x1f\x7f]", b"?", args[0])
                message = BANNER_CP437 + SETTINGS % (shown, baud, shown_port) + message
            if args[:1] == [b"--help"]:
                output = output[: len(message)]
            expect_equal((status, output), (code, message), "status and console for %r" % args)
            run.expect_note(note, "standard error for %r" % args)
        # Once the port is listed: refused by the driver; held by a program that keeps the probes'
        # shared lock; the terminal it runs on, as its standard input. As nobody: no permission,
        # exclusive mode left without a lock, another user's program's lock (whose processes cannot
        # be looked into: no holder to name). Wine has none of these but the first.
        refused, unlisted = ERROR + b"Cannot open this port", NOT_LISTED % session.port
        rows = [  # arguments, baud rate, the port's mode, what the holder does, status, end, note
            ([b"-b-5"], -5, 0o620, "", 7, ERROR + BAD_RATE, b""),
            ([b"-b150"], 150, 0o620, "lock", 9, refused,
             b"in another program: PID %d" % os.getpid()),
            ([], 115200, 0o620, "stdin", 9, refused, b"the terminal this program runs on"),
            ([], 115200, 0o600, "nobody", 8, unlisted, b"no permission"),
            ([], 115200, 0o666, "nobody exclusive", 8, unlisted,
             b"in exclusive mode, but no program holds its lock"),
            ([], 115200, 0o666, "nobody lock", 9, refused, b""),
        ]
        del rows[1 if context.is_wine else 6 if CAN_BE_NOBODY else 3 :]
        for args, baud, mode, how, code, end, why in rows:
            os.chmod(session.sim.slave, mode)
            with holding(session.sim.slave) as holder:
                "lock" in how and fcntl.flock(holder, fcntl.LOCK_SH)
                "exclusive" in how and fcntl.ioctl(holder, termios.TIOCEXCL)
                run = session.run(*args, wrapper=AS_NOBODY if "nobody" in how else (),
                                  preexec=(lambda: os.dup2(holder, 0)) if how == "stdin" else None)
                status, output = run.finish()
                fcntl.ioctl(holder, termios.TIOCNXCL)
            with labelled("%r, %s" % (args, how)):
                expected = (code, session.head(baud=baud) + end)
                expect_equal((status, split_prompt(output)[0]), expected, "status, console")
                run.expect_note(why)
        expect_equal(session.sim.stop().get("messages"), "0", "messages the device saw")


UNICODE_BANNER = BANNER_CP437.decode("cp437").splitlines()  # the same box-drawing characters
CONSOLE_CODE_PAGES = (65001, 437, 850, 1252)


@case
def unicode_banner_where_it_can_be_drawn(context):
    """UTF-8; a terminal without it (a serial console, cron) gets + - |; a Windows console of each
    usual code page; a file gets code page 437."""
    settings = SETTINGS % (b"missing.bin", 115200, 1) + IN_FILE % (b"missing.bin", MISSING)
    if not context.is_wine:
        _, output = Run(context, ["missing.bin"], workspace(), env={"LC_ALL": "C.UTF-8"}).finish()
        banner = "".join(line + "\n" for line in UNICODE_BANNER).encode("utf-8")
        expect_equal(output, banner + settings, "console")
        plain = [line.translate(str.maketrans("\u250c\u2510\u2514\u2518\u2500\u2502", "++++-|"))
                 for line in UNICODE_BANNER]
        screen = on_terminal(context.program_command(["missing.bin"]), workspace(), "C")
        expect_equal(screen[: len(plain)], plain, "a terminal without UTF-8")
        return
    cwd = workspace()
    program = os.path.join(context.windows_build, "telvorn.exe").replace("/", "\\")
    program = "Z:%s missing.bin" % program  # the Windows name, through Wine's drive Z:
    commands = ["chcp %d >NUL & %s" % (code_page, program) for code_page in CONSOLE_CODE_PAGES]
    # Last, standard error's lines reach the console too.
    commands += [program + " >redirected.txt", program + " 40 >NUL"]
    screen = on_terminal([context.wine_run, "cmd", "/c", " & ".join(commands)], cwd, "C.UTF-8")
    shown = UNICODE_BANNER + settings.decode().splitlines()
    for index, code_page in enumerate(CONSOLE_CODE_PAGES):
        at = index * len(shown)
        expect_equal(screen[at : at + len(shown)], shown, "console of code page %d" % code_page)
    warning = "telvorn: '40' is read as port 0: a port number is given with a dash, as -40"
    expect_in(warning, screen, "the console's lines")
    redirected = pathlib.Path(cwd, "redirected.txt").read_bytes()
    expect_equal(context.normalise(redirected), BANNER_CP437 + settings, "file")


@case(targets=("linux", "wine", "valgrind"))
def normal_download(context):
    """NAKs to a block and to the connect request, a file of no blocks, one of 500, and more text
    before the first ACK than any buffer holds: each download to its end."""
    # Wine reads a port a byte at a time through the wine server, and qemu-user emulates every
    # read: on a busy machine 1,500 bytes took the block's whole 10 s wait, so they get less.
    flood = 65536 if context.target == "linux" and not context.emulator else 1024
    text = (FLOOD_TEXT * (flood // len(FLOOD_TEXT) + 1))[:flood]
    first = download_body(3, upto=1)
    rows = [  # simulator options, blocks, console before the success line
        (("--silent-connects", "2"), 4, download_body(4, silent_connects=2)),
        (("--nak-block", "2:2"), 3, download_body(3, attempts={2: 3})),
        (("--nak-connects", "1"), 1, WAITING + PREPARING + b"." + download_body(1)[len(WAITING) :]),
        ((), 0, download_body(0)),
        (("--quiet",), 500, download_body(500)),
        (("--flood", str(flood), "--quiet"), 3, first + text + download_body(3)[len(first) :]),
    ]
    for options, blocks, body in rows:
        with Session(context, *options, blocks=blocks) as session:
            expected = body + SUCCESS % session.file
            session.expect_end(session.run(), expected, 0, True, end_message="yes")


@case
def abort_while_waiting_for_connection(context):
    """Also from a non-blocking standard input, where "nothing yet" is not the end of input, and
    with 5 descriptors, where each attempt waits out its time without spinning."""
    silent = ("--silent-connects", "1000000")
    rows = [  # what, simulator options, set-up of the program's process, simulator's counts
        ("from a pipe", silent, None, {}),
        ("from a non-blocking pipe", silent, lambda: os.set_blocking(0, False), {}),
    ]
    if not (context.is_wine or context.sanitized):  # a sanitizer opens descriptors of its own
        few = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (5, 5))
        rows.append(("with 5 descriptors", (), few, {"connect_requests": "0"}))
    check = lambda body: expect(re.fullmatch(re.escape(WAITING) + rb"\.+" + re.escape(
        CANNOT_CONNECT), body), "waiting dots, then the error: %r" % body)
    silence = b"telvorn: nothing has answered on COM"
    for what, options, preexec, summary in rows:
        with Session(context, *options) as session, session.run(preexec=preexec) as run:
            run.wait_for(WAITING)
            # Once, the silence is waited out until the user is told where nothing answers.
            wait_until(lambda: silence in run.notes(), 15 if what == rows[0][0] else 2)
            run.type(b"x\n")
            with labelled(what):
                session.expect_end(run, check, 10, timeout=ABORT_TIMEOUT, blocks="0", **summary)
                expect_idle(context, run)
                run.expect_note(b"telvorn: x: the download stops")
                expect_equal(run.notes().count(silence), int(what == rows[0][0]), "silence notes")


@case
def abort_during_a_block(context):
    """x as the last block goes out: its late ACK still counts, then no end message."""
    with Session(context, "--late-ms", "400", blocks=2) as session:
        run = session.run()
        # The attempt line has no line end, so the console shows it only later.
        session.sim.wait_for_log("block 2 attempt 1:")
        run.type(b"later\nX\n")
        session.expect_end(run, download_body(2) + CANNOT_SEND, 11, True, timeout=ABORT_TIMEOUT,
                           end_message="no")


@case
def block_refused_every_time(context):
    """Ten NAKs to one block end the download, and the user is told how its attempts ended."""
    with Session(context, "--nak-block", "2:10", blocks=2) as session, session.run() as run:
        session.expect_end(run, download_body(2, attempts={2: 10}) + CANNOT_SEND, 11,
                           session.blocks[:1], end_message="no")
        run.expect_note(b"telvorn: block 2 of 2 gave up after 10 attempts: 10 refused (NAK)\n")


# On Linux the real-kernel tier unplugs a real adapter, where holding the gone device would also
# give the replugged one another name; Wine's unmapped COM number has only this case.
@case(targets=("wine",))
def adapter_unplugged(context):
    """In block 2 of 3; for good: every attempt waits out its time trying to open the port again;
    plugged back in: the download goes on where it was."""
    for plugged_back in (False, True):
        with Session(context, "--hangup-in-block", "2", blocks=3) as session, session.run() as run:
            session.sim.process.wait(timeout=STARTUP_TIMEOUT)
            session.sim.unmap()  # as Windows does an unplugged adapter's COM number
            time.sleep(1)  # plugged back in well inside the attempt
            if not plugged_back:
                session.expect_end(run, BLOCK_2_GIVEN_UP, 11, session.blocks[:1])
                expect_idle(context, run)
                run.expect_note(b"telvorn: block 2 of 3 gave up after 10 attempts: 10 no answer\n")
                continue
            session.sim.stop()
            before = session.sim.received()
            session.sim = Simulator(context, session.port, "--connected",
                                    workdir=session.workspace, name="replugged")
            interrupted = ATTEMPT % (2, 3, 1) + b"." + ATTEMPT % (2, 3, 2)
            session.expect_end(run, lambda body: expect_in(interrupted, body, "the console"), 0)
            after = session.sim.received()
            expect(before + after == b"".join(session.blocks), "blocks across the replug")


@case(targets=("linux",))
def standard_streams_closed(context):
    """Started with `<&- >&-`, or all three closed: the null device takes their place, so that
    neither the port nor an event gets their numbers."""
    for closed in ((0, 1), (0, 1, 2)):
        with Session(context, "--silent-connects", "2", blocks=2) as session:
            close = lambda: [os.close(descriptor) for descriptor in closed]
            with session.run(preexec=close) as run:
                session.sim.wait_for_log("connect request 1:")
                held = [os.path.realpath("/proc/%d/fd/%d" % (run.process.pid, fd)) for fd in closed]
                with labelled("with %s closed" % (closed,)):
                    expect_equal(held, ["/dev/null"] * len(closed), "what they lead to")
                    session.expect_end(run, None, 0, True)
                    # An input at its end must end the keyboard watcher, not keep it reading.
                    expect_idle(context, run)


@case(targets=("linux",))
def device_text_in_writes_of_256_bytes(context):
    """Device text without line ends leaves through standard output's own 256-byte buffer."""
    text = (FLOOD_TEXT * 60)[:2000]
    with Session(context, "--flood", str(len(text)), "--quiet", blocks=1) as session:
        trace = os.path.join(session.workspace, "write")
        # LeakSanitizer cannot work under ptrace; the other cases look for leaks.
        quiet_leaks = {"LSAN_OPTIONS": "detect_leaks=0"} if context.sanitized else None
        strace = ["strace", "-qq", "-ff", "-e", "trace=write", "-o", trace]
        run = session.run(wrapper=strace, env=quiet_leaks)
        # Slowed down by strace, the block's write may be held past its bound, and its dot then
        # falls among the text; the text has no dots of its own.
        body = session.expect_end(run, expect_success(session), 0, True)
        expect(text in body.replace(b".", b""), "the device's text shown whole")
        log = b"".join(pathlib.Path(name).read_bytes() for name in glob.glob(trace + ".*"))
        sizes = [int(size) for size in re.findall(rb"^write\(1, .*, (\d+)\) += \d+$", log, re.M)]
        shown = len(session.head()) + len(body) + len(PROMPT)
        expect(sum(sizes) == shown and max(sizes) <= 256, "writes to standard output: %s" % sizes)


@case
def answers_late_around_the_waits(context):
    """A connect ACK late is taken in whichever 500 ms wait it falls, later ones are purged in the
    3 s pause; the end message's answer, after a 1 s idle gap, misses its wait: one more dot."""
    late = {300: 0, 750: 1, 1250: 2}  # ms late (mid-wait, so load cannot move them): dots shown
    with contextlib.ExitStack() as stack:
        options = lambda ms: ("--late-ms", str(ms), "--idle-gap-ms", "1000")
        sessions = {ms: stack.enter_context(Session(context, *options(ms))) for ms in late}
        runs = {ms: stack.enter_context(session.run()) for ms, session in sessions.items()}
        for ms, session in sessions.items():
            expected = download_body(3, silent_connects=late[ms]) + b"." + SUCCESS % session.file
            with labelled("answers %d ms late" % ms):
                session.expect_end(runs[ms], expected, 0, True, blocks="3")


@case
def output_held_by_flow_control(context):
    """A held write is given up after its bound and x ends the run; one held for less than a
    block's wait for its answer costs no attempt."""
    # The held attempt waited out, and maybe the next one too, before the x is heard.
    start = download_body(3, upto=2) + b"."
    consoles = [start + CANNOT_SEND, start + ATTEMPT % (2, 3, 2) + b"." + CANNOT_SEND]
    check = lambda body: expect_in(body, consoles, "the consoles expected")
    with Session(context, "--stop-output-at", "2", blocks=3) as session:
        run = session.run()
        run.wait_for(ATTEMPT % (2, 3, 1) + b".")
        run.type(b"x\n")
        session.expect_end(run, check, 11, session.blocks[:1], timeout=ABORT_TIMEOUT,
                           end_message="no")
    with Session(context, "--stop-output-at", "2", "--resume-output-after", "7000") as session:
        session.expect_end(session.run(), download_body(3) + SUCCESS % session.file, 0, True)


@case(targets=("linux",))
def signals_put_the_port_back(context):
    """A port in use is held for other programs; a signal the parent ignores stays ignored; a
    signal mid-block: line settings, rate and exclusive mode put back, the signal's status."""
    with Session(context, "--silent-connects", "2", blocks=1) as session:
        with session.run(preexec=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN)) as run:
            run.wait_for(WAITING + b".")
            # Held for programs that take the lock first, as this one's start-up probe does.
            with contextlib.suppress(OSError), holding(session.sim.slave, os.O_NONBLOCK) as other:
                fcntl.flock(other, fcntl.LOCK_SH | fcntl.LOCK_NB)
                expect(False, "another program got a shared lock on the port in use")
            run.process.send_signal(signal.SIGHUP)
            session.expect_end(run, expect_success(session), 0, True)
    # Sent by other programs, and raised by a crash; all at once, as each waits out the pause.
    # A sanitizer takes a segmentation fault for its own report.
    numbers = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGPIPE, signal.SIGQUIT,
               signal.SIGUSR1, signal.SIGABRT) + ((signal.SIGSEGV,) * (not context.sanitized))
    with contextlib.ExitStack() as stack:
        sessions = [stack.enter_context(Session(context, "--ignore-block", "2", blocks=3))
                    for _ in numbers]
        # Both directions at a rate without a B constant, as a 3D printer's host leaves it; not
        # under qemu-user, which has no termios2 for the program to put it back with.
        if not context.emulator:
            for session in sessions:
                fields = list(TERMIOS2.unpack(termios2_of(session.sim.slave)))
                fields[2] = fields[2] & ~SPEED_BITS | OTHER_SPEEDS
                fields[-2:] = [250000, 250000]
                termios2_of(session.sim.slave, TCSETS2, TERMIOS2.pack(*fields))
        before = [line_settings(session.sim.slave) for session in sessions]
        no_core = lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        runs = [stack.enter_context(session.run(preexec=no_core)) for session in sessions]
        for number, session, run, settings in zip(numbers, sessions, runs, before):
            session.sim.wait_for_log("block 2 attempt 1:")
            run.process.send_signal(number)
            expect_equal(run.process.wait(timeout=STARTUP_TIMEOUT), -number, number.name)
            expect_equal(line_settings(session.sim.slave), settings, "after " + number.name)
            with session.run() as again:
                again.wait_for(WAITING)


@case(targets=("linux",))
def teq6_file(context):
    """make, check and show: the files, the words and the statuses, as any user runs them."""
    tool = context.emulator + [os.path.join(context.linux_build, "tools", "teq6-file", "teq6-file")]
    here = workspace()
    payload = bytes(range(256)) * 9  # one whole block and one padded
    default_header = b"TEQ6 configuration".ljust(len(HEADER), b"\0")
    blocks = make_block(payload[:PAYLOAD_SIZE]) + make_block(payload[PAYLOAD_SIZE:])
    made = default_header + FILE_MAGIC + blocks + END_MARKER
    flipped = bytearray(made)
    flipped[36 + 2056 + 5] ^= 1
    files = {"payload": payload, "self": payload, "empty": b"", "h32": b"H" * 32, "h31": b"H" * 31,
             "h33": b"H" * 33, "stub.bin": made[:38],
             "flipped.bin": flipped, "cut.bin": made[: 36 + 2056 + 100], "short.bin": made[:20]}
    for name, data in files.items():
        pathlib.Path(here, name).write_bytes(data)
    os.mkfifo(os.path.join(here, "fifo"))
    shown_head = [b"header                0  54 45 51 36 20 63 6F 6E 66 69 67 75 72 61 74 69"
                  b"  |TEQ6 configurati|",
                  b"                     16  6F 6E 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                  b"  |on..............|", b"signature            32  03 12 00 FF"]
    refused = lambda text, verdict: text + b"\nTELVORN would report: " + verdict + b"\n"
    # The files made and what they must hold; the payload is read whole before "self" is opened.
    made_files = {"out.bin": made, "zero.bin": default_header + FILE_MAGIC + END_MARKER,
                  "h.bin": b"H" * 32 + made[32:], "self": made}
    rows = [  # arguments, exit status, standard output
        ("make payload out.bin", 0, b"wrote out.bin: 2 blocks, 4152 bytes\n"),
        ("make empty zero.bin", 0, b"wrote zero.bin: 0 blocks, 40 bytes\n"),
        ("make payload h.bin --header h32", 0, b"wrote h.bin: 2 blocks, 4152 bytes\n"),
        ("make self self", 0, b"wrote self: 2 blocks, 4152 bytes\n"),
        ("make payload x.bin --header h31", 1, b"h31 must hold exactly 32 bytes\n"),
        ("make payload x.bin --header h33", 1, b"h33 must hold exactly 32 bytes\n"),
        ("make missing x.bin", 1, b"cannot open missing\n"),
        ("make /dev/zero x.bin", 1, b"cannot open /dev/zero\n"),  # it would never end
        ("check fifo", 1, refused(b"cannot open fifo", MISSING)),  # nor wait for a writer
        ("check out.bin", 0, b"valid: 2 blocks\n"),
        ("check flipped.bin", 1, refused(b"invalid: block 2: check word 0x808F, expected 0x8090",
                                         INVALID)),
        ("check cut.bin", 1, refused(b"invalid: file ends 100 bytes into block 2", READ_ERROR)),
        ("check short.bin", 1, refused(b"invalid: header shorter than 32 bytes (the file holds 20)",
                                       INVALID)),
        ("show out.bin", 0, b"\n".join(shown_head + [
            b"block 1              36  00 01 02 03 04 05 06 07 ...  check word 0x03F1  valid",
            b"block 2            2092  06 07 08 09 0A 0B 0C 0D ...  check word 0x808F  valid",
            b"trailer            4148  FF 00 12 03",
            b"valid: 2 blocks\n"])),
        ("show flipped.bin", 1, None),
        # Two bytes where a block starts: neither a trailer nor a block.
        ("show stub.bin", 1, b"\n".join(shown_head + [b"end of file 2 bytes into block 1", refused(
            b"invalid: file ends 2 bytes into block 1", READ_ERROR)])),
        ("make payload", 2, b""),
        ("take out.bin", 2, b""),
        ("", 2, b""),
    ]
    for args, status, output in rows:
        run = subprocess.run(tool + args.split(), cwd=here, capture_output=True)
        expect_equal(run.returncode, status, "exit status of teq6-file %s" % args)
        if output is not None:
            expect_equal(run.stdout, output, "output of teq6-file %s" % args)
        if status == 2:
            expect(run.stderr.startswith(b"usage: teq6-file"), "usage for teq6-file %s" % args)
    for name, contents in made_files.items():
        expect(pathlib.Path(here, name).read_bytes() == contents, "the bytes of %s" % name)


if __name__ == "__main__":
    sys.exit(main(__doc__))
