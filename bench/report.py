#!/usr/bin/env python3
"""The benchmark's report, drawn from the raw results that bench/run keeps.

Usage:
    bench/report.py bench/results/RUN.jsonl
        Print the Markdown report of that run (the one bench/run printed at its end).
    bench/report.py --self-check
        Redraw every bench/results/RUN.jsonl that has a RUN.md beside it and compare the two;
        exits 1 when one differs. Needs no build and runs nothing.
    bench/report.py record FILE KIND [NAME=TEXT | NAME:=JSON]...
        Append one record to FILE (used by bench/run). NAME=TEXT stores a string, NAME:=JSON
        a number, null, list or object; a dotted NAME (machine.cores) nests the value.

A results file holds one JSON object per line, each with a "kind":
    start      the options, the file and its rows per table, the build, the machine, the
               start time (UTC) and load average
    postgres   the server's version and durability settings
    run        one measured run: key (the path), rep, status (full, window, failed, or capped:
               one transaction stopped at the cap), wall and cpu seconds, rss_kb, rows and
               counts (per table) found in the target afterwards (for the engine steps, in
               the file), kenall (seconds until KEN_ALL was done, or null), exit, and the
               start of its error output when it failed
    memory     statements read from brimlow-migrate --sql, and its peak rss_kb
    perf-dso   a line of perf report --sort comm,dso: share (%), comm, dso
    perf-symbol  one of the hottest symbols: share (%), dso, symbol
    perf-unavailable  perf record did not work on the machine
    callgrind  the inclusive instructions (and call counts) of one traced run
    end        the end time (UTC) and load average
Python 3 standard library only.
"""

import json
import os
import re
import sys
from datetime import datetime
from pathlib import Path

KEN_ALL_STATEMENTS = 126029


# ---- recording ------------------------------------------------------------------------------


def argument_text(arg):
    """An argument as text: bytes that are not UTF-8 become U+FFFD rather than failing."""
    return os.fsencode(arg).decode("utf-8", "replace")


def parse_field(arg):
    """NAME=TEXT or NAME:=JSON into (NAME, value). JSON that does not parse is kept as text."""
    name, sep, value = arg.partition("=")
    if not sep or not name:
        raise SystemExit(f"report.py record: {arg!r} is not NAME=TEXT or NAME:=JSON")
    if not name.endswith(":"):
        return name, value
    try:
        return name[:-1], json.loads(value)
    except ValueError:
        print(f"report.py record: {name[:-1]}: {value!r} is not JSON; kept as text", file=sys.stderr)
        return name[:-1], value


def record(path, kind, args):
    """Appends one record, built from NAME=TEXT and NAME:=JSON arguments, to the file."""
    rec = {"kind": kind}
    for arg in args:
        name, value = parse_field(argument_text(arg))
        *parents, leaf = name.split(".")
        node = rec
        for parent in parents:
            node = node.setdefault(parent, {})
        node[leaf] = value
    with open(path, "a", encoding="utf-8") as out:
        out.write(json.dumps(rec, ensure_ascii=False) + "\n")


# ---- numbers and text ---------------------------------------------------------------------


def fixed(value, decimals):
    """The value with a fixed number of decimals, or "-" when there is none."""
    return "-" if value is None else f"{value:.{decimals}f}"


def group(text):
    """Thousands separators in the leading digits: 166140 -> 166,140."""
    while True:
        grouped = re.sub(r"^([0-9]+)([0-9]{3})", r"\1,\2", text)
        if grouped == text:
            return text
        text = grouped


def plain(number):
    """An option's number as it was given: 120, not 120.0."""
    return str(int(number)) if float(number).is_integer() else str(number)


def median(values):
    values = sorted(values)
    if not values:
        return None
    mid = len(values) // 2
    return values[mid] if len(values) % 2 else (values[mid - 1] + values[mid]) / 2


def share(part, whole):
    """100 * part / whole with one decimal, a missing part taken as 0 and a missing whole as 1."""
    return fixed(100 * (part or 0) / (whole or 1), 1)


def per_row(instructions, rows):
    return "-" if instructions is None else fixed(instructions / rows, 0)


def verdict(measured, goal, op):
    """Met, not met or not measured. A ratio or share comes as the text the table prints, so
    that the verdict agrees with the figure beside it (1.00× is met)."""
    if measured in (None, "-"):
        return "not measured"
    value = float(measured)
    return "met" if (value >= goal if op == ">=" else value < goal) else "not met"


def utc_minute(stamp):
    if not stamp:
        return "?"
    return datetime.strptime(stamp, "%Y-%m-%dT%H:%M:%SZ").strftime("%Y-%m-%d %H:%M UTC")


def load_text(load):
    return " ".join(f"{x:.2f}" for x in load) if load else "?"


def table_row(cells):
    return "| " + " | ".join(cells) + " |"


# ---- the results ---------------------------------------------------------------------------


class Results:
    """The records of one results file, and the figures computed from them."""

    def __init__(self, records):
        self.records = records
        self.start = self.first("start")
        self.end = self.first("end")
        self.runs = self.of_kind("run")
        self.total_rows = self.start["file"]["rows"]

    @classmethod
    def load(cls, path):
        with open(path, encoding="utf-8") as f:
            records = [json.loads(line) for line in f if line.strip()]
        if not any(r.get("kind") == "start" for r in records):
            raise SystemExit(f"report.py: {path} has no start record: not a results file of bench/run")
        return cls(records)

    def of_kind(self, kind):
        return [r for r in self.records if r["kind"] == kind]

    def first(self, kind):
        found = self.of_kind(kind)
        return found[0] if found else {}

    def measured(self, key):
        """The runs of a path that give a rate: whole-file runs and windows."""
        return [r for r in self.runs if r["key"] == key and r["status"] in ("full", "window")]

    def summary(self, key):
        """Counts and medians of one path. The rate is the median rows/s of all its runs
        (whole-file and windows); wall, CPU and KEN_ALL come from whole-file runs only."""
        runs = [r for r in self.runs if r["key"] == key]
        full = [r for r in runs if r["status"] == "full"]
        windows = [r for r in runs if r["status"] == "window"]
        both = full + windows
        kenall = [r["kenall"] for r in full if r.get("kenall") is not None]
        return {
            "n": len(full),
            "nw": len(windows),
            "nf": sum(r["status"] == "failed" for r in runs),
            "rate": median([r["rows"] / r["wall"] for r in both]),
            "wall_min": min((r["wall"] for r in full), default=None),
            "wall_median": median([r["wall"] for r in full]),
            "cpu_median": median([r["cpu"] for r in full]),
            "rss_max": max((r["rss_kb"] for r in both), default=None),
            "kenall": median(kenall),
            "window": median([r["wall"] for r in windows]),
        }

    def rate(self, key):
        return self.summary(key)["rate"]

    def ratio(self, a, b):
        """Brimlow's rate over the peer's: the median of the ratios of the runs with the same
        number (made one after the other, so both met the same load); without such pairs,
        the ratio of the medians. Text with two decimals, or "-"."""
        rate_a = {r["rep"]: r["rows"] / r["wall"] for r in self.measured(a)}
        rate_b = {r["rep"]: r["rows"] / r["wall"] for r in self.measured(b)}
        pairs = [rate_a[k] / rate_b[k] for k in rate_a if k in rate_b and rate_b[k] > 0]
        if pairs:
            return fixed(median(pairs), 2)
        x, y = self.rate(a), self.rate(b)
        return "-" if x is None or y is None else fixed(x / y, 2)

    def full_wall(self, key):
        """The wall time of a whole run: measured, or for windows the file at their rate."""
        s = self.summary(key)
        if s["n"]:
            return s["wall_median"]
        if s["nw"]:
            return self.total_rows / s["rate"]
        return None

    def memory(self):
        """(statements, peak RSS in kB) in the order measured; the last is the whole file."""
        return [(m["statements"], m["rss_kb"]) for m in self.of_kind("memory")]

    def callgrind(self, trace):
        found = [c for c in self.of_kind("callgrind") if c.get("trace") == trace]
        return found[0] if found else {}


# ---- the report --------------------------------------------------------------------------


def path_row(res, key, label, ratio_text=""):
    """A path's row: label, runs, rows/s, wall, KEN_ALL, CPU, peak RSS, ratio."""
    s = res.summary(key)
    if s["n"] == 0 and s["nw"] == 0:
        runs = f"failed ({s['nf']})" if s["nf"] else "stopped at the cap (one transaction: nothing committed)"
        return [label, runs, "-", "-", "-", "-", "-", ratio_text]
    window = fixed(s["window"], 0)
    if s["nw"] == 0:
        runs = str(s["n"])
    elif s["n"] == 0:
        runs = f"1 window of {window} s" if s["nw"] == 1 else f"{s['nw']} windows of {window} s"
    else:
        runs = f"{s['n']} + {s['nw']} windows of {window} s"
    if s["nf"] > 0:
        runs += f", {s['nf']} failed"
    if s["n"] > 0:
        wall = f"{fixed(s['wall_min'], 2)} / {fixed(s['wall_median'], 2)}"
        cpu = fixed(s["cpu_median"], 2)
    else:
        wall = f"≈ {fixed(res.total_rows / s['rate'], 0)} (est.)"
        cpu = "-"
    return [label, runs, group(fixed(s["rate"], 0)), wall, fixed(s["kenall"], 2), cpu,
            fixed(s["rss_max"] / 1024, 1), ratio_text]


def paths_table(res, quick):
    r = res.ratio
    rows = [
        path_row(res, "brimlow-sqlite-wal", "**Brimlow → SQLite, WAL** (scripts/prepare-target)",
                 f"**{r('brimlow-sqlite-wal', 'peer-sqlite-wal-normal')}×** per-row peer; "
                 f"{r('brimlow-sqlite-wal', 'tx-sqlite-wal')}× one transaction"),
        path_row(res, "peer-sqlite-wal-normal", "mdb-export -I sqlite -S 1 \\| sqlite3, per row, WAL, "
                 "synchronous=NORMAL (as sqlite3odbc sets it)"),
    ]
    if not quick:
        rows.append(path_row(res, "peer-sqlite-wal-default",
                             "same, sqlite3's default synchronous=FULL (an fsync per row)",
                             f"{r('brimlow-sqlite-wal', 'peer-sqlite-wal-default')}× this"))
    rows += [
        path_row(res, "tx-sqlite-wal", "mdb-export \\| sqlite3, one transaction, WAL (upper bound)"),
        path_row(res, "brimlow-sqlite-delete", "**Brimlow → SQLite, rollback journal**",
                 f"**{r('brimlow-sqlite-delete', 'peer-sqlite-delete-normal')}×** per-row peer; "
                 f"{r('brimlow-sqlite-delete', 'tx-sqlite-delete')}× one transaction"),
        path_row(res, "peer-sqlite-delete-normal", "mdb-export -I sqlite -S 1 \\| sqlite3, per row, "
                 "rollback journal, synchronous=NORMAL"),
        path_row(res, "tx-sqlite-delete",
                 "mdb-export \\| sqlite3, one transaction, rollback journal (upper bound)"),
        path_row(res, "brimlow-postgres", "**Brimlow → PostgreSQL** (psqlODBC, TCP 127.0.0.1)",
                 f"**{r('brimlow-postgres', 'peer-postgres')}×** per-row peer; "
                 f"{r('brimlow-postgres', 'tx-postgres')}× one transaction"),
        path_row(res, "peer-postgres", "mdb-export -I postgres -S 1 \\| psql, per row (TCP 127.0.0.1)"),
        path_row(res, "tx-postgres", "mdb-export -I postgres -S 1 \\| psql, one transaction (upper bound)"),
    ]
    return "\n".join(table_row(row) for row in rows)


def replace_table(res):
    r = res.ratio
    rows = [
        path_row(res, "brimlow-replace-sqlite-wal", "**brimlow-migrate --replace → SQLite, WAL**",
                 f"**{r('brimlow-replace-sqlite-wal', 'txm-sqlite-wal')}×** multi-row peer"),
        path_row(res, "txm-sqlite-wal", "mdb-export \\| sqlite3, one transaction, default multi-row "
                 "INSERTs, WAL, synchronous=NORMAL"),
        path_row(res, "brimlow-replace-postgres",
                 "**brimlow-migrate --replace → PostgreSQL** (psqlODBC, TCP 127.0.0.1)",
                 f"**{r('brimlow-replace-postgres', 'txm-postgres')}×** multi-row peer"),
        path_row(res, "txm-postgres", "mdb-export -I postgres \\| psql, one transaction, default "
                 "multi-row INSERTs"),
    ]
    return "\n".join(table_row(row) for row in rows)


def engine_table(res):
    steps = [
        ("engine-walk", "raw libmdb walk, no decoding (bench/mdb_walk.cpp)"),
        ("engine-vet", "brimlow-vet: the file check in its own process (walks every row of every "
                       "table; decodes Memo and Access 97 text)"),
        ("engine-sql", "brimlow-migrate --sql >/dev/null: check + read + decode + render + build"),
        ("engine-export", "mdb-export -I sqlite of the eight tables >/dev/null"),
    ]
    lines = []
    for key, label in steps:
        cells = path_row(res, key, label)
        del cells[7], cells[4]  # no ratio, no KEN_ALL
        lines.append(table_row(cells))
    return "\n".join(lines)


def command_line(opts):
    """The command as the user would type it for these options."""
    quick = opts["quick"]
    cmd = "bench/run"
    if quick:
        cmd += " --quick"
    else:
        if opts["reps"] != 3:
            cmd += f" --reps {plain(opts['reps'])}"
        if opts["cap"] != 120:
            cmd += f" --cap {plain(opts['cap'])}"
        if opts["window"] != 30:
            cmd += f" --window {plain(opts['window'])}"
        if not opts["profile"]:
            cmd += " --no-profile"
    return cmd


def header(res):
    start, end = res.start, res.end
    opts, machine, build = start["options"], start["machine"], start["build"]
    pg = res.first("postgres")
    settings = ", ".join(f"{k}={v}" for k, v in sorted(pg.get("settings", {}).items()))
    fsync = machine.get("fdatasync_ms")
    rotational = machine.get("tmp_rotational")
    kenall = start["file"]["tables"]["KEN_ALL"]
    dirty = " plus uncommitted changes in migration/, dbaccess/, app/" if build.get("uncommitted_changes") else ""
    return f"""## Brimlow benchmark: kenall-full.mdb ({group(str(res.total_rows))} rows, {group(str(kenall))} in KEN_ALL)

- Date: {utc_minute(start.get("started"))} to {utc_minute(end.get("finished"))}
- Machine: {machine["cores"]} cores, {machine["cpu_model"]}, {machine["mem_kb"] / 1048576:.1f} GB; /tmp on {machine["tmp_device"]} ({machine["tmp_fs"]}, rotational={"?" if rotational is None else rotational}), fdatasync of a 4 KB write {fixed(fsync, 2) if fsync is not None else "?"} ms
- Load average (1/5/15 min): {load_text(start.get("load"))} at the start, {load_text(end.get("load"))} at the end
- Command: `{command_line(opts)}` ({plain(opts["reps"])} run(s) of each path, whole-file runs capped at {plain(opts["cap"])} s, windows of {plain(opts["window"])} s)
- Build: Release, {build["dir"]}; brimlow-migrate at {build.get("commit") or ""}{dirty}
- PostgreSQL {pg.get("version", 15)}: {settings}
"""


def section_paths(res):
    return f"""
### 1. Migrating the whole file: Brimlow against the tools a user would use

Every run starts on a fresh target with the project's schema (the peers' targets also get the
Col01 key that mdb-export writes); each run's rows are counted afterwards, and a run that left
a table short is reported as failed, never as a figure. Wall and KEN_ALL are seconds from the
start (KEN_ALL: until its table is done); CPU is user + system seconds of the client processes
(Brimlow with its file check and the in-process SQLite; mdb-export plus sqlite3 or psql; not the
PostgreSQL server). Peak RSS: Brimlow's process; for a pipeline, mdb-export plus its client.
Ratio: Brimlow's rows/s over the peer's.

| path | runs | rows/s (median) | wall min / median s | KEN_ALL s | CPU s | peak RSS MB | Brimlow / peer |
|---|---|---|---|---|---|---|---|
{paths_table(res, res.start["options"]["quick"])}

Replacing the contents in one transaction (`--replace`: delete, insert every row, commit), against
the same in one transaction with mdb-export's default multi-row INSERTs:

| path | runs | rows/s (median) | wall min / median s | KEN_ALL s | CPU s | peak RSS MB | Brimlow / peer |
|---|---|---|---|---|---|---|---|
{replace_table(res)}

Windows: a run stopped after the given seconds; its rate is the rows committed by then (counted
in the target) over that time, start-up included, and its whole-file wall time is estimated
from that rate (est.). Brimlow and its peer alternate run by run, and the ratio is the median
of the run-against-run ratios, so that both sides of a ratio met the same load.
"""


def engine_shares(res):
    """The engine's (--sql) share of a whole run, as printed: wall into SQLite (WAL), CPU into
    SQLite (WAL), wall into PostgreSQL."""
    sql = res.summary("engine-sql")
    wal_cpu = res.summary("brimlow-sqlite-wal")["cpu_median"]
    wal_wall, pg_wall = res.full_wall("brimlow-sqlite-wal"), res.full_wall("brimlow-postgres")

    def pct(part, whole):
        return "-" if part is None or whole is None else fixed(100 * part / whole, 1)

    return (pct(sql["wall_median"], wal_wall), pct(sql["cpu_median"], wal_cpu),
            pct(sql["wall_median"], pg_wall))


def section_engine(res):
    share_wall, share_cpu, share_pg = engine_shares(res)
    memory = "\n".join(f"| {group(str(s))} | {r / 1024:.1f} |" for s, r in res.memory())
    return f"""
### 2. The engine's own cost (no target)

| step | runs | rows/s (median) | wall min / median s | CPU s | peak RSS MB |
|---|---|---|---|---|---|
{engine_table(res)}

Engine share of a full run: **{share_wall} %** of the SQLite (WAL) run's wall time
({share_cpu} % of its CPU time); {share_pg} % of the PostgreSQL run's wall time.

### 3. Memory: peak RSS against the number of statements (brimlow-migrate --sql | head -n N)

| statements | peak RSS MB |
|---|---|
{memory}

"""


PERF_GROUPS = [
    ("Brimlow: our code, libmdb, libstdc++, glib",
     lambda dso: dso == "brimlow-migrate" or dso.startswith(("libmdb", "libstdc++", "libglib"))),
    ("SQLite ODBC driver (libsqlite3odbc)", lambda dso: dso.startswith("libsqlite3odbc")),
    ("unixODBC driver manager", lambda dso: dso.startswith("libodbc")),
    ("SQLite (libsqlite3)", lambda dso: dso.startswith("libsqlite3")),
    ("kernel (SQLite locking and writes, our reads)", lambda dso: "kernel" in dso),
    ("libc (malloc/free of both sides, syscall wrappers)", lambda dso: dso.startswith("libc.")),
]


def perf_group(comm, dso):
    """Where a perf sample's (command, library) belongs in the report."""
    if comm == "brimlow-vet":
        return "Brimlow: brimlow-vet, the file check (whole process)"
    for name, matches in PERF_GROUPS:
        if matches(dso):
            return name
    return "other (loader, timeout)"


def perf_table(res):
    if res.of_kind("perf-unavailable"):
        return "| perf record does not work here | - |"
    shares = {}
    for line in res.of_kind("perf-dso"):
        name = perf_group(line["comm"], line["dso"])
        shares[name] = shares.get(name, 0) + line["share"]
    rows = [(round(s, 1), f"| {name} | {s:.1f} % |") for name, s in shares.items()]
    return "\n".join(text for _, text in sorted(rows, reverse=True))


def perf_symbols(res):
    lines = []
    for sym in res.of_kind("perf-symbol"):
        name = " " + sym["symbol"] if sym["symbol"] else ""
        if len(name) > 90:
            name = name[:87] + "..."
        lines.append(f"| {sym['share']:.2f}% | {sym['dso']} |{name} |")
    return "\n".join(lines)


def inclusive(res, trace):
    """The inclusive instructions of the traced functions of one callgrind trace, by name."""
    return res.callgrind(trace).get("inclusive", {})


def engine_stages(res):
    """The rows of the callgrind table of brimlow-migrate --sql: (stage, instructions)."""
    inc = inclusive(res, "engine")
    total, get, decode = inc.get("CMigrationRun::CopyTable"), inc.get("CDaoRecordset::GetFieldValue"), \
        inc.get("MdbTableReader::Value")
    build = inc.get("CInsertItemList::AppendValues")
    parts = ["MdbTableReader::Next", "CDaoRecordset::GetFieldValue", "CInsertItemList::AddItem"]
    if "CStatementWriter::InsertRow" in inc:
        # The target receives the row and builds its statement: its cost holds AppendValues.
        parts.append("CStatementWriter::InsertRow")
        write = inc["CStatementWriter::InsertRow"] - (build or 0)
    else:
        # Traces of a build whose engine built the statement and handed over the text.
        parts += ["CInsertItemList::AppendValues", "CStatementWriter::ExecuteSQL"]
        write = inc.get("CStatementWriter::ExecuteSQL")
    other = (total or 0) - sum(inc.get(p) or 0 for p in parts)
    return total, [
        ("read: libmdb fetch and split (MdbTableReader::Next)", inc.get("MdbTableReader::Next")),
        ("decode: field bytes to values (MdbTableReader::Value)", decode),
        ("column lookup and value hand-over (CDaoRecordset::GetFieldValue less Value)",
         (get or 0) - (decode or 0)),
        ("render: CInsertItemList::AddItem (RenderValue, list entry)", inc.get("CInsertItemList::AddItem")),
        ("build: CInsertItemList::AppendValues (the head is built once per table)", build),
        ("write the statement to stdout (CStatementWriter)", write),
        ("the rest of the row loop (list, destructors, progress)", other),
    ]


def run_parts(res):
    """The rows of the callgrind table of a run of sample.mdb: (part, instructions)."""
    inc = inclusive(res, "run")
    total, execute = inc.get("CMigrationRun::CopyTable"), inc.get("CDatabase::ExecuteSQL")
    prepare, step = inc.get("sqlite3_prepare_v2"), inc.get("sqlite3_step")
    finalize = inc.get("sqlite3_finalize")
    driver = (execute or 0) - (prepare or 0) - (step or 0) - (finalize or 0)
    return total, [
        ("Brimlow engine (row loop less ExecuteSQL)", (total or 0) - (execute or 0)),
        ("SQLite: sqlite3_prepare_v2 (parsing the statement)", prepare),
        ("SQLite: sqlite3_step (insert and commit)", step),
        ("SQLite: sqlite3_finalize", finalize),
        ("driver manager + driver + our ODBC calls (ExecuteSQL less the above)", driver),
        ("of which SQLMoreResults + SQLFreeStmt(SQL_CLOSE)",
         (inc.get("SQLMoreResults") or 0) + (inc.get("SQLFreeStmt") or 0)),
    ]


def section_profile(res):
    rows = res.total_rows
    sample_rows = res.start.get("sample", {}).get("rows")
    engine_total, stages = engine_stages(res)
    run_total, parts = run_parts(res)
    mallocs = res.callgrind("engine").get("calls", {}).get("malloc") or 0
    allocs = res.callgrind("run").get("calls", {}).get("SQLAllocHandle")
    stage_rows = "\n".join(f"| {name} | {per_row(n, rows)} | {share(n, engine_total)} % |" for name, n in stages)
    part_rows = "\n".join(f"| {name} | {per_row(n, sample_rows or 1)} | {share(n, run_total)} % |"
                          for name, n in parts)
    reused = "reused across rows" if (99 if allocs is None else allocs) <= 5 else "NOT reused: allocated per row"
    return f"""### 4. Profile of a run into SQLite

perf (cpu-clock samples) of one full run of kenall-full.mdb into SQLite (WAL), by library:

| where | share of CPU samples |
|---|---|
{perf_table(res)}

Hottest symbols:

| share | library | symbol |
|---|---|---|
{perf_symbols(res)}

callgrind, `brimlow-migrate --sql kenall-full.mdb` (the engine alone, in-process; brimlow-vet
not traced): instructions per row ({group(str(rows))} rows), {mallocs / rows:.1f} malloc calls per row.

| stage | instructions / row | share |
|---|---|---|
{stage_rows}
| **all** | **{per_row(engine_total, rows)}** | 100 % |

callgrind, a full run of tests/data/sample.mdb ({group(str(sample_rows or 0))} rows) into SQLite (WAL):
instructions per row (user space only: the kernel's locking and writes are not counted).

| part | instructions / row | share |
|---|---|---|
{part_rows}

SQLAllocHandle calls in the whole run: {"?" if allocs is None else allocs} (environment, connection, and statement
handles: the statement handle is {reused}).

"""


def section_goals(res):
    r = res.ratio
    share_wall = engine_shares(res)[0]
    sql_rate = res.rate("engine-sql")
    wal_ken = res.summary("brimlow-sqlite-wal")["kenall"]
    memory = res.memory()
    m10 = next((kb for s, kb in memory if s == 10000), None)
    m126 = next((kb for s, kb in memory if s == KEN_ALL_STATEMENTS), None)
    mall = memory[-1][1] if memory else None
    mmax = max(m126 or 0, mall or 0)
    flat = fixed(mmax / (m10 or 1), 3)
    goals = [
        ("Brimlow ≥ 1.0× the per-row peer, SQLite (WAL)", r("brimlow-sqlite-wal", "peer-sqlite-wal-normal"), "×", 1.0, ">="),
        ("Brimlow ≥ 1.0× the per-row peer, SQLite (rollback journal)",
         r("brimlow-sqlite-delete", "peer-sqlite-delete-normal"), "×", 1.0, ">="),
        ("Brimlow ≥ 1.0× the per-row peer, PostgreSQL", r("brimlow-postgres", "peer-postgres"), "×", 1.0, ">="),
        ("--replace ≥ 1.0× mdb-export \\| sqlite3 in one transaction, multi-row",
         r("brimlow-replace-sqlite-wal", "txm-sqlite-wal"), "×", 1.0, ">="),
        ("--replace ≥ 1.0× mdb-export \\| psql in one transaction, multi-row",
         r("brimlow-replace-postgres", "txm-postgres"), "×", 1.0, ">="),
    ]
    lines = [f"| {goal} | {value}{unit} | {verdict(value, target, op)} |" for goal, value, unit, target, op in goals]
    sql_text = "-" if sql_rate is None else group(fixed(sql_rate, 0))
    lines += [
        f"| engine (--sql >/dev/null, check included) ≥ 800,000 rows/s | {sql_text} | "
        f"{verdict(sql_rate, 800000, '>=')} |",
        f"| engine ≥ 2× mdb-export -I sqlite of the eight tables | {r('engine-sql', 'engine-export')}× | "
        f"{verdict(r('engine-sql', 'engine-export'), 2.0, '>=')} |",
        f"| engine share of a full SQLite (WAL) run < 5 % (wall) | {share_wall} % | {verdict(share_wall, 5, '<')} |",
        f"| KEN_ALL into the embedded target < 10 s (median) | {fixed(wal_ken, 2)} s | {verdict(wal_ken, 10, '<')} |",
        f"| peak RSS flat: 10,000 statements vs 126,029 (all KEN_ALL) and the whole file | "
        f"{(m10 or 0) / 1024:.1f} MB vs {(m126 or 0) / 1024:.1f} MB and {(mall or 0) / 1024:.1f} MB | "
        f"{verdict(flat, 1.15, '<')} (within 15 %) |",
    ]
    return """### Goals (reported, never enforced)

| goal | measured | |
|---|---|---|
""" + "\n".join(lines) + "\n"


def report(res):
    text = header(res) + section_paths(res) + section_engine(res)
    if res.start["options"]["profile"]:
        text += section_profile(res)
    return text + section_goals(res)


# ---- checking ------------------------------------------------------------------------------


def self_check():
    """Redraws each results file that has its printed report beside it; 0 when all match."""
    folder = Path(__file__).resolve().parent / "results"
    pairs = [(j, j.with_suffix(".md")) for j in sorted(folder.glob("*.jsonl")) if j.with_suffix(".md").exists()]
    if not pairs:
        print(f"report.py --self-check: no RUN.jsonl with a RUN.md in {folder}", file=sys.stderr)
        return 1
    failed = 0
    for jsonl, md in pairs:
        same = report(Results.load(jsonl)) == md.read_text(encoding="utf-8")
        print(f"{'same' if same else 'DIFFERS'}: {jsonl.name} against {md.name}")
        failed += not same
    print(f"{len(pairs) - failed} passed, {failed} failed")
    return 1 if failed else 0


def main(argv):
    if len(argv) >= 3 and argv[0] == "record":
        record(argv[1], argv[2], argv[3:])
        return 0
    if argv == ["--self-check"]:
        return self_check()
    if len(argv) == 1 and not argv[0].startswith("-"):
        sys.stdout.write(report(Results.load(argv[0])))
        return 0
    print(__doc__, file=sys.stderr if argv not in (["-h"], ["--help"]) else sys.stdout)
    return 0 if argv in (["-h"], ["--help"]) else 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
