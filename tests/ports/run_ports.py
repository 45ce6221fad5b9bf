#!/usr/bin/env python3
"""Runs one telvorn-ports case (or lists them), ports made in the build's dev and sys folders."""

import contextlib, fcntl, grp, os, pathlib, re, shutil, signal, subprocess, sys  # noqa: E401
import termios

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import (  # noqa: E402
    AS_NOBODY, CAN_BE_NOBODY, RUN_TIMEOUT, Skip, case, expect, expect_equal, family_name, holding,
    lease_port, main, relink)

HINT = "To use ports of group dialout, join it: sudo usermod -aG dialout $USER, then log in again."


class Ports(contextlib.ExitStack):
    """The tool of one build, and the ports a case makes for it; all removed again at the end."""

    def __init__(self, context):
        super().__init__()
        self.context, self.device_dir = context, context.device_dir
        self.sysfs_dir = context.sysfs_dir
        tool = os.path.join("tools", "telvorn-ports", "telvorn-ports")
        self.command = ([context.wine_run, os.path.join(context.windows_build, tool + ".exe")]
                        if context.is_wine else
                        context.emulator + [os.path.join(context.linux_build, tool)])

    def lease(self, number=None):
        lease, number = lease_port(self.context, number)
        self.callback(lease.close)
        return number

    def link(self, name, target):
        path = os.path.join(self.device_dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.callback(os.unlink, path)
        return relink(path, target)

    def place(self, name, make):
        """Something that is no device, made by make(path), at name's place in the device folder."""
        path = os.path.join(self.device_dir, name)
        remove = lambda: os.rmdir(path) if os.path.isdir(path) else relink(path)
        remove()  # what an earlier run may have left
        make(path)
        self.callback(remove)
        return path

    def terminal(self, name=None):
        """A pseudo-terminal, linked into the device folder as name if given; returns its path."""
        master, slave = os.openpty()
        slave_name = os.ttyname(slave)
        os.close(slave)
        self.callback(os.close, master)
        return self.link(name, slave_name) if name else slave_name

    def sysfs(self, path, text=None, link=None):
        """A file with text in the sysfs folder, or a link to another path there (only the last
        part of a "driver" or "subsystem" link counts, so those may lead nowhere)."""
        full = os.path.join(self.sysfs_dir, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if link:
            relink(full, os.path.join(self.sysfs_dir, link))
        else:
            pathlib.Path(full).write_text(text + "\n")

    def run(self, *args, as_nobody=False):
        command = (AS_NOBODY if as_nobody else []) + self.command + list(args)
        # Text mode also reads the Windows C runtime's line ends as "\n".
        done = subprocess.run(command, capture_output=True, text=True, timeout=RUN_TIMEOUT)
        return done.returncode, done.stdout, done.stderr


def line_for(output, device):
    lines = [l for l in output.splitlines() if re.search(r"\s%s(\s|$)" % re.escape(device), l)]
    expect_equal(len(lines), 1, "lines naming %s in:\n%s" % (device, output))
    return lines[0]


@case(targets=("linux",))
def listing_and_details(context):
    """Every kind of port and state in the listing, then in detail by every name it may have."""
    if os.path.normpath(context.sysfs_dir) == "/sys":
        raise Skip("this build reads the real /sys (configure with -DTELVORN_SYSFS_DIR)")
    with Ports(context) as ports:
        for top in ("class", "devices"):  # no other case uses the build's sysfs folder
            ports.callback(shutil.rmtree, os.path.join(ports.sysfs_dir, top), ignore_errors=True)
        uart, usb, acm = [ports.terminal(family_name(ports.lease(n))) for n in (5, 33, 68)]
        xr = ports.terminal("ttyXRUSB0")
        kinds = [  # what stands at a port's place: made by, its state
            (lambda path: open(path, "w").close(), "a regular file, not a serial port"),
            (os.mkfifo, "a FIFO, not a serial port"),
            (os.mkdir, "a directory, not a serial port"),
            (lambda path: os.symlink("gone", path), "leads to gone, which does not exist"),
        ]
        not_ports = []  # number, path, state
        for make, state in kinds:
            number = ports.lease()
            not_ports.append((number, ports.place(family_name(number), make), state))
        empty = ports.terminal(family_name(ports.lease()))
        ports.sysfs(os.path.join("class", "tty", os.path.basename(empty), "type"), text="0")
        by_id = ports.link("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0",
                           "../../ttyUSB0")
        unplugged = ports.link("serial/by-id/usb-Prolific_PL2303-if00-port0", "../../ttyUSB31")
        usb_ports = [  # tty, its USB device, the tty's device below that, driver, attributes
            ("ttyUSB0", "devices/pci0000:00/usb1/1-2", "1-2:1.0/ttyUSB0", "ftdi_sio",
             {"idVendor": "0403", "idProduct": "6001", "manufacturer": "FTDI",
              "product": "FT232R USB UART", "serial": "A10K5XYZ"}),
            ("ttyXRUSB0", "devices/pci0000:00/usb1/1-3", "1-3:1.0", "xr_usb_serial_common",
             {"idVendor": "04e2", "idProduct": "1410", "product": "XR21V\x1b[2J\x9b1m"}),
        ]
        for tty, usb_device, tty_device, driver, attributes in usb_ports:
            for name, value in attributes.items():
                ports.sysfs(os.path.join(usb_device, name), text=value)
            device = os.path.join(usb_device, tty_device)
            ports.sysfs(os.path.join(device, "driver"), link="bus/usb/drivers/" + driver)
            ports.sysfs(os.path.join("class", "tty", tty, "device"), link=device)
        # A UART as Linux 6.5 shows it: the port below its controller, both on serial-base, below
        # the hardware whose driver counts.
        uart_port = "devices/pnp0/00:04/00:04:0/00:04:0.0"
        ports.sysfs("devices/pnp0/00:04/driver", link="bus/pnp/drivers/serial")
        for device in (os.path.dirname(uart_port), uart_port):
            ports.sysfs(os.path.join(device, "subsystem"), link="bus/serial-base")
        ports.sysfs(os.path.join("class", "tty", os.path.basename(uart), "device"), link=uart_port)
        forked, opened, answered, stale = [
            ports.terminal(family_name(ports.lease())) for _ in range(4)]
        # This process holds one port as telvorn does (its lock, exclusive mode), and the other end
        # of one it merely has open, as the simulator does; a child has one open without a lock.
        holder = ports.enter_context(holding(acm))
        fcntl.flock(holder, fcntl.LOCK_EX)
        fcntl.ioctl(holder, termios.TIOCEXCL)
        ports.callback(os.close, os.open(answered, os.O_RDWR | os.O_NOCTTY))
        # Exclusive mode that a killed telvorn left behind: no lock, a program that merely has the
        # port open is no holder.
        with holding(stale) as left:
            fcntl.ioctl(left, termios.TIOCEXCL)
            opener = subprocess.Popen(["sleep", "600"], stdin=left)
        with holding(opened) as line:
            reader = subprocess.Popen(["sleep", "600"], stdin=line)
        for child in (opener, reader):
            ports.callback(child.kill)
        comm = pathlib.Path("/proc/self/comm").read_text().strip()
        this_process = "PID %d (%s)" % (os.getpid(), comm)
        # A program that locks the port and goes on in the background: the lock's owner in
        # /proc/locks is the shell, which has ended.
        sleeper = int(subprocess.run(
            ["sh", "-c", 'exec 9<>"$1"; flock -x 9; sleep 600 >/dev/null 2>&1 & echo $!', "sh",
             forked], stdout=subprocess.PIPE, check=True).stdout)
        ports.callback(os.kill, sleeper, signal.SIGTERM)

        status, output, _ = ports.run()
        expect_equal(status, 0, "exit status of the listing")
        ftdi = "ftdi_sio, USB 0403:6001, FTDI, FT232R USB UART, serial A10K5XYZ, " + by_id
        held = "held by another program: " + this_process
        rows = [(path, "COM%d" % number, re.escape(state)) for number, path, state in not_ports]
        rows += [  # device, its COM number (a pattern), the rest of its line (a pattern)
            (usb, "COM33", r"free +\[%s\]" % re.escape(ftdi)),
            (acm, "COM68", re.escape(held)),
            (forked, r"COM\d+", r"held by another program: PID %d \(sleep\)" % sleeper),
            (opened, r"COM\d+", r"open in another program: PID %d \(sleep\)" % reader.pid),
            (answered, r"COM\d+", r"free"),
            (uart, "COM5", r"free +\[serial\]"),
            (xr, "-", r"not reachable by telvorn \(no COM number\) +"
                      r"\[xr_usb_serial_common, USB 04e2:1410, XR21V\?\[2J\?\?1m\]"),
        ]
        if not context.emulator:  # qemu-user cannot tell exclusive mode (no TIOCGEXCL)
            rows.append((stale, r"COM\d+", re.escape("in exclusive mode, but no program holds its "
                                                      "lock; open in PID %d (sleep)" % opener.pid)))
        for device, number, state in rows:
            line = line_for(output, device)
            expect(re.fullmatch(r"%s +%s +%s" % (number, re.escape(device), state), line),
                   "line of %s:\n%r" % (device, line))
        expect(empty not in output, "%s listed:\n%s" % (empty, output))
        order = [output.index(line_for(output, device)) for device in (usb, acm, xr)]
        expect_equal(order, sorted(order), "COM order, then the ports with no number")
        columns = {re.match(r"\S+ +\S+ +", line).end() for line in output.splitlines()
                   if line.startswith(("COM", "-"))}
        expect_equal(len(columns), 1, "columns where the states begin")

        usb_detail = ("COM33: %s\n  state:        free\n  driver:       ftdi_sio\n  USB:          "
                      "0403:6001\n  manufacturer: FTDI\n  product:      FT232R USB UART\n"
                      "  serial:       A10K5XYZ\n  by-id:        %s\n" % (usb, by_id))
        details = [(name, 0, usb_detail) for name in ("COM33", usb, "ttyUSB0", by_id)]
        details += [  # name given, exit status, the detail's beginning
            ("COM68", 0, "COM68: %s\n  state:        %s\n" % (acm, held)),
            ("ttyXRUSB0", 0, "%s (no COM number)\n" % xr),
            (unplugged, 1, "%s: %s leads to ../../ttyUSB31 (COM64), which does not exist\n"
                           % (unplugged, unplugged)),
        ]
        for number, path, state in not_ports:  # by their paths, which lead to their numbers
            is_ = "" if state.startswith("leads") else "is "
            details.append((path, 1, "%s: %s %s%s\n" % (path, path, is_, state)))
        for name, code, beginning in details:
            status, output, _ = ports.run(name)
            expect_equal((status, output[:len(beginning)]), (code, beginning), "detail of " + name)


@case(targets=("linux",))
def command_line(context):
    with Ports(context) as ports:
        missing = os.path.join(ports.device_dir, "no-such-dir", "ttyUSB9")
        # A state cut at its 512 bytes, never past them nor inside a character: a path of even
        # length puts a 2-byte character of the link's target across the last byte.
        gone = ports.link("g" * (1 + len(ports.device_dir) % 2), "\u00e9" * 300)
        rows = [  # arguments, exit status, standard output, standard error (regular expressions)
            (["--help"], 0, r"usage: telvorn-ports \[PORT\]\n(.+\n)+", ""),
            (["-h"], 0, r"usage: telvorn-ports \[PORT\]\n(.+\n)+", ""),
            (["COM33", "COM34"], 2, "", r"usage: telvorn-ports \[PORT\]\n(.+\n)+"),
            (["--bogus"], 2, "", r"usage: (.+\n)+"),
            ([""], 2, "", r"usage: (.+\n)+"),
            (["COM200"], 1, r"COM200: no device has this number on Linux .*\n", ""),
            (["/"], 1, "/: / is a directory, not a serial port\n", ""),
            ([missing], 1, "{0}: {0} does not exist\n".format(re.escape(missing)), ""),
            # What only stands for another terminal, or is none, is no port.
            (["/dev/null"], 1, "/dev/null: /dev/null is a device that is no terminal, not a serial "
                               "port\n", ""),
            (["/dev/ptmx"], 1, "/dev/ptmx: /dev/ptmx is the pseudo-terminal multiplexer, not a "
                               "serial port\n", ""),
            ([gone], 1, re.escape("%s: %s leads to %s,\n" % (gone, gone, "\u00e9" * (250 - len(
                gone) // 2))), ""),
            # A name's control bytes are never echoed to the terminal.
            (["/x\x1b[2J"], 1, re.escape("/x?[2J: /x?[2J does not exist\n"), ""),
        ]
        for args, code, out, err in rows:
            status, output, errors = ports.run(*args)
            expect_equal(status, code, "exit status for %r" % args)
            expect(re.fullmatch(out, output, re.S), "output for %r:\n%r" % (args, output))
            expect(re.fullmatch(err, errors, re.S), "errors for %r:\n%r" % (args, errors))


@case(targets=("linux",))
def no_permission(context):
    """A user outside the device's group is told which group to join; a file is still a file."""
    if not CAN_BE_NOBODY:
        raise Skip("needs root and setpriv (util-linux) to run as nobody")
    with Ports(context) as ports:
        status, _, errors = ports.run("--help", as_nobody=True)
        if status != 0:
            raise Skip("setpriv cannot run the tool as nobody: %s" % errors.strip())
        plain_number = ports.lease()
        plain = ports.place(family_name(plain_number), lambda path: open(path, "w").close())
        detail = "COM%d: %s is a regular file, not a serial port\n" % (plain_number, plain)
        expect_equal(ports.run("COM%d" % plain_number, as_nobody=True)[:2], (1, detail),
                     "a file's status and detail")
        numbers = [ports.lease() for _ in range(2)]  # two ports of the group: one hint for both
        links = [ports.terminal(family_name(number)) for number in numbers]
        for link in links:
            os.chown(os.readlink(link), 0, grp.getgrnam("dialout").gr_gid)
            os.chmod(os.readlink(link), 0o660)
        detail = "COM%d: %s\n  state:        no permission (group dialout)\n%s\n" % (
            numbers[0], links[0], HINT)
        expect_equal(ports.run("COM%d" % numbers[0], as_nobody=True)[:2], (0, detail), "detail")
        status, output, _ = ports.run(as_nobody=True)
        for number, link in zip(numbers, links):
            line = line_for(output, link)
            pattern = r"COM%d +%s +no permission \(group dialout\)" % (number, re.escape(link))
            expect(re.fullmatch(pattern, line), "line: %r" % line)
        # Other cases' ports may add hints of their own.
        expect(output.count(HINT) == 1 and output.index(HINT) > output.index(line),
               "the hint once, after the ports:\n%s" % output)


@case(targets=("wine",))
def mapped_ports(context):
    """Mapped COM numbers listed free and in detail, named by the Setup API's Ports device; one
    numbered past COM256 listed as not reachable."""
    named, unnamed = 211, 212
    friendly_name = "Test Serial Port (COM%d)" % named
    with Ports(context) as ports:
        for number in (named, unnamed):
            context.dosdevice(number, ports.terminal())
            ports.callback(context.dosdevice, number)
        helper = os.path.join(context.windows_build, "tests", "fake_port_device.exe")
        for number, name in ((named, friendly_name), (300, "Far Port (COM300)")):
            subprocess.run([context.wine_run, helper, str(number), name], timeout=RUN_TIMEOUT,
                           check=True)

        status, output, _ = ports.run()
        expect_equal(status, 0, "exit status of the listing")
        line = line_for(output, r"\\.\COM300")
        expect(re.fullmatch(r"- +\\\\\.\\COM300 +not reachable by telvorn \(COM numbers above 256\)"
                            r"  \[Far Port \(COM300\)\]", line), "line: %r" % line)
        for number, ending in ((named, "free  [%s]" % friendly_name), (unnamed, "free")):
            line = line_for(output, r"\\.\COM%d" % number)
            expect(re.fullmatch(r"COM%d +\\\\\.\\COM%d +%s" % (number, number, re.escape(ending)),
                                line), "line: %r" % line)
        detail = "COM%d: \\\\.\\COM%d\n  state:        free\n  name:         %s\n" % (
            named, named, friendly_name)
        expect_equal(ports.run("COM%d" % named)[:2], (0, detail), "status and detail")
        expect_equal(ports.run("COM213")[0], 1, "exit status for a port that is not mapped")


if __name__ == "__main__":
    sys.exit(main(__doc__))
