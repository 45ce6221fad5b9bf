"""End-to-end cases of a misbehaving device: floods, noise, late answers, resets and hang-ups.

Besides what the user sees and how the program ends, every case checks that the device accepted
nothing but the file's blocks, in the file's order.
"""

import collections
import contextlib
import os
import re
import time

from cases import (
    PREPARING,
    WAITING,
    Session,
    attempt_line,
    case,
    download_body,
    error_line,
    expect,
    expect_equal,
    finished,
    success_line,
)
from harness import BLOCK_SIZE, STARTUP_TIMEOUT, split_prompt

CANNOT_CONNECT = error_line(b"Cannot connect to the TEQ6")
CANNOT_SEND = error_line(b"Cannot send data to the TEQ6")
ATTEMPT = rb"\nWriting block \d+ of \d+, attempt \d+: "


def expect_printable(body):
    """Only printable characters and the program's own line ends may reach the console."""
    shown = sorted({byte for byte in body if byte != 0x0A and not 0x20 <= byte <= 0x7E})
    expect(not shown, "unprintable bytes shown: %s" % " ".join("%#04x" % b for b in shown))


def expect_received_allowing_resends(session, body):
    """The device accepted the file's blocks in order, each once, but that a block the console
    shows sent again may have been accepted once per attempt: when the device accepted it and
    its ACK came too late, the device takes the copy for the next block."""
    count = len(session.blocks)
    received = session.sim.received()
    accepted = [received[at : at + BLOCK_SIZE] for at in range(0, len(received), BLOCK_SIZE)]
    expected = []
    for number, block in enumerate(session.blocks, 1):
        expected.append(block)
        tries = sum(attempt_line(number, count, k) in body for k in range(2, 11))
        for _ in range(tries):
            if accepted[len(expected) : len(expected) + 1] != [block]:
                break
            expected.append(block)
    if accepted != expected:
        names = [session.blocks.index(b) + 1 if b in session.blocks else "?" for b in accepted]
        raise AssertionError("blocks the device accepted: %s of %d" % (names, count))


@contextlib.contextmanager
def ended_afterwards(*runs):
    """Kills what is still running when the case leaves, so a failed case leaves no program
    behind in an endless connect loop."""
    try:
        yield
    finally:
        for run in runs:
            if run.process.poll() is None:
                run.process.kill()
                run.process.wait()


def process_tree(pid):
    """pid and every process below it (under Wine, the Windows program runs below the loader)."""
    children = collections.defaultdict(list)
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    parent = int(stat.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children[parent].append(int(entry))
    tree, waiting = [], [pid]
    while waiting:
        tree.append(waiting.pop())
        waiting.extend(children[tree[-1]])
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


# --- Chatter before the replies -------------------------------------------------------------


@case
def text_flood_before_an_ack(context):
    """A flood of device text before the first block's ACK: shown on the line of that attempt,
    printable and nothing else, and the download goes through.

    When reading the text outlasts the block's 10 s wait (a loaded machine; Wine always, where
    every one-byte overlapped read of a serial port goes through the wine server at a few KB a
    second, so it gets 64 KiB instead of a megabyte), the time-out dot shows among the text and
    the reader goes on taking the bytes that keep coming. If they come without a break it
    reaches the ACK, which still counts. If the line runs dry for a moment first, the reader
    stops there; the next attempt purges what has arrived, reads on through the rest of the text
    and takes the late ACK (unless its own wait runs out first, and so on). The device, which
    had accepted the block, accepts each copy as a further block, and the later ACKs come one
    exchange behind: the protocol cannot tell, and the download ends as a success.
    """
    flood = 65536 if context.is_wine else 1048576
    with Session(context, "--flood", str(flood), "--quiet", blocks=3) as session:
        status, body = finished(session.run(), session)
        expect_equal(status, 0, "exit status")
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
        session.sim.stop()
        expect_received_allowing_resends(session, body)


@case
def random_bytes_before_every_reply(context):
    """Random bytes (anything but ACK and NAK: line ends, XON/XOFF, ^C, escape sequences, bytes
    above 0x7F) ahead of every reply: their printable part is echoed where it arrives, nothing
    else is shown or taken for a reply, and the line settings let all of it through."""
    count = 6
    with Session(context, "--random-bytes", "512", "--seed", "29", blocks=count) as session:
        status, body = finished(session.run(), session)
        expect_equal(status, 0, "exit status")
        expect_printable(body)
        # Device text cannot hold a line end, and every line of the program's own starts with
        # one, so the text between them is all the device's.
        text = rb"([\x20-\x7e]*)"
        # When the text before the connect ACK takes longer to read than the 500 ms wait (Wine
        # reads slowly), the pause's dot falls among it instead of after the "Preparing" line.
        lines = [attempt_line(block, count, 1) for block in range(1, count + 1)]
        pattern = re.escape(WAITING) + text + re.escape(PREPARING) + rb"\.?"
        pattern += b"".join(re.escape(line) + text for line in lines)
        match = re.fullmatch(pattern + re.escape(success_line(session.file)), body)
        expect(match is not None, "console, one attempt per block, device text between:\n%r" % body)
        # The last text also holds the end message's reply, whose wait may run out first.
        places = ["before the connect ACK"] + ["after %r" % line for line in lines[:-1]]
        for shown, place in zip(match.groups(), places):
            expect(shown, "no device text shown " + place)
        summary = session.sim.stop()
        expect_equal(summary.get("connect requests"), "1", "connect requests")
        expect_equal(summary.get("blocks"), str(count), "blocks sent")
        expect_equal(summary.get("NAKs"), "0", "NAKs")
        session.expect_received()


# --- Late answers ---------------------------------------------------------------------------


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
        runs = {ms: session.run() for ms, session in sessions.items()}
        stack.enter_context(ended_afterwards(*runs.values()))
        for ms, session in sessions.items():
            status, body = finished(runs[ms], session)
            expected = download_body(3, silent_connects=late[ms]) + b"."
            expect_equal(body, expected + success_line(session.file), "console, %d ms late" % ms)
            expect_equal(status, 0, "exit status, answers %d ms late" % ms)
            summary = session.sim.stop()
            expect_equal(summary.get("blocks"), "3", "blocks sent, answers %d ms late" % ms)
            session.expect_received()


# --- A device that goes away ----------------------------------------------------------------


@case
def device_resets_in_the_middle(context):
    """The device acknowledges two blocks, then answers nothing more, like one that has reset."""
    with Session(context, "--fall-silent-after", "2", blocks=4) as session:
        status, body = finished(session.run(), session)
        tries = b"".join(attempt_line(3, 4, attempt) + b"." for attempt in range(1, 11))
        expect_equal(body, download_body(4, upto=2) + tries + CANNOT_SEND, "console")
        expect_equal(status, 11, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("blocks"), "12", "blocks sent")
        expect_equal(summary.get("end message"), "no", "end message seen")
        session.expect_received(session.blocks[:2])


@case
def hang_up_while_waiting_for_connection(context):
    """The line hangs up at the third connect request. The connect loop has no limit, so the
    program goes on trying (a dot per attempt), waiting rather than spinning on the dead line,
    until the user gives up."""
    with Session(context, "--silent-connects", "2", "--hangup-after-connects", "3") as session:
        run = session.run()
        with ended_afterwards(run):
            session.sim.process.wait(timeout=STARTUP_TIMEOUT)
            shown = split_prompt(run.output())[0]
            dots = shown[shown.find(WAITING) :].count(b".")
            run.wait_for(WAITING + b"." * (dots + 3))
            expect(run.process.poll() is None, "the program ended on the hang-up")
            expect_no_busy_thread(run.process.pid)
            run.type(b"x\n")
            status, body = finished(run, session)
        expect(body.startswith(WAITING) and body.endswith(CANNOT_CONNECT), "console: %r" % body)
        dots = body[len(WAITING) : -len(CANNOT_CONNECT)]
        expect(dots == b"." * len(dots), "only dots while waiting: %r" % body)
        expect_equal(status, 10, "exit status")
        summary = session.sim.stop()
        expect_equal(summary.get("connect requests"), "3", "connect requests the device saw")
        expect_equal(summary.get("blocks"), "0", "blocks sent")
