"""Runs the real program against teq6-sim on a pseudo-terminal and collects what happened.

The same cases run against two targets: the Linux build, which finds the simulator through its
device-file table (COM33 is <device dir>/ttyUSB0), and the Windows build under Wine, which finds
it through a dosdevices link (comN -> the pseudo-terminal).
"""

import fcntl
import os
import re
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

# Generous bounds for things that should happen at once; only a hang ever reaches them.
STARTUP_TIMEOUT = 60
RUN_TIMEOUT = 240

# COM numbers handed out to cases; the unit tests use 90 and above. Wine maps COM1 by itself.
PORT_NUMBERS = range(2, 90)
PORT_FAMILIES = ((1, "ttyS"), (33, "ttyUSB"), (65, "ttyACM"), (97, "ttyAMA"))


VALGRIND = [
    "valgrind",
    "--quiet",
    "--error-exitcode=99",
    "--leak-check=full",
    "--errors-for-leak-kinds=definite,possible",
    "--suppressions=" + os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp"),
]


def check_word(payload):
    return (-sum(payload)) & 0xFFFF


def make_block(payload):
    payload = payload.ljust(PAYLOAD_SIZE, b"\0")
    return payload + struct.pack("<H", check_word(payload))


def make_config(blocks, trailer=END_MARKER):
    return HEADER + FILE_MAGIC + b"".join(blocks) + trailer


def numbered_blocks(count, seed=0):
    """Blocks whose payloads differ, so that a block sent twice or out of order shows."""
    blocks = []
    for index in range(count):
        state = (index * 7919 + seed * 104729 + 1) & 0xFFFFFFFF
        payload = bytearray()
        while len(payload) < PAYLOAD_SIZE:
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            payload += struct.pack("<I", state)
        blocks.append(make_block(bytes(payload[:PAYLOAD_SIZE])))
    return blocks


def device_file_name(number):
    for first, family in reversed(PORT_FAMILIES):
        if number >= first:
            return "%s%d" % (family, number - first)
    raise ValueError("no device file for COM%d" % number)


class Context:
    """Where things are: the builds, the device directory and the Wine prefix."""

    def __init__(self, target, linux_build, windows_build=None, wine_prefix=None, wine_run=None):
        # The program runs in a workspace of its own, so every path must stand on its own.
        absolute = lambda path: os.path.abspath(path) if path else path
        self.target = target
        self.linux_build = absolute(linux_build)
        self.windows_build = absolute(windows_build)
        self.wine_prefix = absolute(wine_prefix)
        self.wine_run = absolute(wine_run)
        self.device_dir = os.path.join(self.linux_build, "dev")
        os.makedirs(self.device_dir, exist_ok=True)
        self.sim = os.path.join(self.linux_build, "tools", "teq6-sim", "teq6-sim")

    @property
    def is_wine(self):
        return self.target == "wine"

    def program_command(self, args):
        if self.is_wine:
            return [self.wine_run, os.path.join(self.windows_build, "telvorn.exe")] + list(args)
        program = [os.path.join(self.linux_build, "telvorn")]
        if self.target == "valgrind":
            # Any memory error, or a block definitely or possibly lost, fails the run.
            program = VALGRIND + program
        return program + list(args)

    def normalise(self, output):
        # The Windows C runtime writes text-mode line ends.
        return output.replace(b"\r\n", b"\n") if self.is_wine else output


class PortLease:
    """A COM number that no other case running at the same time uses."""

    def __init__(self, context):
        self._file = None
        for number in PORT_NUMBERS:
            handle = open(os.path.join(context.device_dir, ".lease-%d" % number), "w")
            try:
                fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError:
                handle.close()
                continue
            self._file = handle
            self.number = number
            return
        raise RuntimeError("no free port number")

    def release(self):
        if self._file:
            self._file.close()
            self._file = None


class Simulator:
    """teq6-sim on a pseudo-terminal, reachable from the program as COM<number>."""

    def __init__(self, context, number, *options, workdir):
        self.context = context
        self.number = number
        self.record_path = os.path.join(workdir, "received.bin")
        self.log_path = os.path.join(workdir, "sim.log")
        link = os.path.join(context.device_dir, device_file_name(number))
        command = [context.sim, "--link", link, "--record", self.record_path] + list(options)
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
        self.summary_line = ""

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def wait_for_log(self, text, timeout=STARTUP_TIMEOUT):
        """Waits until the simulator has logged text, i.e. has seen that message arrive."""
        deadline = time.monotonic() + timeout
        while text not in self.log():
            if time.monotonic() > deadline:
                raise AssertionError("simulator never logged %r; it logged:\n%s" % (text, self.log()))
            time.sleep(0.05)

    def stop(self, timeout=10):
        """Ends the simulator (if the end message has not already) and reads its summary."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            out, _ = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, _ = self.process.communicate()
        self._log.close()
        if self._dosdevice and os.path.lexists(self._dosdevice):
            os.unlink(self._dosdevice)
        lines = [l for l in out.decode(errors="replace").splitlines() if l.startswith("messages:")]
        self.summary_line = lines[-1] if lines else ""
        return self.summary()

    def summary(self):
        return {k: v for k, v in re.findall(r"([A-Za-z][A-Za-z ]*?): (\w+)", self.summary_line)}

    def received(self):
        with open(self.record_path, "rb") as record:
            return record.read()


class Run:
    """The program running, its console output collected as it comes."""

    def __init__(self, context, args, cwd, stdin="pipe", env=None):
        environment = dict(os.environ)
        environment.setdefault("LC_ALL", "C")
        environment.update(env or {})
        self.context = context
        stdin_mode = subprocess.DEVNULL if stdin == "eof" else subprocess.PIPE
        self.started = time.monotonic()
        # The program writes only to standard output; anything on standard error (Wine's own
        # complaints included) is kept apart so it cannot disturb the byte-for-byte comparison.
        self.stderr_path = os.path.join(cwd, "stderr.txt")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                context.program_command(args),
                cwd=cwd,
                stdin=stdin_mode,
                stdout=subprocess.PIPE,
                stderr=stderr,
                env=environment,
            )
        self._output = bytearray()
        self._lock = threading.Condition()
        self._reader = threading.Thread(target=self._collect, daemon=True)
        self._reader.start()

    def _collect(self):
        while True:
            chunk = self.process.stdout.read1(65536)
            with self._lock:
                if not chunk:
                    self._lock.notify_all()
                    return
                self._output += chunk
                self._lock.notify_all()

    def output(self):
        with self._lock:
            return self.context.normalise(bytes(self._output))

    def wait_for(self, text, timeout=STARTUP_TIMEOUT):
        """Waits until the console shows text; fails the case if it never does."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while text not in split_prompt(self.context.normalise(bytes(self._output)))[0]:
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self._reader.is_alive()):
                    raise AssertionError(
                        "console never showed %r; it shows:\n%r" % (text, bytes(self._output))
                    )
                self._lock.wait(min(left, 0.2))

    def type(self, text):
        self.process.stdin.write(text)
        self.process.stdin.flush()

    def finish(self, timeout=RUN_TIMEOUT):
        """Waits for the program to end; returns (status, console output)."""
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("program did not end; it shows:\n%r" % self.output())
        self._reader.join(timeout=10)
        if self.process.stdin:
            try:
                self.process.stdin.close()
            except BrokenPipeError:
                pass
        self.seconds = time.monotonic() - self.started
        return status, self.output()


def settings_lines(file_name, port, baud=115200):
    return b"File name: %s\nBaud rate: %d\nCOM Port: %d\n" % (file_name, baud, port)


def split_prompt(output):
    """Removes the watcher's prompt, whose place among the first download lines is not fixed."""
    return output.replace(PROMPT, b"", 1), output.count(PROMPT)


class Workspace:
    """A temporary directory per case, kept when the case fails so it can be looked at."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="telvorn-e2e-")

    def write(self, name, data):
        with open(os.path.join(self.path, name), "wb") as out:
            out.write(data)
        return name.encode()
