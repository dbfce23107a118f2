"""The script of 100,000 batches that the load rows of the benchmark suite
(bench/run) run, and the row that checks it with `rux_ppp --check` against
the run's own reading of it."""


from benchlib import run

N_BATCHES = 100000
# The batch that writes the marker file of the load rows.
EARLY = 1000


def load_script(suite, mark):
    """The script of 100,000 batches; batch 1,000 exports to the file `mark`."""
    script = suite.path("load.sql")
    with open(script, "w", newline="") as f:
        for i in range(1, N_BATCHES + 1):
            if i == EARLY:
                # Tells the suite that the first 1,000 batches are done.
                f.write("select %d as n totxt %s\r\ngo\r\n" % (i, mark))
            elif i % 10 == 0:
                f.write("insert into s values (%d, 'row %d')\r\ngo\r\n" % (i, i))
            else:
                f.write("select %d as n, 'text %d' as t totxt /dev/null\r\ngo\r\n" % (i, i))
    return script


def scenario_check(suite):
    """The check reads the script as a run does, and parses every statement
    besides: against the run's reading alone (all it does with the script
    but run its statements), in a process of its own
    (bench_script_reading)."""
    print("check: --check on 100,000 batches ...", flush=True)
    script = load_script(suite, suite.path("after_1000.txt"))
    # The check writes a line per batch: into a file, read after the run.
    lines = suite.path("check.out")
    rux, anchor = [], []
    for _ in range(suite.runs + 8):
        r = run([suite.rux, "--check", "SQL=" + script], env=suite.env, cwd=suite.work,
                stdout_path=lines)
        with open(lines, encoding="utf-8", errors="replace") as f:
            last = f.read().strip().splitlines()[-1:] or [""]
        if r[2] != 0 or not last[0].startswith("check outcome=ok engine=sqlite batches=%d " % N_BATCHES):
            r = (r[0], r[1], 1, r[3], "the check said: %s %s" % (last[0], r[4].strip()), r[5])
        rux.append(r)
        r = run([suite.script_reading, "SQL=" + script], env=suite.env, cwd=suite.work)
        suite.anchor_ok(r, "bench_script_reading")
        anchor.append(r)
    suite.add_time_ratio("check: 100,000 batches", rux, anchor, "run's reading", 1.2, digits=3)
