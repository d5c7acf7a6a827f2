#!/usr/bin/env python3
"""A small TDS 7.4 server for the tests: enough of SQL Server's wire protocol for FreeTDS's
ODBC driver to log in, run Brimlow's statements, manage transactions and read tables back,
and just enough of an SQL engine to hold the rows it is sent as SQL Server would.

    python3 tests/support/tds_server.py --port N --record FILE [options]

Every request received goes to FILE as one JSON line, written as it arrives:
  {"n": 1, "connection": 1, "kind": "prelogin", "options": {"0": "0900…", "1": "02", …}}
  {"n": 2, "connection": 1, "kind": "login", "user": ..., "password": ..., "database": ...}
  {"n": 3, "connection": 1, "kind": "batch", "text": "insert into ...", "batch": 1,
   "transaction": false, "rows": 2}        (rows: of an insert's VALUES list)
  kinds: prelogin, login (with its FeatureExt ids), batch, begin, commit, rollback (with
  "begin_new": true when the client asked for a new transaction at once), attention, closed
  (noted when the server sees it, possibly after the client has ended). "transaction" is
  whether a transaction was open when the request arrived.

Tables: those of --schema (create table statements; schema/sqlserver.sql by default) exist
from the start with the column types declared there; "create table" adds one; an insert into
a table nobody created makes one whose columns take any value. The literals understood are
'text' (a quote doubled inside), N'text', NULL and numbers. Each value is stored as the
column's type holds it: text in nvarchar/varchar/nchar/char (char pads with blanks), integers
in int/bigint/smallint/tinyint/bit, 'yyyy/mm/dd hh:mm:ss' in datetime2/datetime/
smalldatetime/date (date keeps the day alone). A statement that fails stores none of its rows.
A transaction works on a copy that a commit makes the committed contents. What is committed
goes to --state FILE (JSON {"table": [rows as value lists, e.g. "('01101',NULL,0)"]}) after
every change; tables are listed there once something was inserted into or deleted from them.

Answers: insert - DONE with the rows of its VALUES list (SQL Server's error for a value its
column cannot take, for a wrong number of values, for more than 1,000 rows); delete - DONE
with the rows the table held; "drop table T" - DONE, T gone; "select c1,…,cn from T" (or *;
T may be [T] or dbo.T; an optional "with (hints)" and "where 1=0") - the columns described
as their declared types, then the rows, streamed: a result of any size is sent as it is
encoded; an ATTENTION arriving meanwhile ends it; "select count(*) from T" - one row with T's count; "select
'text'" - one row with the text (as SQL Server quotes: '' is one '); "create temporary
table" - SQL Server's error 343 (it knows only #tables); "select @@SPID" - one row, 50 + the
connection's number; a batch calling sp_getapplock - one row, 0 (granted: the server has no
lock manager); anything else - DONE without a count.

What the server stores of text that its columns or its code page cannot hold:
  --ansi-warnings on|off  on (SQL Server's default for ODBC sessions): a text longer than its
                       column fails the statement with error 2628, unless what is cut is
                       blanks; off (SET ANSI_WARNINGS OFF): it is cut to the column's length,
                       silently. Lengths are SQL Server's: nvarchar(n)/nchar(n) in UTF-16 code
                       units, varchar(n)/char(n) in bytes of the code page.
  --code-page N        the code page of the database's collation: 65001 (UTF-8, the default:
                       every character is kept), 1252 (Latin1_General_CI_AS) or 932
                       (Japanese_CI_AS). A '…' literal without N is read in it, as SQL Server
                       reads one, before it reaches any column, and varchar/char columns hold
                       text in it: a character outside it is stored as '?'.
  --varchar            every nvarchar/nchar column of the schema is declared varchar/char
                       instead (a schema written for a single-byte database)
  --column T.C=TYPE    column C of table T is declared TYPE instead (e.g. Mst01.Col09=
                       nvarchar(4)), after --varchar
  --schema FILE        the create table statements of the tables that exist at the start

Test controls:
  --error N=CODE       the Nth SQL batch the server receives (from 1, all connections)
                       is answered with SQL Server's error CODE instead of running
  --error-on TEXT=CODE the first batch whose text contains TEXT is answered so
                       (CODE: 2627 duplicate key, 208 missing table, 1222 lock timeout,
                       1205 deadlock victim, 6005 the server shutting down)
  --hold-on TEXT       the first batch whose text contains TEXT gets no answer until the
                       client gives up on it (ATTENTION; FreeTDS sends one at its statement
                       timeout), as a statement waiting for a lock would
  --drop-on WHAT       the connection is closed, unanswered, when the first such request
                       arrives: begin, commit or rollback (transaction manager requests) or
                       a batch number N; the request is recorded first. "commit-done":
                       the commit is made, then the connection closed before its answer
  --rows T=N           table T holds N rows at the start (counted by select count(*); their
                       columns read as NULL; listed in the state as "(0)", "(1)", …)
  --port 0             choose a free port; it is printed ("listening on 127.0.0.1:PORT")
                       and written to --port-file when given
"""

import argparse
import datetime
import json
import os
import re
import select
import socket
import socketserver
import struct
import sys
import threading

# Packet types (the first byte of the 8-byte packet header).
PKT_SQL_BATCH = 0x01
PKT_REPLY = 0x04  # tabular result: every answer of the server
PKT_ATTENTION = 0x06
PKT_TRANSACTION_MANAGER = 0x0E
PKT_LOGIN7 = 0x10
PKT_PRELOGIN = 0x12
STATUS_EOM = 0x01  # last packet of a message

# Tokens of a tabular result.
COLMETADATA = 0x81
ERROR = 0xAA
LOGINACK = 0xAD
ROW = 0xD1
ENVCHANGE = 0xE3
DONE = 0xFD
DONE_FINAL, DONE_ERROR, DONE_COUNT, DONE_ATTN = 0x00, 0x02, 0x10, 0x20
CURCMD_SELECT, CURCMD_INSERT, CURCMD_DELETE = 0xC1, 0xC3, 0xC4

# ENVCHANGE types.
ENV_DATABASE, ENV_LANGUAGE, ENV_PACKETSIZE, ENV_COLLATION = 1, 2, 4, 7
ENV_BEGIN_TRAN, ENV_COMMIT_TRAN, ENV_ROLLBACK_TRAN = 8, 9, 10

# Transaction manager request types.
TM_BEGIN_XACT, TM_COMMIT_XACT, TM_ROLLBACK_XACT = 5, 7, 8

# Data types of column metadata: their TYPE_INFO byte.
INTN, BITN, DATEN, DATETIME2N, DATETIMN = 0x26, 0x68, 0x28, 0x2A, 0x6F
BIGVARCHAR, BIGCHAR, NVARCHAR, NCHAR = 0xA7, 0xAF, 0xE7, 0xEF
MAX_LENGTH = 0xFFFF  # the declared length of a (n)varchar(max): values go as PLP chunks
PLP_NULL = b"\xff" * 8

# SQL Server's messages for its errors that the server gives: (class, state, text).
ERRORS = {
    2627: (14, 1, "Violation of PRIMARY KEY constraint 'PK_{table}'. Cannot insert duplicate "
           "key in object 'dbo.{table}'. The duplicate key value is (1)."),
    208: (16, 1, "Invalid object name '{table}'."),
    6005: (14, 1, "SHUTDOWN is in progress."),
    1222: (16, 56, "Lock request time out period exceeded."),
    1205: (13, 51, "Transaction (Process ID 52) was deadlocked on lock resources with another "
           "process and has been chosen as the deadlock victim. Rerun the transaction."),
    343: (15, 1, "Unknown object type 'temporary' used in a CREATE, DROP, or ALTER statement."),
    102: (15, 1, "Incorrect syntax near '{near}'."),
    109: (15, 1, "There are more columns in the INSERT statement than values specified in the "
          "VALUES clause. The number of values in the VALUES clause must match the number of "
          "columns specified in the INSERT statement."),
    110: (15, 1, "There are fewer columns in the INSERT statement than values specified in the "
          "VALUES clause. The number of values in the VALUES clause must match the number of "
          "columns specified in the INSERT statement."),
    206: (16, 2, "Operand type clash: {value} is incompatible with {type}"),
    207: (16, 1, "Invalid column name '{column}'."),
    241: (16, 1, "Conversion failed when converting date and/or time from character string."),
    242: (16, 3, "The conversion of a varchar data type to a {type} data type resulted in an "
          "out-of-range value."),
    245: (16, 1, "Conversion failed when converting the varchar value '{value}' to data type "
          "{type}."),
    515: (16, 2, "Cannot insert the value NULL into column '{column}', table "
          "'{database}.dbo.{table}'; column does not allow nulls. INSERT fails."),
    2628: (16, 1, "String or binary data would be truncated in table '{database}.dbo.{table}', "
           "column '{column}'. Truncated value: '{value}'."),
    2714: (16, 6, "There is already an object named '{table}' in the database."),
    8115: (16, 2, "Arithmetic overflow error converting expression to data type {type}."),
    10738: (15, 1, "The number of row value expressions in the INSERT statement exceeds the "
            "maximum allowed number of 1000 row values."),
}

# The collations a database can have here, by code page: (COLLATION bytes, Python codec).
# The bytes are LCID and flags (4, little-endian) and the SQL sort id.
COLLATIONS = {
    65001: (bytes.fromhex("0904d02400"), "utf-8"),  # Latin1_General_100_CI_AS_SC_UTF8
    1252: (bytes.fromhex("0904d00034"), "cp1252"),  # SQL_Latin1_General_CP1_CI_AS
    932: (bytes.fromhex("1104d00000"), "cp932"),  # Japanese_CI_AS
}

PACKET_SIZE = 4096
SERVER_NAME = "BRIMLOWTEST"
DEFAULT_SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "schema",
                              "sqlserver.sql")


class SqlError(Exception):
    """A statement refused with SQL Server's error number; fields fill in its text."""

    def __init__(self, number, **fields):
        super().__init__(number)
        self.number = number
        self.fields = fields


def b_varchar(text):
    """B_VARCHAR: a length in characters (1 byte), then UTF-16LE."""
    data = text.encode("utf-16-le")
    return bytes([len(data) // 2]) + data


def us_varchar(text):
    """US_VARCHAR: a length in characters (2 bytes), then UTF-16LE."""
    data = text.encode("utf-16-le")
    return struct.pack("<H", len(data) // 2) + data


def envchange(kind, new, old):
    """ENVCHANGE: new and old value, each a B_VARCHAR (text) or a B_VARBYTE (bytes)."""
    def value(v):
        return b_varchar(v) if isinstance(v, str) else bytes([len(v)]) + v
    body = bytes([kind]) + value(new) + value(old)
    return struct.pack("<BH", ENVCHANGE, len(body)) + body


def done(status=DONE_FINAL, curcmd=0, rows=0):
    """DONE: status, current command, row count (8 bytes since TDS 7.2)."""
    return struct.pack("<BHHQ", DONE, status, curcmd, rows)


def error_token(number, **fields):
    cls, state, text = ERRORS[number]
    values = dict(table="T", column="", value="", type="", near="", database="master")
    values.update(fields)
    body = (struct.pack("<iBB", number, state, cls) + us_varchar(text.format(**values)) +
            b_varchar(SERVER_NAME) + b_varchar("") + struct.pack("<i", 1))
    return struct.pack("<BH", ERROR, len(body)) + body


def count_result(name, count):
    """One int column (INT4, not nullable), one ROW, DONE with its count."""
    meta = struct.pack("<BH", COLMETADATA, 1) + struct.pack("<IHB", 0, 0, 0x38) + b_varchar(name)
    return meta + bytes([ROW]) + struct.pack("<i", count) + done(DONE_COUNT, CURCMD_SELECT, 1)


def text_result(value):
    """One nvarchar column, one ROW holding value, DONE with its count."""
    data = value.encode("utf-16-le")
    meta = (struct.pack("<BH", COLMETADATA, 1) + struct.pack("<IHBH", 0, 1, 0xE7, 8000) +
            bytes.fromhex("0904d00034") + b_varchar(""))
    return (meta + bytes([ROW]) + struct.pack("<H", len(data)) + data +
            done(DONE_COUNT, CURCMD_SELECT, 1))


def value_rows(values_text):
    """The top-level parenthesised groups of a VALUES list; a quote inside a literal is
    doubled, so that reading '' as an end and a new start keeps the state right."""
    rows, depth, start, quoted = [], 0, 0, False
    for i, c in enumerate(values_text):
        if c == "'":
            quoted = not quoted
        elif quoted:
            continue
        elif c == "(":
            depth += 1
            if depth == 1:
                start = i
        elif c == ")":
            depth -= 1
            if depth == 0:
                rows.append(values_text[start:i + 1])
    return rows


INSERT = re.compile(r"\s*insert\s+into\s+([#\w]+)\s*(\([^)]*\))?\s*values\s*", re.I | re.S)
DELETE = re.compile(r"\s*delete\s+from\s+([#\w]+)", re.I)
DROP = re.compile(r"\s*drop\s+table\s+([#\w]+)", re.I)
LITERAL = re.compile(r"\s*select\s+'((?:[^']|'')*)'\s*;?\s*$", re.I)
# A table named in a select: T, [T], dbo.T or [dbo].[T]; the group is T.
TABLE = r"(?:\[?\w+\]?\.)?\[?([#\w]+)\]?"
COUNT = re.compile(r"\s*select\s+count\s*\(\s*\*\s*\)\s+from\s+" + TABLE + r"\s*;?\s*$", re.I)
CREATE = re.compile(r"\s*create\s+table\s+([#\w]+)\s*\((.*)\)\s*;?\s*$", re.I | re.S)
SELECT = re.compile(r"\s*select\s+(.+?)\s+from\s+" + TABLE + r"(?:\s+with\s*\([^)]*\))?"
                    r"(\s+where\s+1\s*=\s*0)?\s*;?\s*$", re.I | re.S)
NAME = re.compile(r"\s*(?:\[([^\]]+)\]|\"([^\"]+)\"|([#\w]+))\s*$")

# The parts of a VALUES list: punctuation, and the literals (N'…', '…', NULL, numbers).
PUNCT = re.compile(r"\s*([(),;])")
VALUE = re.compile(r"\s*(?:(N?)'([^']*(?:''[^']*)*)'|(NULL)\b|([-+]?\d+(?:\.\d*)?(?:e[-+]?\d+)?)"
                   r"(?![\w.]))", re.I)
DATE_TIME = re.compile(r"\s*(\d{1,4})[-/.](\d{1,2})[-/.](\d{1,2})"
                       r"(?:[ T]+(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,7}))?)?)?\s*$")


def options(payload):
    """PRELOGIN's option tokens (token, offset, length; 0xFF ends them) as {token: hex}."""
    found, i = {}, 0
    while i < len(payload) and payload[i] != 0xFF:
        token, offset, length = struct.unpack_from(">BHH", payload, i)
        found["%d" % token] = payload[offset:offset + length].hex()
        i += 5
    return found


def features(payload):
    """The FeatureExt ids of a LOGIN7 (fExtension in OptionFlags3): ibExtension points to a
    4-byte offset of the block, each feature is id, 4-byte length, data; 0xFF ends them."""
    if not payload[27] & 0x10:
        return []
    offset, _ = struct.unpack_from("<HH", payload, 56)
    (i,) = struct.unpack_from("<I", payload, offset)
    ids = []
    while i < len(payload) and payload[i] != 0xFF:
        (length,) = struct.unpack_from("<I", payload, i + 1)
        ids.append("%d:%s" % (payload[i], payload[i + 5:i + 5 + length].hex()))
        i += 5 + length
    return ids


def split_top_level(text):
    """The comma-separated parts of text, commas inside parentheses left alone."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append(text[start:i])
            start = i + 1
    parts.append(text[start:])
    return [p.strip() for p in parts if p.strip()]


def plain_name(text):
    """An identifier as written ([name], "name" or name), or None for anything else."""
    m = NAME.match(text)
    return m and (m.group(1) or m.group(2) or m.group(3))


# Integer types: their size on the wire, struct format and range.
INTEGERS = {"tinyint": (1, "<B", 0, 255), "smallint": (2, "<h", -2**15, 2**15 - 1),
            "int": (4, "<i", -2**31, 2**31 - 1), "bigint": (8, "<q", -2**63, 2**63 - 1),
            "bit": (1, "<B", 0, 1)}
TEXTS = ("nvarchar", "varchar", "nchar", "char")
DATES = ("datetime2", "datetime", "smalldatetime", "date")
ALIASES = {"integer": "int"}


class Column:
    """A declared column: kind (an entry of INTEGERS, TEXTS or DATES; None: any value, sent
    as text), length (text: n, None for max; datetime2: its scale), nullable."""

    def __init__(self, name, kind=None, length=None, nullable=True):
        self.name, self.kind, self.length, self.nullable = name, kind, length, nullable

    @staticmethod
    def parse(definition):
        """A column definition of create table: name type[(n|max)] [not null] [...]."""
        m = re.match(r"\s*(\[[^\]]+\]|\"[^\"]+\"|\w+)\s+(\w+)\s*(?:\(\s*(max|\d+)\s*"
                     r"(?:,\s*\d+\s*)?\))?(.*)$", definition, re.I | re.S)
        if not m:
            raise ValueError("cannot read the column definition %r" % definition)
        kind = ALIASES.get(m.group(2).lower(), m.group(2).lower())
        if kind not in INTEGERS and kind not in TEXTS and kind not in DATES:
            raise ValueError("no column type %r here" % m.group(2))
        size = m.group(3)
        if kind in TEXTS:
            length = None if size and size.lower() == "max" else int(size or 1)
        elif kind == "datetime2":
            length = int(size) if size else 7
        else:
            length = None
        nullable = not re.search(r"\bnot\s+null\b|\bprimary\s+key\b", m.group(4), re.I)
        return Column(plain_name(m.group(1)), kind, length, nullable)


def parse_columns(body):
    """The columns of a create table's body; constraints are left out."""
    constraint = re.compile(r"(constraint|primary|unique|check|foreign)\b", re.I)
    return [Column.parse(part) for part in split_top_level(body) if not constraint.match(part)]


def parse_schema(text):
    """{table name: columns} of the create table statements of a script."""
    text = re.sub(r"--[^\n]*", "", text)
    tables = {}
    for statement in text.split(";"):
        if m := CREATE.match(statement):
            tables[m.group(1)] = parse_columns(m.group(2))
    return tables


def render(value):
    """A stored value as a literal of a VALUES list."""
    if value is None:
        return "NULL"
    if isinstance(value, str):
        return "'" + value.replace("'", "''") + "'"
    return repr(value)


# The layout of the rows that --rows puts in a table: no column of it has a value.
NO_COLUMNS = ()


class Table:
    """A table: its columns and its rows. A row is (layout, values, text): the indexes of
    the columns that values (as stored) belong to, and the values as a VALUES list, for the
    state file. Columns not in the layout are NULL. typed: the columns were declared."""

    def __init__(self, name, columns, typed=True):
        self.name, self.columns, self.typed = name, columns, typed
        self.rows = []
        self.listed = False  # whether the state file lists it

    def copy(self):
        table = Table(self.name, self.columns, self.typed)
        table.rows = list(self.rows)
        table.listed = self.listed
        return table

    def column_index(self, name):
        for i, column in enumerate(self.columns):
            if column.name.lower() == name.lower():
                return i
        if self.typed:
            raise SqlError(207, column=name)
        self.columns.append(Column(name))
        return len(self.columns) - 1


def parse_values(text, pos, read_literal):
    """The rows of a VALUES list starting at pos, each a list of Python values (str, int,
    float, None); a literal without N passes through read_literal."""
    def syntax(at):
        near = text[at:].strip()
        raise SqlError(102, near=(near.split() or [""])[0][:30])
    rows = []
    while True:
        p = PUNCT.match(text, pos)
        if not p or p.group(1) != "(":
            syntax(pos)
        pos, row = p.end(), []
        while True:
            v = VALUE.match(text, pos)
            if not v:
                syntax(pos)
            pos = v.end()
            if v.group(2) is not None:
                literal = v.group(2).replace("''", "'")
                row.append(literal if v.group(1) else read_literal(literal))
            elif v.group(3):
                row.append(None)
            elif re.fullmatch(r"[-+]?\d+", v.group(4)):
                row.append(int(v.group(4)))
            else:
                row.append(float(v.group(4)))
            p = PUNCT.match(text, pos)
            if not p or p.group(1) not in ",)":
                syntax(pos)
            pos = p.end()
            if p.group(1) == ")":
                break
        rows.append(row)
        p = PUNCT.match(text, pos)
        if p and p.group(1) == ",":
            pos = p.end()
            continue
        rest = text[p.end():] if p and p.group(1) == ";" else text[pos:]
        if rest.strip():
            syntax(len(text) - len(rest))
        return rows


def parse_date_time(text, kind):
    """A date-time literal as a datetime, checked against the range of kind."""
    m = DATE_TIME.match(text)
    if not m:
        raise SqlError(241)
    y, mo, d, h, mi, s = (int(g or 0) for g in m.groups()[:6])
    fraction = (m.group(7) or "0").ljust(7, "0")
    try:
        value = datetime.datetime(y, mo, d, h, mi, s, int(fraction[:6]))
    except ValueError:
        raise SqlError(241)
    lowest = {"datetime": 1753, "smalldatetime": 1900}.get(kind, 1)
    highest = 2079 if kind == "smalldatetime" else 9999
    if not lowest <= y <= highest:
        raise SqlError(242, type=kind)
    return value


def cut(text, column, codec):
    """text cut to column's declared length, and what was cut away."""
    if column.length is None:
        return text, ""
    if column.kind in ("nvarchar", "nchar"):
        data = text.encode("utf-16-le")
        if len(data) <= 2 * column.length:
            return text, ""
        kept = data[:2 * column.length]
        if 0xD8 <= kept[-1] <= 0xDB:  # half of a pair is no character: it goes too
            kept = kept[:-2]
        kept = kept.decode("utf-16-le")
    else:
        data = text.encode(codec, "replace")
        if len(data) <= column.length:
            return text, ""
        kept = data[:column.length].decode(codec, "ignore")  # no partial character
    return kept, text[len(kept):]


class Database:
    """The tables, committed and per open transaction, the stored forms of values, and the
    record file."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.collation, self.codec = COLLATIONS[args.code_page]
        self.cut_silently = args.ansi_warnings == "off"
        with open(args.schema or DEFAULT_SCHEMA, encoding="utf-8") as f:
            schema = parse_schema(f.read())
        for columns in schema.values():
            for column in columns if args.varchar else []:
                column.kind = {"nvarchar": "varchar", "nchar": "char"}.get(column.kind,
                                                                          column.kind)
        for setting in args.column:
            target, declared = setting.split("=", 1)
            table, name = target.split(".")
            columns = next((c for t, c in schema.items() if t.lower() == table.lower()), [])
            found = [c for c in columns if c.name.lower() == name.lower()]
            if not found:
                raise SystemExit("--column %s: the schema has no such column" % setting)
            column = Column.parse(name + " " + declared)
            found[0].kind, found[0].length = column.kind, column.length
            found[0].nullable = column.nullable
        self.committed = {t.lower(): Table(t, columns) for t, columns in schema.items()}
        for setting in args.rows:
            name, n = setting.split("=")
            table = self.committed.setdefault(name.lower(), Table(name, [], typed=False))
            table.rows = [(NO_COLUMNS, (), "(%d)" % i) for i in range(int(n))]
            table.listed = True
        self.layouts = {}  # each layout once: rows share it, and selects look it up by id
        self.record_file = open(args.record, "a", encoding="utf-8") if args.record else None
        self.state_path = args.state
        self.errors_by_number = {}
        for setting in args.error:
            n, code = setting.split("=")
            self.errors_by_number[int(n)] = int(code)
        self.errors_by_text = [tuple(s.rsplit("=", 1)) for s in args.error_on]
        self.drop_on = args.drop_on
        self.hold_on = args.hold_on
        self.save_state()
        self.requests = 0
        self.batches = 0
        self.connections = 0

    def record(self, entry):
        with self.lock:
            self.requests += 1
            entry = dict(n=self.requests, **entry)
            if self.record_file:
                self.record_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
                self.record_file.flush()

    def save_state(self):
        if self.state_path:
            state = {t.name: [row[2] for row in t.rows]
                     for t in self.committed.values() if t.listed}
            temp = self.state_path + ".tmp"
            with open(temp, "w", encoding="utf-8") as f:
                json.dump(state, f, ensure_ascii=False)
            os.replace(temp, self.state_path)

    def take_drop(self, what):
        with self.lock:
            if self.drop_on is not None and self.drop_on == what:
                self.drop_on = None
                return True
            return False

    def take_hold(self, text):
        with self.lock:
            if self.hold_on is not None and self.hold_on in text:
                self.hold_on = None
                return True
            return False

    def next_batch(self, text):
        """The batch's number and the error code a test asked for it, if any."""
        with self.lock:
            self.batches += 1
            code = self.errors_by_number.pop(self.batches, None)
            for i, (needle, c) in enumerate(self.errors_by_text):
                if code is None and needle in text:
                    code = int(c)
                    del self.errors_by_text[i]
                    break
            return self.batches, code

    def read_literal(self, text):
        """A '…' literal as the database reads it: in its code page."""
        if self.codec == "utf-8":
            return text
        return text.encode(self.codec, "replace").decode(self.codec)

    def layout(self, indexes):
        return self.layouts.setdefault(tuple(indexes), tuple(indexes))

    def store(self, table, column, value):
        """value as column holds it; SqlError when the column cannot take it."""
        kind = column.kind
        if value is None:
            if not column.nullable:
                raise SqlError(515, column=column.name, table=table.name)
            return None
        if kind is None:
            return value
        if kind in TEXTS:
            text = value if isinstance(value, str) else render(value)
            if kind in ("varchar", "char") and self.codec != "utf-8":
                text = text.encode(self.codec, "replace").decode(self.codec)
            kept, rest = cut(text, column, self.codec)
            if rest.strip(" ") and not self.cut_silently:
                raise SqlError(2628, table=table.name, column=column.name, value=kept)
            if kind == "nchar":
                kept += " " * (column.length - len(kept.encode("utf-16-le")) // 2)
            elif kind == "char":
                kept += " " * (column.length - len(kept.encode(self.codec, "replace")))
            return kept
        if kind in INTEGERS:
            if isinstance(value, str):
                if not re.fullmatch(r"\s*[-+]?\d+\s*", value):
                    raise SqlError(245, value=value, type=kind)
                value = int(value)
            value = int(value)
            _, _, lowest, highest = INTEGERS[kind]
            if kind == "bit":
                return 1 if value else 0
            if not lowest <= value <= highest:
                raise SqlError(8115, type=kind)
            return value
        if not isinstance(value, str):
            raise SqlError(206, value="numeric" if isinstance(value, float) else "int",
                           type=kind)
        parse_date_time(value, kind)
        return value

    def insert(self, tables, name, columns, text, pos):
        """Runs an insert; returns the number of rows it stored."""
        table = tables.get(name.lower()) or Table(name, [], typed=False)
        rows = parse_values(text, pos, self.read_literal)
        if len(rows) > 1000:
            raise SqlError(10738)
        if columns is None:
            if not table.typed:
                for i in range(len(table.columns), max(len(r) for r in rows)):
                    table.columns.append(Column("c%d" % (i + 1)))
            indexes = list(range(len(table.columns)))
        else:
            indexes = [table.column_index(plain_name(c) or c)
                       for c in split_top_level(columns[1:-1])]
        layout = self.layout(indexes)
        stored = []
        for row in rows:
            if len(row) != len(layout):
                raise SqlError(109 if len(layout) > len(row) else 110)
            values = tuple(self.store(table, table.columns[i], v) for i, v in zip(layout, row))
            stored.append((layout, values, "(" + ",".join(map(render, values)) + ")"))
        table.rows.extend(stored)
        table.listed = True
        tables[name.lower()] = table
        return len(stored)

    def select(self, tables, name, columns_text, no_rows):
        """A select's answer: its metadata and a generator of the rest (rows, DONE)."""
        table = tables.get(name.lower())
        if table is None:
            raise SqlError(208, table=name)
        if columns_text.strip() == "*":
            indexes = list(range(len(table.columns)))
        else:
            indexes = []
            for part in split_top_level(columns_text):
                column = plain_name(part)
                if column is None:
                    return None  # not a plain select of columns
                found = [i for i, c in enumerate(table.columns)
                         if c.name.lower() == column.lower()]
                if not found:
                    raise SqlError(207, column=column)
                indexes.append(found[0])
        columns = [table.columns[i] for i in indexes]
        meta = struct.pack("<BH", COLMETADATA, len(columns))
        for column in columns:
            meta += (struct.pack("<IH", 0, 0x0009 if column.nullable else 0x0008) +
                     self.type_info(column) + b_varchar(column.name))
        encoders = [self.encoder(column) for column in columns]
        rows = table.rows  # a delete puts a new list in its place: this one stays as it is
        count = 0 if no_rows else len(rows)

        def rest():
            positions = {}
            for k in range(count):
                layout, values, _ = rows[k]
                where = positions.get(id(layout))
                if where is None:
                    where = positions[id(layout)] = [
                        layout.index(i) if i in layout else None for i in indexes]
                yield bytes([ROW]) + b"".join(
                    encode(None if at is None else values[at])
                    for encode, at in zip(encoders, where))
            yield done(DONE_COUNT, CURCMD_SELECT, count)
        return meta, rest()

    def type_info(self, column):
        kind, length = column.kind, column.length
        if kind is None:
            return bytes([NVARCHAR]) + struct.pack("<H", 8000) + self.collation
        if kind in INTEGERS:
            return bytes([BITN if kind == "bit" else INTN, INTEGERS[kind][0]])
        if kind in TEXTS:
            wide = kind in ("nvarchar", "nchar")
            code = {"nvarchar": NVARCHAR, "nchar": NCHAR, "varchar": BIGVARCHAR,
                    "char": BIGCHAR}[kind]
            size = MAX_LENGTH if length is None else length * (2 if wide else 1)
            return bytes([code]) + struct.pack("<H", size) + self.collation
        if kind == "datetime2":
            return bytes([DATETIME2N, length])
        if kind == "date":
            return bytes([DATEN])
        return bytes([DATETIMN, 8 if kind == "datetime" else 4])

    def encoder(self, column):
        """A function giving a value's bytes in a ROW token, as column's type sends it."""
        kind, length = column.kind, column.length
        if kind is None or kind in TEXTS:
            wide = kind is None or kind in ("nvarchar", "nchar")
            codec = "utf-16-le" if wide else self.codec
            if kind is not None and length is None:
                def plp(value):
                    if value is None:
                        return PLP_NULL
                    data = value.encode(codec, "replace")
                    chunk = struct.pack("<I", len(data)) + data if data else b""
                    return struct.pack("<Q", len(data)) + chunk + b"\0\0\0\0"
                return plp

            def short(value):
                if value is None:
                    return b"\xff\xff"
                data = (value if isinstance(value, str) else render(value)).encode(codec,
                                                                                   "replace")
                return struct.pack("<H", len(data)) + data
            return short
        if kind in INTEGERS:
            size, form, _, _ = INTEGERS[kind]
            prefix = bytes([size])
            return lambda value: b"\0" if value is None else prefix + struct.pack(form, value)

        def date_time(value):
            if value is None:
                return b"\0"
            moment = parse_date_time(value, kind)
            day = moment.date()
            seconds = moment.hour * 3600 + moment.minute * 60 + moment.second
            if kind == "date":
                return b"\3" + struct.pack("<I", day.toordinal() - 1)[:3]
            if kind == "datetime2":
                units = (seconds * 10**6 + moment.microsecond) * 10**length // 10**6
                size = 3 if length <= 2 else 4 if length <= 4 else 5
                return (bytes([size + 3]) + units.to_bytes(size, "little") +
                        struct.pack("<I", day.toordinal() - 1)[:3])
            days = (day - datetime.date(1900, 1, 1)).days
            if kind == "datetime":
                ticks = (seconds * 10**6 + moment.microsecond) * 300 // 10**6
                return b"\x08" + struct.pack("<iI", days, ticks)
            return b"\x04" + struct.pack("<HH", days, (seconds + 30) // 60)
        return date_time


class Session(socketserver.BaseRequestHandler):
    """One client connection: its packets, its transaction."""

    def setup(self):
        self.db = self.server.db
        with self.db.lock:
            self.db.connections += 1
            self.id = self.db.connections
        self.tables = None  # the transaction's copy of the tables; None: no transaction
        self.descriptor = 0
        self.database = "master"

    def handle(self):
        try:
            while True:
                kind, payload = self.read_message()
                if kind is None:
                    break
                if not self.answer(kind, payload):
                    break
        except ConnectionError:
            pass
        self.db.record(dict(connection=self.id, kind="closed"))

    def read_message(self):
        """A message: the payloads of its packets up to the one marked EOM."""
        payload, kind = b"", None
        while True:
            header = self.read_exactly(8)
            if header is None:
                return None, None
            kind, status, length = struct.unpack(">BBH", header[:4])
            payload += self.read_exactly(length - 8) or b""
            if status & STATUS_EOM:
                return kind, payload

    def read_exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.request.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

    def send(self, payload):
        """The answer as packets of the negotiated size, the last one marked EOM."""
        self.send_stream(payload, iter(()))

    def send_stream(self, head, rest):
        """An answer whose tokens after head come from the generator rest, sent packet by
        packet as they are made. An ATTENTION that arrives meanwhile ends it: what is made
        goes, then DONE acknowledging the attention."""
        room = PACKET_SIZE - 8
        buffer, number = bytearray(head), 0

        def packet(data, status):
            nonlocal number
            number += 1
            header = struct.pack(">BBHHBB", PKT_REPLY, status, len(data) + 8, 0, number % 256, 0)
            self.request.sendall(header + data)
        for tokens in rest:
            buffer += tokens
            if len(buffer) <= room:
                continue
            while len(buffer) > room:
                packet(bytes(buffer[:room]), 0)
                del buffer[:room]
            if select.select([self.request], [], [], 0)[0]:
                kind, _ = self.read_message()
                if kind is None:
                    raise ConnectionError("the client went")
                self.db.record(dict(connection=self.id,
                                    kind="attention" if kind == PKT_ATTENTION else "unknown"))
                buffer += done(DONE_ATTN)
                break
        while len(buffer) > room:
            packet(bytes(buffer[:room]), 0)
            del buffer[:room]
        packet(bytes(buffer), STATUS_EOM)

    def answer(self, kind, payload):
        if kind == PKT_PRELOGIN:
            self.db.record(dict(connection=self.id, kind="prelogin", options=options(payload)))
            self.send(self.prelogin())
        elif kind == PKT_LOGIN7:
            self.send(self.login(payload))
        elif kind == PKT_SQL_BATCH:
            return self.batch(payload)
        elif kind == PKT_TRANSACTION_MANAGER:
            return self.transaction(payload)
        elif kind == PKT_ATTENTION:
            self.db.record(dict(connection=self.id, kind="attention"))
            self.send(done(DONE_ATTN))
        else:
            self.db.record(dict(connection=self.id, kind="unknown", packet=kind))
            return False
        return True

    def prelogin(self):
        """PRELOGIN answer: VERSION, ENCRYPTION "not supported" (so no TLS), MARS off."""
        options = [(0x00, struct.pack(">IH", 0x10000FA0, 0)),  # VERSION 16.0.4000
                   (0x01, b"\x02"),  # ENCRYPTION: ENCRYPT_NOT_SUP
                   (0x04, b"\x00")]  # MARS: off
        offset = len(options) * 5 + 1
        head, data = b"", b""
        for token, value in options:
            head += struct.pack(">BHH", token, offset + len(data), len(value))
            data += value
        return head + b"\xff" + data

    def login(self, payload):
        """LOGIN7: the offset/length pairs of the variable part (lengths in characters)."""
        def field(position):
            offset, length = struct.unpack_from("<HH", payload, position)
            return payload[offset:offset + 2 * length]
        # The password is obfuscated: each byte's nibbles swapped, then XOR 0xA5.
        password = bytes(((b ^ 0xA5) >> 4) | (((b ^ 0xA5) & 0x0F) << 4) for b in field(44))
        tds_version, packet_size = struct.unpack_from("<II", payload, 4)
        names = dict(host=36, user=40, app=48, server=52, library=60, language=64, database=68)
        entry = {k: field(p).decode("utf-16-le") for k, p in names.items()}
        entry.update(password=password.decode("utf-16-le"), tds_version="%08x" % tds_version,
                     packet_size=packet_size, option_flags=payload[24:28].hex(),
                     features=features(payload))
        self.db.record(dict(connection=self.id, kind="login", **entry))
        self.database = entry["database"] or "master"
        ack = (bytes([1]) + struct.pack(">I", 0x74000004) + b_varchar("Microsoft SQL Server") +
               bytes([16, 0, 0x0F, 0xA0]))
        return (envchange(ENV_DATABASE, self.database, "master") +
                envchange(ENV_COLLATION, self.db.collation, b"") +
                envchange(ENV_LANGUAGE, "us_english", "") +
                struct.pack("<BH", LOGINACK, len(ack)) + ack +
                envchange(ENV_PACKETSIZE, str(PACKET_SIZE), str(PACKET_SIZE)) +
                done(DONE_FINAL))

    @staticmethod
    def after_headers(payload):
        """What follows the ALL_HEADERS block (its first 4 bytes give its total length)."""
        (total,) = struct.unpack_from("<I", payload, 0)
        return payload[total:]

    def batch(self, payload):
        text = self.after_headers(payload).decode("utf-16-le")
        number, code = self.db.next_batch(text)
        entry = dict(connection=self.id, kind="batch", text=text, batch=number,
                     transaction=self.tables is not None)
        if m := INSERT.match(text):
            entry["rows"] = len(value_rows(text[m.end():]))
        self.db.record(entry)
        if self.db.take_drop(str(number)):
            return False
        if self.db.take_hold(text):
            # Nothing until the client cancels; then DONE with the ATTN bit acknowledges it.
            kind, _ = self.read_message()
            if kind != PKT_ATTENTION:
                return False
            self.db.record(dict(connection=self.id, kind="attention"))
            self.send(done(DONE_ATTN))
            return True
        if code is not None:
            match = re.search(r"(?:into|from)\s+([#\w]+)", text, re.I)
            self.send(error_token(code, table=match.group(1) if match else "T") +
                      done(DONE_ERROR))
            return True
        try:
            answer = self.run(text)
        except SqlError as e:
            answer = error_token(e.number, database=self.database, **e.fields) + done(DONE_ERROR)
        if isinstance(answer, tuple):
            self.send_stream(*answer)
        else:
            self.send(answer)
        return True

    def run(self, text):
        """Runs one statement on the session's tables and returns the answer's tokens, or the
        first of them and a generator of the others."""
        with self.db.lock:
            tables = self.tables if self.tables is not None else self.db.committed
            if m := INSERT.match(text):
                rows = self.db.insert(tables, m.group(1), m.group(2), text, m.end())
                answer = done(DONE_COUNT, CURCMD_INSERT, rows)
            elif m := DELETE.match(text):
                table = tables.get(m.group(1).lower())
                if table is None:
                    table = tables[m.group(1).lower()] = Table(m.group(1), [], typed=False)
                rows = len(table.rows)
                table.rows = []
                table.listed = True
                answer = done(DONE_COUNT, CURCMD_DELETE, rows)
            elif m := COUNT.match(text):
                table = tables.get(m.group(1).lower())
                return count_result("", len(table.rows) if table else 0)
            elif m := DROP.match(text):
                tables.pop(m.group(1).lower(), None)
                answer = done(DONE_FINAL)
            elif re.search(r"\bsp_getapplock\b", text, re.I):
                return count_result("", 0)  # granted: there is no lock manager here
            elif re.match(r"\s*select\s+@@spid\s*$", text, re.I):
                return count_result("", 50 + self.id)
            elif m := LITERAL.match(text):
                return text_result(m.group(1).replace("''", "'"))
            elif re.match(r"\s*create\s+temporary\s", text, re.I):
                return error_token(343) + done(DONE_ERROR)
            elif m := CREATE.match(text):
                key = m.group(1).lower()
                if key in tables and not key.startswith("#"):
                    raise SqlError(2714, table=m.group(1))
                try:
                    tables[key] = Table(m.group(1), parse_columns(m.group(2)))
                except ValueError:
                    raise SqlError(102, near=m.group(1))
                answer = done(DONE_FINAL)
            elif (m := SELECT.match(text)) and (
                    answer := self.db.select(tables, m.group(2), m.group(1), m.group(3))):
                return answer
            else:
                return done(DONE_FINAL)
            if self.tables is None:
                self.db.save_state()
            return answer

    def transaction(self, payload):
        """A transaction manager request: begin, commit or rollback (with or without a new
        transaction begun at once), answered with the ENVCHANGE tokens of SQL Server."""
        body = self.after_headers(payload)
        (request,) = struct.unpack_from("<H", body, 0)
        names = {TM_BEGIN_XACT: "begin", TM_COMMIT_XACT: "commit", TM_ROLLBACK_XACT: "rollback"}
        name = names.get(request, "request %d" % request)
        entry = dict(connection=self.id, kind=name, transaction=self.tables is not None)
        begin_new = False
        if request in (TM_COMMIT_XACT, TM_ROLLBACK_XACT):
            # Name (B_VARCHAR), then fBeginXact: a new transaction follows at once.
            begin_new = len(body) > 3 + 2 * body[2] and body[3 + 2 * body[2]] & 1 == 1
            entry["begin_new"] = begin_new
        self.db.record(entry)
        if self.db.take_drop(name):
            return False
        answer = b""
        with self.db.lock:
            old = struct.pack("<Q", self.descriptor)
            if request == TM_COMMIT_XACT and self.tables is not None:
                self.db.committed = self.tables
                self.db.save_state()
                answer += envchange(ENV_COMMIT_TRAN, b"", old)
            elif request == TM_ROLLBACK_XACT and self.tables is not None:
                answer += envchange(ENV_ROLLBACK_TRAN, b"", old)
            self.tables = None
            if request == TM_BEGIN_XACT or begin_new:
                self.tables = {k: t.copy() for k, t in self.db.committed.items()}
                self.descriptor += 1
                answer += envchange(ENV_BEGIN_TRAN, struct.pack("<Q", self.descriptor), b"")
        if self.db.take_drop(name + "-done"):
            return False
        self.send(answer + done(DONE_FINAL))
        return True


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--port-file")
    parser.add_argument("--record")
    parser.add_argument("--state")
    parser.add_argument("--error", action="append", default=[], metavar="N=CODE")
    parser.add_argument("--error-on", action="append", default=[], metavar="TEXT=CODE")
    parser.add_argument("--drop-on", metavar="WHAT")
    parser.add_argument("--hold-on", metavar="TEXT")
    parser.add_argument("--rows", action="append", default=[], metavar="T=N")
    parser.add_argument("--schema", metavar="FILE")
    parser.add_argument("--column", action="append", default=[], metavar="T.C=TYPE")
    parser.add_argument("--varchar", action="store_true")
    parser.add_argument("--ansi-warnings", choices=("on", "off"), default="on")
    parser.add_argument("--code-page", type=int, choices=sorted(COLLATIONS), default=65001)
    args = parser.parse_args()
    db = Database(args)  # a schema it cannot read ends it before it listens
    server = Server(("127.0.0.1", args.port), Session)
    server.db = db
    port = server.server_address[1]
    print("listening on 127.0.0.1:%d" % port, flush=True)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
