#!/usr/bin/env python3
"""Runs every benchmark of TELVORN and prints one table (measure, value, unit, note).

In-process figures come from the Google Benchmark binary; the XMODEM-1K comparison, the
program's start-up as a process, its peak memory and its CPU time while it waits for a silent
device are measured here around real processes. Nothing is judged: the figures are only shown.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BLOCK_PAYLOAD = 2054
RELAY_PORT_LINK = "ttyAMA1"  # COM98, the relay port of the exchange benchmark
SIM_PORT = 33  # ttyUSB0
XMODEM_PAYLOAD = 500 * BLOCK_PAYLOAD  # the data of the 500 exchanges measured in-process
XMODEM_SMALL = 1024  # one packet: what a transfer costs besides its data
XMODEM_CLEAN_RUNS = 3
XMODEM_TRIES = 6
# A clean run takes a second or two; a lost packet stalls rx for 6 s, so a run still going after
# this long has lost one and is given up rather than waited for.
XMODEM_LIMIT_S = 5
PROCESS_SIZES = (10, 1000, 10000, 100000)
WAIT_S = 20
NO_SUCH_PORT = "-200"  # never listed, so telvorn ends right after the scan and the load
INVALID_PORT_STATUS = 8
MEGA = 1e6
GNU_TIME = "/usr/bin/time"


def figure(value):
    """Three significant digits, without an exponent; thousands grouped."""
    return f"{value:,.0f}" if value >= 100 else f"{value:.3g}"


class Runner:
    def __init__(self, build):
        self.build = build
        self.dev = os.path.join(build, "dev")
        self.work = tempfile.mkdtemp(prefix="telvorn-bench.")
        self.started = []  # processes to end on the way out
        self.rows = []
        # The XMODEM comparison runs on one core: see xmodem_once.
        self.core = max(os.sched_getaffinity(0))

    # --- helpers ---------------------------------------------------------------------------

    def tool(self, *parts):
        return os.path.join(self.build, *parts)

    def path(self, name):
        return os.path.join(self.work, name)

    def start(self, args, **options):
        process = subprocess.Popen(args, **options)
        self.started.append(process)
        return process

    def stop(self, process):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def cleanup(self):
        for process in self.started:
            self.stop(process)
        shutil.rmtree(self.work, ignore_errors=True)

    def row(self, measure, value, unit, note=""):
        self.rows.append((measure, value, unit, note))

    def on_one_core(self, pinned):
        return ["taskset", "-c", str(self.core)] if pinned else []

    def relay(self, near, far, pinned=False):
        """A socat pseudo-terminal pair; returns once both links exist."""
        for link in (near, far):
            if os.path.lexists(link):
                os.unlink(link)
        process = self.start(self.on_one_core(pinned) + ["socat", f"pty,raw,echo=0,link={near}",
                              f"pty,raw,echo=0,link={far}"], stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not (os.path.exists(near) and os.path.exists(far)):
            if time.monotonic() > deadline or process.poll() is not None:
                raise RuntimeError("socat did not make its pseudo-terminals")
            time.sleep(0.02)
        return process

    def payload(self, name, size):
        path = self.path(name)
        with open(path, "wb") as out:
            out.write(os.urandom(size))
        return path

    def config_file(self, blocks):
        path = self.path(f"config-{blocks}.bin")
        if not os.path.exists(path):
            source = self.payload(f"payload-{blocks}", blocks * BLOCK_PAYLOAD)
            subprocess.run([self.tool("tools", "teq6-file", "teq6-file"), "make", source, path],
                           check=True, stdout=subprocess.DEVNULL)
            os.unlink(source)
        return path

    # --- in-process benchmarks ---------------------------------------------------------------

    def google_benchmark(self, tag, pattern, pinned=False, relay=False):
        """Runs the benchmarks matching pattern; the relay ones need a socat pair, made here."""
        os.makedirs(self.dev, exist_ok=True)
        out, log = self.path(f"{tag}.json"), self.path(f"{tag}.log")
        env, socat = dict(os.environ), None
        if relay:
            env["TELVORN_BENCH_RELAY_PEER"] = self.path("relay-peer")
            socat = self.relay(os.path.join(self.dev, RELAY_PORT_LINK),
                               env["TELVORN_BENCH_RELAY_PEER"], pinned)
        with open(log, "w") as console:
            status = subprocess.run(self.on_one_core(pinned) +
                                    [self.tool("bench", "telvorn_bench"),
                                     f"--benchmark_filter={pattern}", "--benchmark_out=" + out,
                                     "--benchmark_out_format=json"],
                                    env=env, stdout=console, stderr=subprocess.STDOUT).returncode
        if socat:
            self.stop(socat)
        if status != 0:
            raise RuntimeError(f"telvorn_bench failed; see {log}")
        with open(out) as results:
            runs = json.load(results)["benchmarks"]
        # Plain runs under their name; repeated ones by their median, their best beside it.
        return {run["name"] if run.get("aggregate_name", "median") == "median" else
                f"{run['name']} ({run['aggregate_name']})": run
                for run in runs if not run.get("error_occurred")}

    def exchange_row(self, label, results, name):
        """Time and rate of one exchange benchmark; its best run's payload bytes/s, or None."""
        run = next((r for n, r in results.items() if n.startswith(name + "/")
                    and n.endswith("_median")), None)
        if run is None:
            self.row(f"exchange, {label}", "-", "", "not run")
            return None
        best = results.get(run["run_name"] + "_min (min)", {}).get("real_time", float("nan"))
        self.row(f"exchange, {label}: time", f"{run['real_time']:.0f}", "us/block",
                 f"SendBlock: 2,056 bytes out, ACK at once; median of 5 runs of 500, "
                 f"best {best:.0f}")
        self.row(f"exchange, {label}: rate", f"{run['exchanges_per_s']:.0f}", "exchanges/s",
                 f"{run['bytes_per_second'] / MEGA:.2f} MB/s of payload")
        # Compared with XMODEM-1K's best runs, so its best run too.
        return BLOCK_PAYLOAD / (best / 1e6)

    def startup_rows(self, results):
        scan = results.get("BM_EnumeratePorts")
        if scan:
            self.row("port scan (EnumeratePorts)", f"{scan['real_time']:.0f}", "us",
                     f"COM1-256, {scan['ports_found']:.0f} present (a linked pty)")
        for kind, name, note in (("load", "BM_LoadFile", "ReadConfigFile into a DataBuffer"),
                                 ("store only", "BM_StoreAdd", "new + DataBuffer::Add, no file")):
            for blocks in (10, 300, 1000, 10000, 100000):
                run = results.get(f"{name}/{blocks}")
                if run is None:
                    continue
                millis = run["real_time"]
                self.row(f"{kind}: {blocks:,} blocks", figure(millis), "ms",
                         f"{millis * 1000 / blocks:.1f} us/block; {note}; "
                         f"{run['slot_writes']:,.0f} slot writes in growths")

    # --- XMODEM-1K -----------------------------------------------------------------------------

    def xmodem_once(self, source):
        near, far = self.path("xmodem-A"), self.path("xmodem-B")
        received = self.path("received")
        if os.path.exists(received):
            os.unlink(received)
        # rx acknowledges a packet, then flushes its input: on a link this fast the next packet
        # sometimes arrives in between and is lost. On one core, with rx at real-time priority
        # (when allowed), that is rarer; such runs are set aside.
        socat = self.relay(near, far, pinned=True)
        first = ["chrt", "-f", "10"] if os.geteuid() == 0 else []
        log = self.path("sx.log")
        # Each program talks through its own end, as it would on a serial line.
        ends = [os.open(end, os.O_RDWR | os.O_NOCTTY) for end in (near, far)]
        began = time.monotonic()
        with open(log, "wb") as sx_log:
            # rx takes a name in its working folder only: it refuses absolute paths.
            rx = self.start(self.on_one_core(True) + first +
                            ["rx", "-c", "-b", "-q", os.path.basename(received)],
                            stdin=ends[1], stdout=ends[1], stderr=subprocess.DEVNULL, cwd=self.work)
            sx = self.start(self.on_one_core(True) + ["sx", "-k", "-b", "-vv", source],
                            stdin=ends[0], stdout=ends[0], stderr=sx_log, cwd=self.work)
            try:
                sx_status = sx.wait(timeout=XMODEM_LIMIT_S)
                rx_status = rx.wait(timeout=XMODEM_LIMIT_S)
            except subprocess.TimeoutExpired:
                sx_status = rx_status = None
        elapsed = time.monotonic() - began
        for end in ends:
            os.close(end)
        for process in (sx, rx, socat):
            self.stop(process)
        with open(log, "rb") as sx_output:
            retried = b"Retry" in sx_output.read()
        with open(source, "rb") as sent:
            data = sent.read()
        whole = False
        if os.path.exists(received):
            with open(received, "rb") as got:
                whole = got.read(len(data)) == data
        return elapsed, sx_status == 0 and rx_status == 0 and whole and not retried

    def xmodem_best(self, source):
        """The fastest of a few clean transfers, and how many runs were set aside."""
        clean_times, set_aside = [], 0
        for _ in range(XMODEM_TRIES):
            elapsed, clean = self.xmodem_once(source)
            if clean:
                clean_times.append(elapsed)
            else:
                set_aside += 1
            if len(clean_times) == XMODEM_CLEAN_RUNS:
                break
        return min(clean_times, default=None), set_aside

    def xmodem_rows(self, ours):
        big, big_aside = self.xmodem_best(self.payload("xmodem-1M", XMODEM_PAYLOAD))
        small, small_aside = self.xmodem_best(self.payload("xmodem-1K", XMODEM_SMALL))
        aside = big_aside + small_aside
        stall_note = f"; {aside} run(s) that lost a packet set aside" if aside else ""
        if big is None or small is None:
            self.row("XMODEM-1K", "-", "", "no clean transfer" + stall_note)
            return
        self.row("XMODEM-1K sx -k to rx -c: 1,027,000 bytes", f"{big:.2f}", "s",
                 f"{XMODEM_PAYLOAD / big / MEGA:.2f} MB/s for the whole run (start, 1 s check "
                 "of the end, exit); best of 3" + stall_note)
        self.row("XMODEM-1K: one 1,024-byte packet", f"{small:.2f}", "s",
                 "what a transfer costs besides its data")
        steady = (XMODEM_PAYLOAD - XMODEM_SMALL) / (big - small)
        self.row("XMODEM-1K: steady rate", f"{steady / MEGA:.2f}", "MB/s",
                 "(1,027,000 - 1,024 bytes) / difference of the two runs")
        if ours:
            self.row("ratio telvorn / XMODEM-1K", f"{ours / steady:.2f}", "x",
                     "payload bytes/s, steady, best runs, both over socat on one core")

    # --- the program as a process ---------------------------------------------------------------

    def process_rows(self):
        """telvorn as a user starts it; GNU time as the parent, so that the peak is telvorn's
        alone (a child forked from Python would start its count at Python's size)."""
        stats = self.path("time.out")
        for blocks in PROCESS_SIZES:
            path = self.config_file(blocks)
            began = time.monotonic()
            status = subprocess.run([GNU_TIME, "-f", "%M", "-o", stats, self.tool("telvorn"),
                                     path, NO_SUCH_PORT], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL).returncode
            seconds = time.monotonic() - began
            with open(stats) as measured:
                kilobytes = measured.read().split()[-1]
            note = "" if status == INVALID_PORT_STATUS else f"; exit status {status}, not 8"
            self.row(f"telvorn start-up, {blocks:,} blocks", figure(seconds * 1000), "ms",
                     "whole process, under GNU time: scan + load, then it ends at the port check"
                     + note)
            self.row(f"telvorn peak memory, {blocks:,} blocks", f"{int(kilobytes) / 1024:.1f}",
                     "MiB", f"maximum resident set; the blocks are {blocks * 2056 / 2**20:.3g} MiB")

    def waiting_rows(self):
        link = os.path.join(self.dev, "ttyUSB0")
        sim = self.start([self.tool("tools", "teq6-sim", "teq6-sim"), "--link", link,
                          "--silent-connects", "1000000"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
        if not sim.stdout.readline().startswith("READY"):
            raise RuntimeError("teq6-sim did not start")
        output = self.path("waiting.out")
        with open(output, "w") as console:
            telvorn = self.start([self.tool("telvorn"), self.config_file(10), f"-{SIM_PORT}"],
                                 stdin=subprocess.PIPE, stdout=console)
            began = time.monotonic()
            time.sleep(WAIT_S)
            telvorn.stdin.write(b"x\n")
            telvorn.stdin.flush()
            _, status, usage = os.wait4(telvorn.pid, 0)
            elapsed = time.monotonic() - began
            telvorn.returncode = os.waitstatus_to_exitcode(status)
        self.stop(sim)
        with open(output) as console:
            # One dot per silent 500 ms attempt, after the file name (which may hold dots too).
            attempts = console.read().partition("Waiting for connection")[2].count(".")
        cpu = usage.ru_utime + usage.ru_stime
        self.row(f"waiting: CPU in {elapsed:.1f} s of a silent device", f"{cpu * 1000:.1f}", "ms",
                 f"user {usage.ru_utime * 1000:.1f} + system {usage.ru_stime * 1000:.1f} ms; "
                 f"{cpu / elapsed * 100:.3f} % of a core; {attempts} connect attempts")

    # --- the table ------------------------------------------------------------------------------

    def print_table(self):
        header = ("measure", "value", "unit", "note")
        widths = [max(len(str(r[i])) for r in self.rows + [header]) for i in range(3)]
        line = f"{{:<{widths[0]}}}  {{:>{widths[1]}}}  {{:<{widths[2]}}}  {{}}"
        print(line.format(*header))
        print(line.format("-" * widths[0], "-" * widths[1], "-" * widths[2], "----"))
        for row in self.rows:
            print(line.format(*row))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bench")
    runner = Runner(build)
    try:
        print("== in-process benchmarks (a minute or two)", file=sys.stderr)
        results = runner.google_benchmark(
            "main", "BM_(SendBlock|EnumeratePorts|LoadFile|StoreAdd)(/|$)")
        runner.exchange_row("pty", results, "BM_SendBlock")
        relayed = runner.google_benchmark("relay", "BM_SendBlockThroughRelay", relay=True)
        runner.exchange_row("socat relay", relayed, "BM_SendBlockThroughRelay")
        relayed = runner.google_benchmark("relay-one-core", "BM_SendBlockThroughRelay",
                                          pinned=True, relay=True)
        ours = runner.exchange_row("socat relay, one core", relayed, "BM_SendBlockThroughRelay")
        print("== XMODEM-1K with sx and rx", file=sys.stderr)
        runner.xmodem_rows(ours)
        runner.startup_rows(results)
        print("== telvorn as a process: start-up and memory", file=sys.stderr)
        runner.process_rows()
        print(f"== telvorn waiting {WAIT_S} s for a silent device", file=sys.stderr)
        runner.waiting_rows()
    finally:
        runner.cleanup()
    runner.print_table()


if __name__ == "__main__":
    main()
