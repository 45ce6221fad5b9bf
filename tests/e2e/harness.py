"""The real program against teq6-sim on a pseudo-terminal. A case raises AssertionError or Skip."""

import argparse, contextlib, fcntl, os, pathlib, pty, random, re, select, shlex  # noqa: E401
import shutil, signal, struct, subprocess, tempfile, termios, threading, time  # noqa: E401

PAYLOAD_SIZE = 2054
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
SETTINGS = b"File name: %s\nBaud rate: %d\nCOM Port: %d\n"  # file name, baud rate, port
ATTEMPT = b"\nWriting block %d of %d, attempt %d: "  # block, blocks, attempt
SUCCESS = b"\n\nSuccessfully loaded data file '%s' to the TEQ6"

# Generous bounds for things that should happen at once; only a hang ever reaches them.
STARTUP_TIMEOUT = 60
RUN_TIMEOUT = 240
# After the user's x: the exchange in progress (at most a block's 10 s wait) and no more.
ABORT_TIMEOUT = 30

# COM numbers handed out to cases; the unit tests use 90 and above. Wine maps COM1 by itself.
PORT_NUMBERS = range(2, 90)
PORT_FAMILIES = ((1, "ttyS"), (33, "ttyUSB"), (65, "ttyACM"), (97, "ttyAMA"))

SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")
VALGRIND = ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
            "--errors-for-leak-kinds=definite,possible", "--suppressions=" + SUPPRESSIONS]
# As a user without root's way past permissions, whoever runs the tests. The build may lie in a
# folder only its owner can enter (a clone in mktemp -d); a device's group still counts.
AS_NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
             "--inh-caps=+dac_read_search", "--ambient-caps=+dac_read_search"]
CAN_BE_NOBODY = os.geteuid() == 0 and shutil.which("setpriv") is not None

CASES = {}


class Skip(Exception):
    pass


def case(function=None, *, targets=("linux", "wine")):
    def register(function):
        function.targets = targets
        CASES[function.__name__] = function
        return function
    return register(function) if function else register


def family_name(number):  # "ttyUSB0" for 33
    first, family = [f for f in PORT_FAMILIES if f[0] <= number][-1]
    return "%s%d" % (family, number - first)


def relink(path, target=None):  # with no target, only removes path
    if os.path.lexists(path):
        os.unlink(path)
    if target:
        os.symlink(target, path)
    return path


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def expect_equal(actual, expected, what):
    expect(actual == expected, "%s:\nexpected %r\nactual   %r" % (what, expected, actual))


def expect_in(part, whole, what):
    expect(part in whole, "%r not in %s:\n%r" % (part, what, whole))


@contextlib.contextmanager
def holding(device, flags=0):  # a terminal held open, as another program would
    descriptor = os.open(device, os.O_RDWR | os.O_NOCTTY | flags)
    try:
        yield descriptor
    finally:
        os.close(descriptor)


@contextlib.contextmanager
def labelled(row):  # names the row of a table whose check failed
    try:
        yield
    except AssertionError as failure:
        raise AssertionError("%s: %s" % (row, failure))


def make_block(payload):
    payload = payload[:PAYLOAD_SIZE].ljust(PAYLOAD_SIZE, b"\0")
    return payload + struct.pack("<H", -sum(payload) & 0xFFFF)


def make_config(blocks):
    return HEADER + FILE_MAGIC + b"".join(blocks) + END_MARKER


def numbered_blocks(count, seed=0):
    """Blocks that differ (one sent twice shows); the first two begin like the end and connect."""
    starts = [bytes([0, 0, 0, 0xFF, 0, 0]), FILE_MAGIC] + [b""] * count
    payload = lambda index: random.Random(seed * 100003 + index).randbytes(PAYLOAD_SIZE)
    return [make_block(starts[index] + payload(index)) for index in range(count)]


def split_prompt(output):
    """Removes the watcher's prompt, whose place among the first download lines is not fixed."""
    return output.replace(PROMPT, b"", 1), output.count(PROMPT)


def download_body(count, silent_connects=0, attempts=None, upto=None):
    """The console from "Waiting for connection" to the last attempt at block upto (or the last)."""
    body = WAITING + b"." * silent_connects + PREPARING + b"."
    for block in range(1, (count if upto is None else upto) + 1):
        for attempt in range(1, (attempts or {}).get(block, 1) + 1):
            body += ATTEMPT % (block, count, attempt)
    return body


def wait_until(condition, timeout=STARTUP_TIMEOUT):
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.05)


class Context:
    """The builds, device folder and Wine prefix; emulator runs the build's programs (qemu-user)."""

    def __init__(self, options):
        # The program runs in a workspace of its own, so every path must stand on its own.
        for name in ("linux_build", "windows_build", "wine_prefix", "wine_run"):
            setattr(self, name, getattr(options, name) and os.path.abspath(getattr(options, name)))
        self.target, self.is_wine = options.target, options.target == "wine"
        self.emulator = shlex.split(options.emulator or "")
        if self.is_wine:  # wine-run's own default is the Windows build's prefix
            os.environ["TELVORN_WINEPREFIX"] = self.wine_prefix
        self.device_dir = os.path.join(self.linux_build, "dev")
        os.makedirs(self.device_dir, exist_ok=True)
        # A teq6-sim command line of the caller's (a native one for a cross build), or the build's.
        self.sim = shlex.split(options.simulator or "") or [
            os.path.join(self.linux_build, "tools", "teq6-sim", "teq6-sim")]
        self.sanitized, self.sysfs_dir = bool(options.sanitize), options.sysfs_dir or "/sys"

    def program_command(self, args):
        if self.is_wine:
            return [self.wine_run, os.path.join(self.windows_build, "telvorn.exe")] + list(args)
        program = self.emulator + [os.path.join(self.linux_build, "telvorn")] + list(args)
        return VALGRIND + program if self.target == "valgrind" else program

    def dosdevice(self, number, device=None):  # no device: unmaps the COM number
        return relink(os.path.join(self.wine_prefix, "dosdevices", "com%d" % number), device)

    def normalise(self, output):  # the Windows C runtime writes text-mode line ends
        return output.replace(b"\r\n", b"\n") if self.is_wine else output


def lease_port(context, wanted=None):
    """A COM number (wanted, waited for, or any free) no other case uses while its lock is open."""
    for number in [wanted] if wanted else PORT_NUMBERS:
        lease = open(os.path.join(context.device_dir, ".lease-%d" % number), "w")
        try:
            fcntl.flock(lease, fcntl.LOCK_EX | (0 if wanted else fcntl.LOCK_NB))
            return lease, number
        except OSError:
            lease.close()
    raise RuntimeError("no free port number")


def workspace():  # kept when the case fails, to be looked at
    return tempfile.mkdtemp(prefix="telvorn-e2e-")


class Simulator:
    """teq6-sim on a pseudo-terminal, reachable from the program as COM<number>."""

    def __init__(self, context, number, *options, workdir, name="sim"):
        self.record_path = os.path.join(workdir, name + "-received.bin")
        self.log_path = os.path.join(workdir, name + ".log")
        link = os.path.join(context.device_dir, family_name(number))
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            context.sim + ["--link", link, "--record", self.record_path] + list(options),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self._log)
        ready = self.process.stdout.readline().decode(errors="replace").strip()
        if not ready.startswith("READY "):
            self.process.kill()
            raise RuntimeError("simulator did not start: %r\n%s" % (ready, self.log()))
        self.slave = ready.split(" ", 1)[1]
        self.unmap = lambda: context.is_wine and context.dosdevice(number)
        if context.is_wine:
            context.dosdevice(number, self.slave)

    def log(self):
        return pathlib.Path(self.log_path).read_bytes().decode(errors="replace")

    def wait_for_log(self, text):
        wait_until(lambda: text in self.log())
        expect_in(text, self.log(), "the simulator's log")

    def stop(self):  # returns the simulator's summary
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            out, _ = self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, _ = self.process.communicate()
        self._log.close()
        self.unmap()
        lines = [l for l in out.decode(errors="replace").splitlines() if l.startswith("messages:")]
        return dict(re.findall(r"([A-Za-z][A-Za-z ]*?): (\w+)", lines[-1] if lines else ""))

    def received(self):
        return pathlib.Path(self.record_path).read_bytes()


class Run:
    """The program running, its console output collected as it comes."""

    def __init__(self, context, args, cwd, env=None, wrapper=(), preexec=None):
        environment = {**os.environ, "LC_ALL": "C", **(env or {})}
        self.context, self.started = context, time.monotonic()
        # Standard error (Wine's complaints too) is kept apart from the byte-for-byte console.
        self.stderr_path = os.path.join(cwd, "stderr.txt")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                list(wrapper) + context.program_command(args), cwd=cwd, stdin=subprocess.PIPE,
                stdout=subprocess.PIPE, stderr=stderr, env=environment, preexec_fn=preexec)
        self._output = bytearray()
        self._reader = threading.Thread(target=self._collect, daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def _collect(self):
        for chunk in iter(lambda: self.process.stdout.read1(65536), b""):
            self._output += chunk

    def output(self):
        return self.context.normalise(bytes(self._output))

    def notes(self):  # standard error: the program's own lines, and Wine's complaints
        return pathlib.Path(self.stderr_path).read_bytes().replace(b"\r\n", b"\n")

    def expect_note(self, text, what="standard error"):
        expect_in(text, self.notes(), what)

    def wait_for(self, text):
        shown = lambda: text in split_prompt(self.output())[0]
        wait_until(lambda: shown() or not self._reader.is_alive())
        expect(shown(), "console never showed %r:\n%r" % (text, self.output()))

    def type(self, text):
        self.process.stdin.write(text)
        self.process.stdin.flush()

    def finish(self, timeout=RUN_TIMEOUT):
        """Waits for the end; returns (status, console). Keeps the CPU time, Wine's child's too."""
        deadline = threading.Timer(timeout, self.process.kill)
        deadline.start()
        _, status, usage = os.wait4(self.process.pid, 0)
        deadline.cancel()
        self.elapsed = time.monotonic() - self.started
        self.cpu_seconds = usage.ru_utime + usage.ru_stime
        self.process.returncode = os.waitstatus_to_exitcode(status)
        expect(self.elapsed < timeout, "program did not end; it shows:\n%r" % self.output())
        self._reader.join(timeout=10)
        with contextlib.suppress(BrokenPipeError):
            self.process.stdin.close()
        return self.process.returncode, self.output()


# What Wine's console writes to a terminal: text, line ends and control sequences.
CONSOLE_TOKEN = re.compile(r"\x1b\[([0-9;?]*)([@-~])|\r|\n|.")


def render(output):
    """The lines a terminal shows, once Wine's console's cursor moves and erasures are done."""
    screen, row, column = {}, 0, 0
    for token in CONSOLE_TOKEN.finditer(output):
        text, (numbers, final) = token.group(0), token.group(1, 2)
        if text == "\r":
            column = 0
        elif text == "\n":
            row += 1
        elif final == "C":
            column += int(numbers or 1)
        elif final == "K":
            screen = {cell: c for cell, c in screen.items() if cell[0] != row or cell[1] < column}
        elif not text.startswith("\x1b"):
            screen[(row, column)] = text
            column += 1
    lines = [[" "] * (1 + max([c for r, c in screen] + [0])) for _ in range(row + 1)]
    for (r, c), character in screen.items():
        lines[r][c] = character
    return ["".join(line).rstrip() for line in lines]


def on_terminal(command, cwd, locale):
    """Runs a command on a terminal of its own, as a user would; returns what the screen shows."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 120, 0, 0))
    process = subprocess.Popen(command, cwd=cwd, stdin=slave, stdout=slave, stderr=slave,
                               env=dict(os.environ, LC_ALL=locale))
    os.close(slave)
    output = b""
    with contextlib.suppress(OSError):  # the terminal is closed once every process on it has ended
        while select.select([master], [], [], RUN_TIMEOUT)[0] and (chunk := os.read(master, 65536)):
            output += chunk
    os.close(master)
    process.wait(timeout=RUN_TIMEOUT)
    return render(output.decode("utf-8", errors="replace"))


class Session:
    """One case's workspace, port number, file and simulator, cleaned up whatever happens."""

    def __init__(self, context, *sim_options, blocks=3):
        self.context, self.workspace = context, workspace()
        self._lease, self.port = lease_port(context)
        self.blocks = numbered_blocks(blocks, seed=self.port)
        self.file = self.write("config.bin", make_config(self.blocks))
        self.sim = Simulator(context, self.port, *sim_options, workdir=self.workspace)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.sim.stop()
        self._lease.close()

    def run(self, *extra, **options):  # options: Run's env, wrapper and preexec
        args = [a.decode() for a in [self.file, b"-%d" % self.port] + list(extra)]
        return Run(self.context, args, self.workspace, **options)

    def write(self, name, data):
        pathlib.Path(self.workspace, name).write_bytes(data)
        return name.encode()

    def head(self, baud=115200):
        return BANNER_CP437 + SETTINGS % (self.file, baud, self.port)

    def expect_end(self, run, console, status, received=None, timeout=RUN_TIMEOUT, **summary):
        """console: bytes after the settings, a check of them, or None when standard output is
        closed; summary: the simulator's counts (_ for spaces); received: the blocks the device
        accepted (True: the file's)."""
        actual_status, output = run.finish(timeout)
        body, prompts = split_prompt(output)
        if console is not None:
            expect_equal(prompts, 1, "prompt lines in %r" % output)
            expect_equal(body[: len(self.head())], self.head(), "banner and settings")
            body = body[len(self.head()) :]
            console(body) if callable(console) else expect_equal(body, console, "console")
        expect_equal(actual_status, status, "exit status")
        counts = self.sim.stop()
        for key, value in summary.items():
            expect_equal(counts.get(key.replace("_", " ")), value, key.replace("_", " "))
        if received is not None:
            expected = b"".join(self.blocks if received is True else received)
            accepted = self.sim.received()
            expect_equal(len(accepted), len(expected), "bytes the device accepted")
            expect(accepted == expected, "the device accepted other bytes than the file's")
        return body


def main(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("case", nargs="?")
    parser.add_argument("--list", action="store_true", help="print the target's case names")
    parser.add_argument("--target", choices=("linux", "wine", "valgrind"), default="linux")
    for option in ("linux-build", "windows-build", "wine-prefix", "wine-run", "emulator",
                   "simulator", "sanitize", "sysfs-dir"):  # as the build's CMake cache says
        parser.add_argument("--" + option)
    options = parser.parse_args()
    if options.list:
        names = [name for name, function in CASES.items() if options.target in function.targets]
        print(";".join(sorted(names)))
        return 0
    started = time.monotonic()
    try:
        CASES[options.case](Context(options))
    except Skip as reason:
        print("SKIPPED %s on %s: %s" % (options.case, options.target, reason))
        return 0
    print("PASSED %s on %s in %.1f s" % (options.case, options.target, time.monotonic() - started))
    return 0
