"""The PostgreSQL rows of the benchmark suite (bench/run).

rux_ppp and psql work on the same database of a private server that the
suite starts with scripts/with-postgres.sh, as the tests start theirs: a
fresh cluster in a temporary folder, on a free loopback port, stopped and
removed at the end. Before every run, of rux_ppp or of psql, the table of
the row is made anew, so no run sees what another one left behind.
"""

import glob
import os
import re
import select
import shutil
import statistics
import subprocess
import time

from benchlib import SuiteError, mb, run, timed

WITH_POSTGRES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                             "scripts", "with-postgres.sh")

N_INSERTS = 20000
N_EXPORT = 1000000

# Empty before every run of the insert batches.
TABLE_S = """
drop table if exists s;
create table s (id integer, name text);
checkpoint;
"""

# The table of the export: the columns of the SQLite export (row 1) without
# its date, and the column ix that the export leaves out. Vacuumed and
# checkpointed, so that neither side pays for hint bits or a checkpoint of
# the load.
TABLE_T = """
drop table if exists t;
create table t (id integer, val double precision, name text, note text, ix integer);
insert into t select i, i * 0.37 - 1000.5, 'name ' || (i % 977),
    case when i % 5 = 0 then null else 'note ' || i end, i % 13
    from generate_series(1, {n}) as i;
vacuum (freeze, analyze) t;
checkpoint;
"""


def _version_order(path):
    # Like `sort -V`: the numbers in the path compared as numbers.
    return [int(p) if p.isdigit() else p for p in re.split(r"(\d+)", path)]


def server_bindir():
    """The folder of initdb and pg_ctl, looked for as scripts/with-postgres.sh does."""
    for folder in sorted(glob.glob("/usr/lib/postgresql/*/bin"), key=_version_order,
                         reverse=True):
        if all(os.access(os.path.join(folder, p), os.X_OK) for p in ("initdb", "pg_ctl")):
            return folder
    initdb = shutil.which("initdb")
    return os.path.dirname(initdb) if initdb else None


def missing():
    """Why the PostgreSQL rows cannot run on this machine; None when they can."""
    folder = server_bindir()
    if not folder:
        return "the PostgreSQL server programs (initdb, pg_ctl) are not installed"
    for program in ("pg_ctl", "psql"):
        if not os.access(os.path.join(folder, program), os.X_OK):
            return "%s is missing in %s" % (program, folder)
    return None


class Server:
    """A private PostgreSQL server for the time of the suite."""

    def __init__(self, work, env):
        self.env = env
        self.work = work
        self.psql = os.path.join(server_bindir(), "psql")
        self.log = os.path.join(work, "with-postgres.log")
        self.proc = None
        self.uri = None
        self.pooler_uri = None  # pgbouncer in transaction mode in front of it

    def start(self):
        # The command beside the server prints its URI and the pooler's and
        # then waits until its standard input is closed: by stop(), or by the
        # end of the suite however it ends. The script then stops the server.
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen(
                [WITH_POSTGRES, "sh", "-c",
                 'printf "%s\\n%s\\n" "$RUX_PG_URI" "$RUX_PG_POOLER_URI"; exec cat >/dev/null'],
                env=self.env, cwd=self.work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                stderr=log)
        seen = b""
        deadline = time.monotonic() + 180
        while self.pooler_uri is None:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                break
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                break
            seen += chunk
            uris = [line.decode() for line in seen.split(b"\n")[:-1] if line.startswith(b"postgresql://")]
            if len(uris) >= 2:
                self.uri, self.pooler_uri = uris[:2]
        if self.uri is None:
            self.stop()
            with open(self.log, errors="replace") as f:
                why = f.read().strip()
            raise SuiteError("the PostgreSQL server did not start: %s" % why[-300:])

    def stop(self):
        if self.proc is None:
            return
        try:
            self.proc.stdin.close()
        except OSError:
            pass
        try:
            self.proc.wait(90)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self.proc = None

    def sql(self, statements, timeout=600):
        """Runs statements one at a time through psql; returns what they print."""
        r = subprocess.run([self.psql, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
                            "-d", self.uri], input=statements.encode(), env=self.env,
                           cwd=self.work, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=timeout)
        if r.returncode != 0:
            raise SuiteError("psql failed (status %d): %s"
                             % (r.returncode, r.stderr.decode("utf-8", "replace").strip()[:300]))
        return r.stdout.decode("utf-8", "replace").strip()


def count_lines(name):
    if not os.path.exists(name):
        return 0
    with open(name, "rb") as f:
        return sum(1 for _ in f)


def scenario_batches(suite, server):
    print("pg: 20,000 one-row insert batches ...", flush=True)
    script = suite.path("pg_inserts.sql")
    with open(script, "w", newline="") as f:
        for i in range(N_INSERTS):
            f.write("insert into s values (%d, 'row %d')\r\ngo\r\n" % (i, i))
    stmts = suite.path("pg_inserts.psql")
    with open(stmts, "w") as f:
        for i in range(N_INSERTS):
            f.write("insert into s values (%d, 'row %d');\n" % (i, i))
    count = "select count(*) from s;"
    rux, anchor = [], []
    for _ in range(suite.runs):
        server.sql(TABLE_S)
        r = suite.rux_run(server.uri, script)
        if r[2] == 0:
            rows = server.sql(count)
            if rows != str(N_INSERTS):
                r = (r[0], r[1], 1, "", "table s holds %s rows" % rows, r[5])
        rux.append(r)
        server.sql(TABLE_S)
        r = run([server.psql, "-X", "-q", "-d", server.uri, "-f", stmts], env=suite.env,
                cwd=suite.work)
        rows = server.sql(count) if r[2] == 0 else None
        if rows is not None and rows != str(N_INSERTS):
            # psql goes on after a failed statement; the count tells.
            r = (r[0], r[1], 1, "", "table s holds %s rows" % rows, r[5])
        suite.anchor_ok(r, "psql inserts")
        anchor.append(r)
    suite.add_time_ratio("pg: 20,000 insert batches", rux, anchor, "psql", 1.1)


# The result of the jump row: 1,000,000 rows in the order of their key.
TABLE_M = """
drop table if exists m;
create table m (id integer primary key, v text);
insert into m select i, 'value ' || i from generate_series(1, {n}) as i;
vacuum (freeze, analyze) m;
checkpoint;
"""


def scenario_result_jump(suite, server):
    """Ctrl+End in the main window's grid on a result of 1,000,000 rows:
    directly and through the pooler, until the last row is painted."""
    print("pg: Ctrl+End in a result of 1,000,000 rows ...", flush=True)
    server.sql(TABLE_M.format(n=N_EXPORT))
    statement = "select id, v from m order by id"
    for label, uri in (("directly", server.uri), ("through pgbouncer", server.pooler_uri)):
        runs = []
        for _ in range(suite.runs):
            r = run([suite.result_jump, uri, statement], env=suite.env, cwd=suite.work, timeout=180)
            fields = dict(kv.split("=", 1) for kv in r[3].split() if "=" in kv)
            if r[2] != 0 or fields.get("last") != str(N_EXPORT):
                runs.append(None)
                continue
            runs.append((float(fields["last_ms"]) / 1000.0,
                         int(fields["hwm_last_kb"]) - int(fields["hwm_first_kb"])))
        names = ("pg: result to the last of 1M rows, %s: time" % label,
                 "pg: result to the last of 1M rows, %s: memory" % label)
        if None in runs:
            for name in names:
                suite.add(name, "the grid did not show the last row", "", "", "", False)
            continue
        t = statistics.median(x[0] for x in runs)
        m = statistics.median(x[1] for x in runs)
        suite.add(names[0], "%.3f s" % t, "", "", "<= 0.5 s", t <= 0.5)
        suite.add(names[1], "+%.1f MB" % mb(m), "", "", "<= +50 MB", mb(m) <= 50)


def scenario_export(suite, server):
    print("pg: export of 1,000,000 rows ...", flush=True)
    out_rux = suite.path("pg_export_rux.txt")
    out_psql = suite.path("pg_export_psql.txt")
    script = suite.path("pg_export.sql")
    with open(script, "w", newline="") as f:
        f.write("select id, val, name, note, ix from t totxt %s\r\ngo\r\n" % out_rux)
    # psql writes the values of a row parted by four blanks, without the
    # four blanks after the last one and with LF for CR LF: a little less
    # to write than rux_ppp, the same rows.
    query = "select id, val, name, note from t"
    table = TABLE_T.format(n=N_EXPORT)
    rux, anchor = [], []
    for _ in range(suite.runs):
        for name in (out_rux, out_psql):
            if os.path.exists(name):
                os.remove(name)
        server.sql(table)
        r = suite.rux_run(server.uri, script)
        if r[2] == 0 and count_lines(out_rux) != N_EXPORT:
            r = (r[0], r[1], 1, "", "export wrote %d lines" % count_lines(out_rux), r[5])
        rux.append(r)
        server.sql(table)
        r = run([server.psql, "-X", "-A", "-t", "-F", "    ", "-v", "FETCH_COUNT=10000",
                 "-d", server.uri, "-c", query, "-o", out_psql], env=suite.env, cwd=suite.work)
        if r[2] == 0 and count_lines(out_psql) != N_EXPORT:
            r = (r[0], r[1], 1, "", "psql wrote %d lines" % count_lines(out_psql), r[5])
        suite.anchor_ok(r, "psql export")
        anchor.append(r)
    names = ("pg: export 1M rows: time", "pg: export 1M rows: peak RSS")
    err = suite.failed(rux)
    if err:
        for name in names:
            suite.add(name, err, "", "", "", False)
        return
    t_rux = statistics.median(r[0] for r in rux)
    t_psql = statistics.median(r[0] for r in anchor)
    m_rux = statistics.median(r[1] for r in rux)
    m_psql = statistics.median(r[1] for r in anchor)
    suite.add(names[0], timed(rux), "psql " + timed(anchor), "%.2f" % (t_rux / t_psql),
              "ratio <= 1.0", t_rux <= t_psql)
    suite.add(names[1], "%.1f MB" % mb(m_rux), "(psql %.1f MB)" % mb(m_psql), "", "<= 60 MB",
              mb(m_rux) <= 60)
