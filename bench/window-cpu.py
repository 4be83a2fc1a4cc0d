#!/usr/bin/env python3
"""What the program costs the machine while it sits open and while it records.

Runs each given build of trelmont-ecg on a virtual display (Xvfb) and measures,
from /proc, the share of one core it uses (user and system time of all its
threads) and how often its threads are switched in (voluntary and involuntary
context switches summed over /proc/PID/task/*), per second:

  idle       the window open, nothing recorded (default 60 s)
  recording  a recording at the default settings from a real ALSA input path
             (default 20 s): the default PCM is ALSA's `file` plugin reading
             the FM tone from a pipe that another process (this script's
             feeder) writes at the real sample rate
  simulator  the same recording from --simulate, which synthesises the tone
             inside the program (reported, not a target)

Usage:
    bench/window-cpu.py BINARY [BINARY ...] [--idle 60] [--record 20] [--threads]

--threads adds each thread's share under its process (clock ticks of 10 ms:
short runs are coarse per thread).

Give the build before a change and the one after it to compare them in the
same run. Targets: idle under 0.1 % of a core and under 5 wake-ups a second,
recording from the real input path under 1.5 % of a core.
"""

import argparse
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RATE = 199680          # samples a second, 16-bit mono: the default settings
# Each write is one buffer of the recorder, a whole number of ALSA's periods.
# The file plugin reads a period from the pipe with one read() and passes it
# off as captured whatever that read returned: a write of part of a period
# would give half-filled periods, and the program would store values faster
# than real time from garbage.
BLOCK_SAMPLES = 4096
CARRIER_HZ = 1716.0    # 0 mV
HZ_PER_MV = 164.4
ALSA_FD = 3            # the pipe's read end in the program


def tone_second():
    """One second of an FM tone carrying a crude heartbeat (1 mV QRS, small T)."""
    samples = bytearray()
    phase = 0.0
    for i in range(RATE):
        t = i / RATE
        mv = 1.0 * math.exp(-((t - 0.3) / 0.012) ** 2) + 0.25 * math.exp(-((t - 0.6) / 0.05) ** 2)
        phase += 2.0 * math.pi * (CARRIER_HZ + HZ_PER_MV * mv) / RATE
        value = int(16000 * math.sin(phase))
        samples += value.to_bytes(2, "little", signed=True)
    return bytes(samples)


def feed(write_fd):
    """Writes the tone into the pipe at the real sample rate, for ever."""
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    second = tone_second()
    block_bytes = 2 * BLOCK_SAMPLES
    block_time = BLOCK_SAMPLES / RATE
    offset = 0
    due = time.monotonic()
    while True:
        block = second[offset:offset + block_bytes]
        if len(block) < block_bytes:
            offset = 0
            continue
        offset += block_bytes
        os.write(write_fd, block)  # blocks while nobody reads (the program idles)
        due += block_time
        now = time.monotonic()
        if now > due + 0.1:
            due = now  # was blocked: go on at the real rate from here
        else:
            time.sleep(max(0.0, due - now))


def alsa_config(directory):
    path = os.path.join(directory, "asound.conf")
    with open(path, "w") as out:
        out.write("pcm.!default {\n    type file\n    slave.pcm { type null }\n"
                  '    file "/dev/null"\n    infile %d\n    format "raw"\n}\n' % ALSA_FD)
    return path


def threads_sample(pid):
    """(cpu seconds of the process, {thread: (name, cpu seconds, context switches)}) now."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    tick = 1.0 / os.sysconf("SC_CLK_TCK")
    process_cpu = (int(fields[11]) + int(fields[12])) * tick  # utime, stime of all threads
    threads = {}
    for task in os.listdir("/proc/%d/task" % pid):
        base = "/proc/%d/task/%s/" % (pid, task)
        try:
            with open(base + "comm") as f:
                name = f.read().strip()
            with open(base + "stat") as f:
                stat = f.read().rsplit(")", 1)[1].split()
            with open(base + "status") as f:
                switches = sum(int(line.split()[1]) for line in f if line.startswith(
                    ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
        except (FileNotFoundError, ProcessLookupError):
            continue  # a thread that ended meanwhile
        threads[task] = (name, (int(stat[11]) + int(stat[12])) * tick, switches)
    return process_cpu, threads


def switches_between(before, after):
    """Switches of the threads seen at the end: new ones count from 0."""
    return sum(switches - before.get(task, ("", 0.0, 0))[2]
               for task, (_, _, switches) in after.items())


def threads_between(pid, before, after, wall):
    """Per thread seen at the end: (name, % of a core, wake-ups a second), busiest first."""
    rows = []
    for task, (name, cpu, switches) in after.items():
        _, cpu0, switches0 = before.get(task, (name, 0.0, 0))
        label = "%s (main)" % name if int(task) == pid else name
        rows.append((label, 100.0 * (cpu - cpu0) / wall, (switches - switches0) / wall))
    return sorted(rows, key=lambda row: (-row[1], -row[2]))


def measure(binary, arguments, settle, seconds, env, pipe_read):
    workdir = tempfile.mkdtemp(prefix="window-cpu-")

    def give_pipe():
        if pipe_read is not None:
            os.dup2(pipe_read, ALSA_FD)

    process = subprocess.Popen([os.path.abspath(binary)] + arguments, cwd=workdir, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               preexec_fn=give_pipe, pass_fds=() if pipe_read is None else (pipe_read,))
    try:
        time.sleep(settle)
        if process.poll() is not None:
            raise RuntimeError("%s ended early (%d)" % (binary, process.returncode))
        cpu0, threads0 = threads_sample(process.pid)
        wall0 = time.monotonic()
        time.sleep(seconds)
        cpu1, threads1 = threads_sample(process.pid)
        wall = time.monotonic() - wall0
        if process.poll() is not None:
            raise RuntimeError("%s ended during the measurement" % binary)
        try:
            with open(os.path.join(workdir, "REC.txt"), "rb") as f:
                values = f.read().count(b"\n")
        except FileNotFoundError:
            values = 0
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    return (100.0 * (cpu1 - cpu0) / wall, switches_between(threads0, threads1) / wall, values,
            threads_between(process.pid, threads0, threads1, wall))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binaries", nargs="+")
    parser.add_argument("--idle", type=float, default=60.0)
    parser.add_argument("--record", type=float, default=20.0)
    parser.add_argument("--scenarios", default="idle,recording,simulator")
    parser.add_argument("--threads", action="store_true",
                        help="also show each thread's share (threads that used or woke nothing "
                        "are left out)")
    args = parser.parse_args()

    config_dir = tempfile.mkdtemp(prefix="window-cpu-alsa-")
    display = ":%d" % (90 + os.getpid() % 100)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               ALSA_CONFIG_PATH=alsa_config(config_dir))
    env.pop("WAYLAND_DISPLAY", None)
    long_run = str(int(max(args.idle, args.record) + 60))
    scenarios = {
        "idle": ([], args.idle, False),
        "recording": (["--record", long_run], args.record, True),
        "simulator": (["--simulate", "--record", long_run], args.record, False),
    }
    # "values": lines of REC.txt at the end, so a recording that heard
    # nothing shows.
    print("%-10s %-44s %12s %14s %8s" % ("scenario", "binary", "% of a core", "wake-ups / s",
                                         "values"))
    try:
        for name in args.scenarios.split(","):
            arguments, seconds, real_input = scenarios[name]
            for binary in args.binaries:
                feeder = None
                pipe_read = None
                if real_input:
                    pipe_read, pipe_write = os.pipe()
                    feeder = subprocess.Popen([sys.executable, __file__, "--feed", str(pipe_write)],
                                              pass_fds=(pipe_write,))
                    os.close(pipe_write)
                try:
                    cpu, wakes, values, threads = measure(binary, arguments, 5.0, seconds,
                                                          env, pipe_read)
                finally:
                    if feeder is not None:
                        feeder.kill()
                        feeder.wait()
                        os.close(pipe_read)
                print("%-10s %-44s %12.2f %14.1f %8d" % (name, binary[-44:], cpu, wakes, values),
                      flush=True)
                if args.threads:
                    for thread, thread_cpu, thread_wakes in threads:
                        if thread_cpu > 0.0 or thread_wakes > 0.0:
                            print("%-10s   %-42s %12.2f %14.1f" % ("", thread, thread_cpu,
                                                                    thread_wakes), flush=True)
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(config_dir, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--feed":
        feed(int(sys.argv[2]))
    else:
        main()
