"""Runs the real program against teq6-sim on a pseudo-terminal and collects what happened.

The same cases run against two targets: the Linux build, which finds the simulator through its
device-file table (COM33 is <device dir>/ttyUSB0), and the Windows build under Wine, which finds
it through a dosdevices link (comN -> the pseudo-terminal). A case is a function taking a Context;
it raises AssertionError on a failure and Skip when the target cannot show what it needs.
"""

import fcntl
import os
import random
import resource
import re
import shlex
import signal
import struct
import subprocess
import tempfile
import threading
import time

PAYLOAD_SIZE = 2054
BLOCK_SIZE = PAYLOAD_SIZE + 2
FILE_MAGIC = bytes([0x03, 0x12, 0x00, 0xFF])
END_MARKER = bytes([0xFF, 0x00, 0x12, 0x03])
HEADER = b"TEQ6 test configuration".ljust(32, b"\0")

BANNER_CP437 = (
    b"  \xda" + b"\xc4" * 36 + b"\xbf\n"
    b"  \xb3 TELVORN v2.00  QEV downloader      \xb3\n"
    b"  \xb3 Configuration download to the TEQ6 \xb3\n"
    b"  \xc0" + b"\xc4" * 36 + b"\xd9\n"
)
PROMPT = b"Enter 'x' to exit program\n"
USAGE = b"Usage: TELVORN <filename> [<port number>] [-b<baud rate>]\n"
WAITING = b"Waiting for connection\n"
PREPARING = b"\nPreparing to load TEQ6 data..\n"

# Generous bounds for things that should happen at once; only a hang ever reaches them.
STARTUP_TIMEOUT = 60
RUN_TIMEOUT = 240

# COM numbers handed out to cases; the unit tests use 90 and above. Wine maps COM1 by itself.
PORT_NUMBERS = range(2, 90)
PORT_FAMILIES = ((1, "ttyS"), (33, "ttyUSB"), (65, "ttyACM"), (97, "ttyAMA"))

SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")
# Any memory error, or a block definitely or possibly lost, fails the run.
VALGRIND = ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
            "--errors-for-leak-kinds=definite,possible", "--suppressions=" + SUPPRESSIONS]

CASES = {}


class Skip(Exception):
    pass


def case(function):
    CASES[function.__name__] = function
    return function


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def expect_equal(actual, expected, what):
    expect(actual == expected, "%s:\nexpected %r\nactual   %r" % (what, expected, actual))


def make_block(payload):
    payload = payload.ljust(PAYLOAD_SIZE, b"\0")
    return payload + struct.pack("<H", -sum(payload) & 0xFFFF)


def make_config(blocks):
    return HEADER + FILE_MAGIC + b"".join(blocks) + END_MARKER


def numbered_blocks(count, seed=0):
    """Blocks whose payloads differ, so that a block sent twice or out of order shows."""
    make = lambda index: random.Random(seed * 100003 + index).randbytes(PAYLOAD_SIZE)
    return [make_block(make(index)) for index in range(count)]


def settings_lines(file_name, port, baud=115200):
    return b"File name: %s\nBaud rate: %d\nCOM Port: %d\n" % (file_name, baud, port)


def attempt_line(block, count, attempt):
    return b"\nWriting block %d of %d, attempt %d: " % (block, count, attempt)


def success_line(name):
    return b"\n\nSuccessfully loaded data file '%s' to the TEQ6" % name


def error_line(text):
    return b"Error loading data: " + text


def split_prompt(output):
    """Removes the watcher's prompt, whose place among the first download lines is not fixed."""
    return output.replace(PROMPT, b"", 1), output.count(PROMPT)


def download_body(count, silent_connects=0, attempts=None, upto=None):
    """What the console shows from "Waiting for connection" to the last attempt at block upto
    (by default, the last block) of a file of count blocks."""
    body = WAITING + b"." * silent_connects + PREPARING + b"."
    for block in range(1, (count if upto is None else upto) + 1):
        for attempt in range(1, (attempts or {}).get(block, 1) + 1):
            body += attempt_line(block, count, attempt)
    return body


def wait_until(condition, timeout=STARTUP_TIMEOUT):
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.05)


def waiting_dots_then(ending, at_least=0):
    """A check of a console that shows only waiting dots (at least at_least) before ending."""
    def check(body):
        dots = body[len(WAITING) : len(body) - len(ending)]
        ok = body.startswith(WAITING) and body.endswith(ending) and len(dots) >= at_least
        expect(ok and dots == b"." * len(dots), "waiting dots, then %r: %r" % (ending, body))
    return check


class Context:
    """Where things are: the builds, the device directory and the Wine prefix."""

    def __init__(self, target, linux_build, windows_build=None, wine_prefix=None, wine_run=None,
                 emulator=None, simulator=None):
        """emulator: the command line that runs the build's programs (qemu-user for a cross
        build); simulator: the command line of a teq6-sim to use instead of the build's own."""
        # The program runs in a workspace of its own, so every path must stand on its own.
        absolute = lambda path: os.path.abspath(path) if path else path
        self.target = target
        self.is_wine = target == "wine"
        self.emulator = shlex.split(emulator or "")
        self.linux_build = absolute(linux_build)
        self.windows_build = absolute(windows_build)
        self.wine_prefix = absolute(wine_prefix)
        self.wine_run = absolute(wine_run)
        self.device_dir = os.path.join(self.linux_build, "dev")
        os.makedirs(self.device_dir, exist_ok=True)
        self.sim = shlex.split(simulator or "") or [
            os.path.join(self.linux_build, "tools", "teq6-sim", "teq6-sim")]
        with open(os.path.join(self.linux_build, "CMakeCache.txt")) as cache:
            self.sanitized = re.search(r"^TELVORN_SANITIZE:STRING=\w", cache.read(), re.M) is not None

    def program_command(self, args):
        if self.is_wine:
            return [self.wine_run, os.path.join(self.windows_build, "telvorn.exe")] + list(args)
        program = self.emulator + [os.path.join(self.linux_build, "telvorn")] + list(args)
        return VALGRIND + program if self.target == "valgrind" else program

    def normalise(self, output):
        # The Windows C runtime writes text-mode line ends.
        return output.replace(b"\r\n", b"\n") if self.is_wine else output


def lease_port(context):
    """A COM number that no other case running at the same time uses, and the lock file that
    holds it until closed."""
    for number in PORT_NUMBERS:
        lease = open(os.path.join(context.device_dir, ".lease-%d" % number), "w")
        try:
            fcntl.flock(lease, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lease, number
        except OSError:
            lease.close()
    raise RuntimeError("no free port number")


def workspace():
    """A temporary directory per case, kept when the case fails so it can be looked at."""
    return tempfile.mkdtemp(prefix="telvorn-e2e-")


class Simulator:
    """teq6-sim on a pseudo-terminal, reachable from the program as COM<number>."""

    def __init__(self, context, number, *options, workdir, name="sim"):
        self.record_path = os.path.join(workdir, name + "-received.bin")
        self.log_path = os.path.join(workdir, name + ".log")
        first, family = [f for f in PORT_FAMILIES if f[0] <= number][-1]
        link = os.path.join(context.device_dir, "%s%d" % (family, number - first))
        command = context.sim + ["--link", link, "--record", self.record_path] + list(options)
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self._log
        )
        ready = self.process.stdout.readline().decode(errors="replace").strip()
        if not ready.startswith("READY "):
            self.process.kill()
            raise RuntimeError("simulator did not start: %r\n%s" % (ready, self.log()))
        self.slave = ready.split(" ", 1)[1]
        self._dosdevice = None
        if context.is_wine:
            self._dosdevice = os.path.join(context.wine_prefix, "dosdevices", "com%d" % number)
            if os.path.lexists(self._dosdevice):
                os.unlink(self._dosdevice)
            os.symlink(self.slave, self._dosdevice)

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def wait_for_log(self, text):
        """Waits until the simulator has logged text, i.e. has seen that message arrive."""
        wait_until(lambda: text in self.log())
        expect(text in self.log(), "simulator never logged %r; log:\n%s" % (text, self.log()))

    def stop(self, timeout=10):
        """Ends the simulator (if the end message has not already); returns its summary."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            out, _ = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, _ = self.process.communicate()
        self._log.close()
        self.unmap()
        lines = [l for l in out.decode(errors="replace").splitlines() if l.startswith("messages:")]
        return dict(re.findall(r"([A-Za-z][A-Za-z ]*?): (\w+)", lines[-1] if lines else ""))

    def unmap(self):
        if self._dosdevice and os.path.lexists(self._dosdevice):
            os.unlink(self._dosdevice)

    def received(self):
        with open(self.record_path, "rb") as record:
            return record.read()


class Run:
    """The program running, its console output collected as it comes."""

    def __init__(self, context, args, cwd, stdin="pipe", env=None, wrapper=(), limits=None):
        """stdin: "pipe", "eof" or "non-blocking" (a pipe whose reading end does not wait);
        wrapper: a command that runs the program, strace for example."""
        environment = dict(os.environ, **(env or {}))
        environment.setdefault("LC_ALL", "C")
        self.context = context
        if stdin == "non-blocking":
            given, keyboard = os.pipe()
            os.set_blocking(given, False)
        else:
            given = subprocess.DEVNULL if stdin == "eof" else subprocess.PIPE
        # The program writes only to standard output; anything on standard error (Wine's own
        # complaints included) is kept apart so it cannot disturb the byte-for-byte comparison.
        with open(os.path.join(cwd, "stderr.txt"), "wb") as stderr:
            self.process = subprocess.Popen(
                list(wrapper) + context.program_command(args),
                cwd=cwd,
                stdin=given,
                stdout=subprocess.PIPE,
                stderr=stderr,
                env=environment,
                preexec_fn=(lambda: [resource.setrlimit(*limit) for limit in limits])
                if limits
                else None,
            )
        self._keyboard = self.process.stdin
        if stdin == "non-blocking":
            os.close(given)
            self._keyboard = os.fdopen(keyboard, "wb")
        self._output = bytearray()
        self._reader = threading.Thread(target=self._collect, daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        """Kills the program if it still runs: a failed case leaves none in an endless loop."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def _collect(self):
        for chunk in iter(lambda: self.process.stdout.read1(65536), b""):
            self._output += chunk

    def output(self):
        return self.context.normalise(bytes(self._output))

    def wait_for(self, text):
        """Waits until the console shows text; fails the case if it never does."""
        shown = lambda: text in split_prompt(self.output())[0]
        wait_until(lambda: shown() or not self._reader.is_alive())
        expect(shown(), "console never showed %r:\n%r" % (text, self.output()))

    def type(self, text):
        self._keyboard.write(text)
        self._keyboard.flush()

    def finish(self, timeout=RUN_TIMEOUT):
        """Waits for the program to end; returns (status, console output)."""
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("program did not end; it shows:\n%r" % self.output())
        self._reader.join(timeout=10)
        if self._keyboard:
            try:
                self._keyboard.close()
            except BrokenPipeError:
                pass
        return status, self.output()


class Session:
    """One case's workspace, port number, file and simulator, cleaned up whatever happens."""

    def __init__(self, context, *sim_options, blocks=3, sim=True):
        self.context = context
        self.workspace = workspace()
        self._lease, self.port = lease_port(context)
        self.blocks = numbered_blocks(blocks, seed=self.port)
        self.file = self.write("config.bin", make_config(self.blocks))
        self.sim = None
        if sim:
            self.sim = Simulator(context, self.port, *sim_options, workdir=self.workspace)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.sim:
            self.sim.stop()
        self._lease.close()

    def run(self, *extra, stdin="pipe", env=None, wrapper=(), limits=None):
        args = [self.file, b"-%d" % self.port] + list(extra)
        args = [a.decode() for a in args]
        return Run(self.context, args, self.workspace, stdin, env, wrapper, limits)

    def wait_for_hang_up(self):
        """Waits until the simulator has hung up and ended, and takes its COM mapping away with
        it, as Windows does for an unplugged adapter (under Wine the link would otherwise lead to
        whatever line gets the freed pseudo-terminal next)."""
        self.sim.process.wait(timeout=STARTUP_TIMEOUT)
        self.sim.unmap()

    def replug(self, *sim_options):
        """The adapter comes back: a new simulator on the same port, once the old one is gone.
        Returns what the old one had accepted."""
        self.wait_for_hang_up()
        self.sim.stop()
        accepted = self.sim.received()
        self.replugs = getattr(self, "replugs", 0) + 1
        self.sim = Simulator(self.context, self.port, *sim_options, workdir=self.workspace,
                             name="sim%d" % self.replugs)
        return accepted

    def write(self, name, data):
        with open(os.path.join(self.workspace, name), "wb") as out:
            out.write(data)
        return name.encode()

    def head(self, baud=115200):
        return BANNER_CP437 + settings_lines(self.file, self.port, baud)

    def finished(self, run):
        """Waits for the run to end; returns its status and what the console shows after the
        banner and the settings, which must show with exactly one prompt line."""
        status, output = run.finish()
        body, prompts = split_prompt(output)
        expect_equal(prompts, 1, "prompt lines in %r" % output)
        expect_equal(body[: len(self.head())], self.head(), "banner and settings")
        return status, body[len(self.head()) :]

    def expect_received(self, blocks=None):
        expected = b"".join(self.blocks if blocks is None else blocks)
        received = self.sim.received()
        expect_equal(len(received), len(expected), "bytes the device accepted")
        expect(received == expected, "the device accepted other bytes than the file's")

    def expect_end(self, run, console, status, received=None, **summary):
        """Checks how a run ended: the console after the settings (the bytes, or a function that
        checks them), the exit status, the simulator's summary (its keys with _ for spaces) and,
        unless received is None, what the device accepted (True: all the file's blocks)."""
        actual_status, body = self.finished(run)
        if callable(console):
            console(body)
        else:
            expect_equal(body, console, "console")
        expect_equal(actual_status, status, "exit status")
        counts = self.sim.stop()
        for key, value in summary.items():
            expect_equal(counts.get(key.replace("_", " ")), value, key.replace("_", " "))
        if received is not None:
            self.expect_received(None if received is True else received)
        return body
