"""End-to-end cases: the real program, its console output and the blocks the device received.

Each case is a function taking a harness.Context; it raises AssertionError on a failure and
harness.Skip when the target cannot show what the case needs.
"""

import fcntl
import os

from harness import (
    BANNER_CP437,
    PROMPT,
    Run,
    Simulator,
    PortLease,
    Workspace,
    make_config,
    numbered_blocks,
    settings_lines,
    split_prompt,
)

CASES = {}

USAGE = b"Usage: TELVORN <filename> [<port number>] [-b<baud rate>]\n"
WAITING = b"Waiting for connection\n"
PREPARING = b"\nPreparing to load TEQ6 data..\n"


class Skip(Exception):
    pass


def case(function):
    CASES[function.__name__] = function
    return function


def expect_equal(actual, expected, what):
    if actual != expected:
        raise AssertionError("%s:\nexpected %r\nactual   %r" % (what, expected, actual))


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def attempt_line(block, count, attempt):
    return b"\nWriting block %d of %d, attempt %d: " % (block, count, attempt)


def success_line(name):
    return b"\n\nSuccessfully loaded data file '%s' to the TEQ6" % name


def error_line(text):
    return b"Error loading data: " + text


class Session:
    """One case's workspace, port number and simulator, cleaned up whatever happens."""

    def __init__(self, context, *sim_options, blocks=3, sim=True):
        self.context = context
        self.workspace = Workspace()
        self.lease = PortLease(context)
        self.port = self.lease.number
        self.blocks = numbered_blocks(blocks, seed=self.port)
        self.file = self.workspace.write("config.bin", make_config(self.blocks))
        self.sim = None
        if sim:
            self.sim = Simulator(context, self.port, *sim_options, workdir=self.workspace.path)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.sim:
            self.sim.stop()
        self.lease.release()

    def run(self, *extra, stdin="pipe", env=None, file=None):
        args = [file if file is not None else self.file, b"-%d" % self.port] + list(extra)
        return Run(self.context, [a.decode() for a in args], self.workspace.path, stdin, env)

    def head(self, baud=115200, file=None):
        return BANNER_CP437 + settings_lines(file or self.file, self.port, baud)

    def expect_received(self, blocks=None):
        blocks = self.blocks if blocks is None else blocks
        received = self.sim.received()
        expect_equal(len(received), len(b"".join(blocks)), "bytes the device accepted")
        expect(received == b"".join(blocks), "the device accepted other bytes than the file's")


def download_body(count, silent_connects=0, attempts=None, echo=b"", upto=None):
    """What the console shows from "Waiting for connection" to the last attempt at block upto
    (by default, the last block) of a file of count blocks."""
    attempts = attempts or {}
    body = WAITING + b"." * silent_connects + PREPARING + b"."
    for block in range(1, (count if upto is None else upto) + 1):
        for attempt in range(1, attempts.get(block, 1) + 1):
            body += attempt_line(block, count, attempt) + echo
    return body


def finished(run, session):
    status, output = run.finish()
    body, prompts = split_prompt(output)
    expect_equal(prompts, 1, "prompt lines in %r" % output)
    head = session.head()
    expect_equal(body[: len(head)], head, "banner and settings")
    return status, body[len(head) :]


# --- Start-up: the command line, the file and the settings ------------------------------------


@case
def usage_without_arguments(context):
    workspace = Workspace()
    run = Run(context, [], workspace.path)
    status, output = run.finish()
    expect_equal(output, USAGE, "console")
    expect_equal(status, 2, "exit status")


@case
def startup_failures(context):
    """Each refusal before the download: its exact words and its status."""
    with Session(context, sim=True) as session:
        bad = bytearray(make_config(numbered_blocks(2)))
        bad[36 + 2056 + 100] ^= 0x01
        session.workspace.write("flipped.bin", bytes(bad))
        session.workspace.write("short.bin", bytes(bad[:36]))
        here = b"-%d" % session.port
        not_listed = b": Serial port number is not valid\n"
        cases = [  # arguments, port and baud rate shown, message, status
            ([b"missing.bin"], 1, 115200, b"Error loading file 'missing.bin': Cannot find file\n", 4),
            (
                [b"flipped.bin", here],
                session.port,
                115200,
                b"Error loading file 'flipped.bin': File is not a valid TEQ6 configuration file\n",
                5,
            ),
            (
                [b"short.bin", here],
                session.port,
                115200,
                b"Error loading file 'short.bin': An error occured whilst reading the file\n",
                6,
            ),
            ([session.file, b"-130"], 130, 115200, b"Error setting port number 130" + not_listed, 8),
            ([session.file, b"3"], 0, 115200, b"Error setting port number 0" + not_listed, 8),
            ([session.file, here, b"-B9600"], 0, 115200, b"Error setting port number 0" + not_listed, 8),
            (
                [session.file, b"-b0", here],
                session.port,
                0,
                b"Error setting baud rate 0: Baud rate is not valid\n",
                7,
            ),
        ]
        for args, port, baud, message, code in cases:
            run = Run(context, [a.decode() for a in args], session.workspace.path)
            status, output = run.finish()
            expected = BANNER_CP437 + settings_lines(args[0], port, baud) + message
            expect_equal(output, expected, "console for %r" % args)
            expect_equal(status, code, "exit status for %r" % args)
        summary = session.sim.stop()
        expect_equal(summary.get("messages"), "0", "messages the device saw")


@case
def baud_rate_refused_by_the_port(context):
    with Session(context) as session:
        run = session.run(b"-b-5")
        status, output = run.finish()
        body, _ = split_prompt(output)
        expected = session.head(baud=-5) + error_line(b"Baud rate is not valid")
        expect_equal(body, expected, "console")
        expect_equal(status, 7, "exit status")


@case
def port_held_at_startup_is_not_listed(context):
    if context.is_wine:
        raise Skip("Wine does not enforce exclusive opening of a COM port")
    with Session(context) as session:
        holder = os.open(session.sim.slave, os.O_RDWR | os.O_NOCTTY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
            status, output = session.run().finish()
        finally:
            os.close(holder)
        message = b"Error setting port number %d: Serial port number is not valid\n" % session.port
        expect_equal(output, session.head() + message, "console")
        expect_equal(status, 8, "exit status")


@case
def unicode_banner_on_a_utf8_terminal(context):
    if context.is_wine:
        raise Skip("the Windows console takes code page 437 bytes as they are")
    workspace = Workspace()
    run = Run(context, ["missing.bin"], workspace.path, env={"LC_ALL": "C.UTF-8"})
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
        status, body = finished(session.run(), session)
        expected = download_body(4, silent_connects=2) + success_line(session.file)
        expect_equal(body, expected, "console")
        expect_equal(status, 0, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("end message"), "yes", "end message seen")
        session.expect_received()


@case
def zero_blocks(context):
    with Session(context, blocks=0) as session:
        status, body = finished(session.run(), session)
        expect_equal(body, download_body(0) + success_line(session.file), "console")
        expect_equal(status, 0, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("blocks"), "0", "blocks sent")
        expect_equal(summary.get("end message"), "yes", "end message seen")


@case
def naks_then_ack(context):
    with Session(context, "--nak-block", "2:2", blocks=3) as session:
        status, body = finished(session.run(), session)
        expected = download_body(3, attempts={2: 3}) + success_line(session.file)
        expect_equal(body, expected, "console")
        expect_equal(status, 0, "exit status")
        session.sim.stop()
        session.expect_received()


@case
def connect_naks_repeat_the_announcement(context):
    with Session(context, "--nak-connects", "1", blocks=1) as session:
        status, body = finished(session.run(), session)
        expected = WAITING + PREPARING + b"." + download_body(1)[len(WAITING) :]
        expect_equal(body, expected + success_line(session.file), "console")
        expect_equal(status, 0, "exit status")


@case
def block_never_answered(context):
    with Session(context, "--ignore-block", "2", blocks=3) as session:
        status, body = finished(session.run(), session)
        expected = download_body(3, upto=1) + b"".join(
            attempt_line(2, 3, attempt) + b"." for attempt in range(1, 11)
        )
        expect_equal(body, expected + error_line(b"Cannot send data to the TEQ6"), "console")
        expect_equal(status, 11, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("end message"), "no", "end message seen")
        session.expect_received(session.blocks[:1])


@case
def abort_while_waiting_for_connection(context):
    with Session(context, "--silent-connects", "1000000") as session:
        run = session.run()
        run.wait_for(WAITING + b"..")
        run.type(b"x\n")
        status, body = finished(run, session)
        expect(body.startswith(WAITING + b".."), "waiting dots: %r" % body)
        dots = body[len(WAITING) : -len(error_line(b"Cannot connect to the TEQ6"))]
        expect(dots == b"." * len(dots), "only dots while waiting: %r" % body)
        expect(body.endswith(error_line(b"Cannot connect to the TEQ6")), "console: %r" % body)
        expect_equal(status, 10, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("blocks"), "0", "blocks sent")


@case
def abort_during_a_block(context):
    """The exchange in progress finishes; then the download gives up without the end message."""
    with Session(context, "--ignore-block", "2", blocks=3) as session:
        run = session.run()
        # The attempt line has no line end, so the console shows it only later; the device
        # seeing the block is what says the exchange is under way.
        session.sim.wait_for_log("block 2 attempt 1:")
        run.type(b"later\nX\n")
        status, body = finished(run, session)
        expected = download_body(3, upto=1) + attempt_line(2, 3, 1) + b"."
        expect_equal(body, expected + error_line(b"Cannot send data to the TEQ6"), "console")
        expect_equal(status, 11, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("end message"), "no", "end message seen")


@case
def device_text_and_control_bytes(context):
    """Only printable characters reach the console; control bytes never pass for a reply."""
    with Session(context, "--text", "OK:", "--control-bytes", blocks=2) as session:
        status, body = finished(session.run(), session)
        expect_equal(status, 0, "exit status")
        for byte in body:
            expect(byte == 0x0A or 0x20 <= byte <= 0x7E, "unprintable byte %#x shown" % byte)
        for block in (1, 2):
            expect(attempt_line(block, 2, 1) + b"OK:" in body, "device text after the attempt")
        expect(attempt_line(1, 2, 2) not in body, "a control byte was taken as a refusal")
        session.sim.stop()
        session.expect_received()


@case
def stale_bytes_between_exchanges(context):
    with Session(context, "--stale", blocks=3) as session:
        status, body = finished(session.run(), session)
        expected = download_body(3) + success_line(session.file)
        expect_equal(body, expected, "console")
        expect_equal(status, 0, "exit status")
        session.sim.stop()
        session.expect_received()


@case
def hang_up_in_the_middle_of_a_block(context):
    with Session(context, "--hangup-in-block", "2", blocks=3) as session:
        status, body = finished(session.run(), session)
        expect(body.startswith(download_body(3, upto=1) + attempt_line(2, 3, 1)), "console: %r" % body)
        expect(body.endswith(error_line(b"Cannot send data to the TEQ6")), "console: %r" % body)
        expect_equal(status, 11, "exit status")
        session.sim.stop()
        session.expect_received(session.blocks[:1])


@case
def end_of_standard_input(context):
    with Session(context, blocks=2) as session:
        status, body = finished(session.run(stdin="eof"), session)
        expect_equal(body, download_body(2) + success_line(session.file), "console")
        expect_equal(status, 0, "exit status")
        session.sim.stop()
        session.expect_received()


@case
def many_blocks_byte_for_byte(context):
    with Session(context, "--quiet", blocks=500) as session:
        status, body = finished(session.run(), session)
        expect_equal(status, 0, "exit status")
        expect(body.endswith(attempt_line(500, 500, 1) + success_line(session.file)), "console")
        session.sim.stop()
        session.expect_received()
