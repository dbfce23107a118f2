"""Helpers shared by the benchmark suite (bench/run) and its PostgreSQL rows
(bench/pgrows.py): running one process and reading its time and memory."""

import os
import statistics
import subprocess
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


class SuiteError(Exception):
    """The suite cannot go on."""


def mb(kb):
    return kb / 1024.0


def timed(results, digits=2):
    """Median wall time, with the median CPU time (user + system) beside it."""
    wall = statistics.median(r[0] for r in results)
    cpu = statistics.median(r[5] for r in results)
    return "%.*f s (cpu %.*f)" % (digits, wall, digits, cpu)


def run(cmd, env=None, cwd=None, stdin_path=None, timeout=240, stdout_path=None):
    """Runs one process.

    Returns (wall seconds, peak RSS in kB, status, stdout, stderr, CPU seconds).
    With `stdout_path` standard output goes to that file instead (for a
    program that writes much), and the stdout returned is empty.
    """
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    stdout = open(stdout_path, "wb") if stdout_path else subprocess.PIPE
    try:
        start = time.monotonic()
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=stdin,
                                stdout=stdout, stderr=subprocess.PIPE)
        # The pipes are read only after the end: every program here writes
        # little to them.
        deadline = start + timeout
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                proc.kill()
                pid, status, usage = os.wait4(proc.pid, 0)
                break
            time.sleep(0.002)
        wall = time.monotonic() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        out = ""
        if not stdout_path:
            out = proc.stdout.read().decode("utf-8", "replace")
            proc.stdout.close()
        err = proc.stderr.read().decode("utf-8", "replace")
        proc.stderr.close()
        return wall, usage.ru_maxrss, proc.returncode, out, err, usage.ru_utime + usage.ru_stime
    finally:
        if stdin_path:
            stdin.close()
        if stdout_path:
            stdout.close()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line; the split
    # starts at field 3.
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def peak_rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return None
