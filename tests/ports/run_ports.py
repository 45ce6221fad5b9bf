#!/usr/bin/env python3
"""Runs one telvorn-ports case (or lists them): run_ports.py [options] CASE | --list TARGET

On Linux the tool is the test build's, whose device folder and sysfs folder are the build's own:
pseudo-terminals are linked there under the table's names, and fake USB devices described. Under
Wine, COM numbers of the prefix are mapped to pseudo-terminals through dosdevices.
"""

import argparse
import contextlib
import fcntl
import grp
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import (  # noqa: E402
    PORT_FAMILIES, WAITING, Context, Session, Skip, expect, expect_equal, lease_port)

CASES = {}
NOBODY = 65534
RUN_TIMEOUT = 120
HINT = "To use ports of group dialout, join it: sudo usermod -aG dialout $USER, then log in again."


def case(target):
    def register(function):
        CASES[function.__name__] = (target, function)
        return function
    return register


def family_name(number):
    first, family = [f for f in PORT_FAMILIES if f[0] <= number][-1]
    return "%s%d" % (family, number - first)


class Ports:
    """The tool of one build, and the ports a case makes for it; all removed again at the end."""

    def __init__(self, options):
        self.context = Context("linux", options.linux_build, emulator=options.emulator,
                               simulator=options.simulator)
        self.device_dir = self.context.device_dir
        self.sysfs_dir = options.sysfs_dir
        self.tool = os.path.join(options.linux_build, "tools", "telvorn-ports", "telvorn-ports")
        self.stack = contextlib.ExitStack()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stack.close()

    def lease(self, number=None):
        """A COM number no end-to-end case uses meanwhile: the given one (waiting for it), or any."""
        if number is None:
            lease, number = lease_port(self.context)
        else:
            lease = open(os.path.join(self.device_dir, ".lease-%d" % number), "w")
            fcntl.flock(lease, fcntl.LOCK_EX)
        self.stack.callback(lease.close)
        return number

    def link(self, name, target):
        path = os.path.join(self.device_dir, name)
        if os.path.lexists(path):
            os.unlink(path)
        os.symlink(target, path)
        self.stack.callback(os.unlink, path)
        return path

    def terminal(self, name):
        """A pseudo-terminal linked into the device folder as name; returns (link, slave)."""
        master, slave = os.openpty()
        slave_name = os.ttyname(slave)
        os.close(slave)
        self.stack.callback(os.close, master)
        return self.link(name, slave_name), slave_name

    def hold(self, path):
        """Another process that opens path and holds its lock as telvorn does; returns its pid."""
        holder = subprocess.Popen(
            [sys.executable, "-c", "import fcntl, os, sys\n"
             "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
             "fcntl.flock(fd, fcntl.LOCK_EX)\nprint('held', flush=True)\nsys.stdin.read()", path],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.stack.callback(holder.wait)
        self.stack.callback(holder.stdin.close)
        expect_equal(holder.stdout.readline(), b"held\n", "the holder's word")
        return holder.pid

    def sysfs_file(self, path, text):
        full = os.path.join(self.sysfs_dir, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as out:
            out.write(text + "\n")
        return full

    def sysfs_link(self, path, target):
        full = os.path.join(self.sysfs_dir, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if os.path.lexists(full):
            os.unlink(full)
        os.symlink(os.path.join(self.sysfs_dir, target), full)

    def usb_device(self, tty, usb, tty_device, driver, attributes):
        """A tty on a USB device, as the kernel shows it: class/tty/<tty>/device leads to the
        port's device, which has a driver, somewhere below the USB device's attributes."""
        self.stack.callback(shutil.rmtree, os.path.join(self.sysfs_dir, "class", "tty", tty))
        for name, value in attributes.items():
            self.sysfs_file(os.path.join(usb, name), value)
        device = os.path.join(usb, tty_device)
        os.makedirs(os.path.join(self.sysfs_dir, "bus", "usb", "drivers", driver), exist_ok=True)
        os.makedirs(os.path.join(self.sysfs_dir, device), exist_ok=True)
        self.sysfs_link(os.path.join(device, "driver"), os.path.join("bus/usb/drivers", driver))
        self.sysfs_link(os.path.join("class", "tty", tty, "device"), device)

    def run(self, *args, as_user=None):
        command = self.context.emulator + [self.tool] + list(args)
        if as_user is not None:
            command = ["setpriv", "--reuid=%d" % as_user, "--regid=%d" % as_user,
                       "--clear-groups"] + command
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=RUN_TIMEOUT)
        return done.returncode, done.stdout.decode(), done.stderr.decode()


def line_for(output, device):
    """The listing's line of the device."""
    lines = [l for l in output.splitlines() if re.search(r"\s%s(\s|$)" % re.escape(device), l)]
    expect_equal(len(lines), 1, "lines naming %s in:\n%s" % (device, output))
    return lines[0]


def process_name(pid):
    with open("/proc/%d/comm" % pid) as comm:
        return comm.read().strip()


@case("linux")
def listing_and_details(options):
    """ttyUSB0 free with its USB description and by-id name, ttyACM3 held by another program's
    lock, a file that is no terminal, a UART slot without hardware, and ttyXRUSB0 outside the
    table; then each port in detail, by every name the user may give it."""
    if os.path.normpath(options.sysfs_dir) == "/sys":
        raise Skip("this build reads the real /sys (configure with -DTELVORN_SYSFS_DIR)")
    with Ports(options) as ports:
        usb, _ = ports.terminal(family_name(ports.lease(33)))
        acm, _ = ports.terminal(family_name(ports.lease(68)))
        xr, _ = ports.terminal("ttyXRUSB0")
        plain_number = ports.lease()
        plain = ports.link(family_name(plain_number), os.path.join(options.linux_build,
                                                                    "CMakeCache.txt"))
        empty_number = ports.lease()
        empty, _ = ports.terminal(family_name(empty_number))
        ports.stack.callback(shutil.rmtree, os.path.join(ports.sysfs_dir, "class", "tty",
                                                         family_name(empty_number)))
        ports.sysfs_file(os.path.join("class", "tty", family_name(empty_number), "type"), "0")
        by_id = os.path.join(ports.device_dir, "serial", "by-id",
                             "usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0")
        os.makedirs(os.path.dirname(by_id), exist_ok=True)
        ports.link(os.path.relpath(by_id, ports.device_dir), "../../ttyUSB0")
        ports.usb_device("ttyUSB0", "devices/pci0000:00/usb1/1-2", "1-2:1.0/ttyUSB0", "ftdi_sio",
                         {"idVendor": "0403", "idProduct": "6001", "manufacturer": "FTDI",
                          "product": "FT232R USB UART", "serial": "A10K5XYZ"})
        ports.usb_device("ttyXRUSB0", "devices/pci0000:00/usb1/1-3", "1-3:1.0",
                         "xr_usb_serial_common", {"idVendor": "04e2", "idProduct": "1410"})
        holder = ports.hold(acm)

        status, output, _ = ports.run()
        print(output)
        expect_equal(status, 0, "exit status of the listing")
        ftdi = "ftdi_sio, USB 0403:6001, FTDI, FT232R USB UART, serial A10K5XYZ, " + by_id
        held = "held by another program: PID %d (%s)" % (holder, process_name(holder))
        rows = [  # device, the line expected for it (None: not listed)
            (usb, r"COM33 +%s +free +\[%s\]" % (re.escape(usb), re.escape(ftdi))),
            (acm, r"COM68 +%s +%s" % (re.escape(acm), re.escape(held))),
            (plain, r"COM%d +%s +cannot open: not a terminal" % (plain_number, re.escape(plain))),
            (xr, r"- +%s +not reachable by telvorn \(no COM number\) +"
                 r"\[xr_usb_serial_common, USB 04e2:1410\]" % re.escape(xr)),
            (empty, None),
        ]
        for device, expected in rows:
            if expected is None:
                expect(device not in output, "%s listed:\n%s" % (device, output))
            else:
                line = line_for(output, device)
                expect(re.fullmatch(expected, line), "line of %s:\n%r" % (device, line))
        order = [output.index(line_for(output, device)) for device in (usb, acm, xr)]
        expect_equal(order, sorted(order), "COM order, then the ports with no number")

        usb_detail = "COM33: %s\n  state:        free\n  driver:       ftdi_sio\n" % usb
        details = [  # name given, exit status, the detail's beginning
            ("COM33", 0, usb_detail),
            ("com33", 0, usb_detail),
            (usb, 0, usb_detail),
            ("ttyUSB0", 0, usb_detail),
            (by_id, 0, usb_detail),
            ("COM68", 0, "COM68: %s\n  state:        %s\n" % (acm, held)),
            ("ttyXRUSB0", 0, "%s (no COM number)\n" % xr),
        ]
        for name, code, beginning in details:
            status, output, _ = ports.run(name)
            expect_equal(status, code, "exit status for %s" % name)
            expect_equal(output[:len(beginning)], beginning, "detail of %s" % name)
        status, output, _ = ports.run("COM33")
        for fact in ("USB:          0403:6001", "manufacturer: FTDI", "product:      FT232R USB UART",
                     "serial:       A10K5XYZ", "by-id:        " + by_id):
            expect("\n  %s\n" % fact in output, "%r in the detail:\n%s" % (fact, output))


@case("linux")
def command_line(options):
    with Ports(options) as ports:
        missing = os.path.join(ports.device_dir, "no-such-dir", "ttyUSB9")
        rows = [  # arguments, exit status, standard output, standard error (regular expressions)
            (["--help"], 0, r"usage: telvorn-ports \[PORT\]\n(.+\n)+", ""),
            (["-h"], 0, r"usage: telvorn-ports \[PORT\]\n(.+\n)+", ""),
            (["COM33", "COM34"], 2, "", r"usage: telvorn-ports \[PORT\]\n(.+\n)+"),
            (["--bogus"], 2, "", r"usage: (.+\n)+"),
            ([""], 2, "", r"usage: (.+\n)+"),
            (["COM200"], 1, r"COM200: no device has this number on Linux .*\n", ""),
            (["/"], 1, "/: not a device\n", ""),
            ([missing], 1, "%s: %s does not exist\n" % (re.escape(missing), re.escape(missing)),
             ""),
        ]
        for args, code, out, err in rows:
            status, output, errors = ports.run(*args)
            expect_equal(status, code, "exit status for %r" % args)
            expect(re.fullmatch(out, output, re.S), "output for %r:\n%r" % (args, output))
            expect(re.fullmatch(err, errors, re.S), "errors for %r:\n%r" % (args, errors))


@case("linux")
def no_permission(options):
    """A user outside the device's group is told which group to join."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        raise Skip("needs root and setpriv to hand a device to the dialout group and run as nobody")
    with Ports(options) as ports:
        if ports.run("--help", as_user=NOBODY)[0] != 0:
            raise Skip("nobody cannot run the tool from this build tree")
        number = ports.lease()
        link, slave = ports.terminal(family_name(number))
        os.chown(slave, 0, grp.getgrnam("dialout").gr_gid)
        os.chmod(slave, 0o660)
        status, output, _ = ports.run("COM%d" % number, as_user=NOBODY)
        expect_equal(status, 0, "exit status")
        expect_equal(output, "COM%d: %s\n  state:        no permission (group dialout)\n%s\n"
                     % (number, link, HINT), "detail")
        status, output, _ = ports.run(as_user=NOBODY)
        line = line_for(output, link)
        expect(re.fullmatch(r"COM%d +%s +no permission \(group dialout\)" % (number,
                                                                           re.escape(link)),
                            line), "line: %r" % line)
        # Other cases' ports may add hints of their own.
        expect(output.count(HINT) == 1 and output.index(HINT) > output.index(line),
               "the hint once, after the ports:\n%s" % output)


@case("linux")
def held_by_a_download(options):
    """While telvorn waits for the device on a port, the tool names telvorn and its PID."""
    with Ports(options) as ports, Session(ports.context, "--silent-connects", "100000") as session:
        with session.run() as run:
            run.wait_for(WAITING)
            status, output, _ = ports.run("COM%d" % session.port)
            print(output)
            expect_equal(status, 0, "exit status")
            # Under qemu-user the process carries the emulator's name.
            name = os.path.basename(ports.context.emulator[0])[:15] if ports.context.emulator \
                else "telvorn"
            state = "  state:        held by another program: PID %d (%s)\n" % (run.process.pid,
                                                                               name)
            expect(state in output, "detail:\n%s" % output)


@case("wine")
def mapped_ports(options):
    """The COM numbers mapped in the prefix's dosdevices are listed, free, and shown in detail,
    with the Setup API's name where the prefix has a Ports device for the number."""
    if not options.windows_build:
        raise Skip("no Windows build named")
    tool = os.path.join(options.windows_build, "tools", "telvorn-ports", "telvorn-ports.exe")
    helper = os.path.join(options.windows_build, "tests", "fake_port_device.exe")
    named, unnamed = 211, 212
    friendly_name = "Test Serial Port (COM%d)" % named

    def run(program, *args):
        done = subprocess.run([options.wine_run, program] + list(args), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=RUN_TIMEOUT)
        return done.returncode, done.stdout.decode().replace("\r\n", "\n")

    with contextlib.ExitStack() as stack:
        for number in (named, unnamed):
            master, slave = os.openpty()
            stack.callback(os.close, master)
            link = os.path.join(options.wine_prefix, "dosdevices", "com%d" % number)
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(os.ttyname(slave), link)
            os.close(slave)
            stack.callback(os.unlink, link)
        stack.callback(run, helper, "remove", str(named))
        expect_equal(run(helper, "add", str(named), friendly_name)[0], 0, "the helper's status")

        status, output = run(tool)
        print(output)
        expect_equal(status, 0, "exit status of the listing")
        rows = [  # port, the end of its line
            (named, "free  [%s]" % friendly_name),
            (unnamed, "free"),
        ]
        for number, ending in rows:
            line = line_for(output, r"\\.\COM%d" % number)
            expect(re.fullmatch(r"COM%d +\\\\\.\\COM%d +%s" % (number, number, re.escape(ending)),
                                line), "line: %r" % line)
        status, output = run(tool, "COM%d" % named)
        expect_equal(status, 0, "exit status of the detail")
        expect_equal(output, "COM%d: \\\\.\\COM%d\n  state:        free\n  name:         %s\n"
                     % (named, named, friendly_name), "detail")
        expect_equal(run(tool, "COM213")[0], 1, "exit status for a port that is not mapped")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("case", nargs="?")
    parser.add_argument("--list", choices=("linux", "wine"), help="print the target's cases")
    parser.add_argument("--linux-build", help="the Linux test build (tool, simulator, telvorn)")
    parser.add_argument("--sysfs-dir", default="/sys", help="the build's TELVORN_SYSFS_DIR")
    parser.add_argument("--windows-build", help="the Windows build (telvorn-ports.exe)")
    parser.add_argument("--wine-prefix", help="the Wine prefix whose dosdevices map COM ports")
    parser.add_argument("--wine-run", help="the script that runs a Windows program under Wine")
    parser.add_argument("--emulator", help="the command that runs the build's programs")
    parser.add_argument("--simulator",
                        help="the command line of a teq6-sim to use instead of the build's own")
    options = parser.parse_args()
    if options.list:
        print(";".join(sorted(n for n, (t, _) in CASES.items() if t == options.list)))
        return 0
    try:
        CASES[options.case][1](options)
    except Skip as reason:
        print("SKIPPED %s: %s" % (options.case, reason))
        return 0
    print("PASSED %s" % options.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
