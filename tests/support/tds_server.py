#!/usr/bin/env python3
"""A small TDS 7.4 server for the tests: enough of SQL Server's wire protocol for FreeTDS's
ODBC driver to log in, run Brimlow's statements and manage transactions, and no SQL engine.

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

Tables are lists of the value texts of the rows inserted ("('01101','060  ',...)"), kept per
table name; a transaction works on a copy that a commit makes the committed contents. What
is committed goes to --state FILE (JSON {"table": [value texts]}) after every change.

Answers: insert - DONE with the rows of its VALUES list; delete - DONE with the rows the
table held; "drop table T" - DONE, T gone; "select count(*) from T" - one row with T's
count; "select 'text'" - one row with the text (as SQL Server quotes: '' is one '); "create
temporary table" - SQL Server's error 343 (it knows only #tables); "select @@SPID" - one row,
50 + the connection's number; a batch calling sp_getapplock - one row, 0 (granted: the server
has no lock manager); anything else - DONE without a count.

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
  --rows T=N           table T holds N rows at the start (counted by select count(*))
  --port 0             choose a free port; it is printed ("listening on 127.0.0.1:PORT")
                       and written to --port-file when given
"""

import argparse
import json
import os
import re
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

# SQL Server's messages for the errors a test can ask for: (class, state, text).
ERRORS = {
    2627: (14, 1, "Violation of PRIMARY KEY constraint 'PK_{table}'. Cannot insert duplicate "
           "key in object 'dbo.{table}'. The duplicate key value is (1)."),
    208: (16, 1, "Invalid object name '{table}'."),
    6005: (14, 1, "SHUTDOWN is in progress."),
    1222: (16, 56, "Lock request time out period exceeded."),
    1205: (13, 51, "Transaction (Process ID 52) was deadlocked on lock resources with another "
           "process and has been chosen as the deadlock victim. Rerun the transaction."),
    343: (15, 1, "Unknown object type 'temporary' used in a CREATE, DROP, or ALTER statement."),
}

PACKET_SIZE = 4096
SERVER_NAME = "BRIMLOWTEST"


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


def error_token(number, table):
    cls, state, text = ERRORS[number]
    body = (struct.pack("<iBB", number, state, cls) + us_varchar(text.format(table=table)) +
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
COUNT = re.compile(r"\s*select\s+count\s*\(\s*\*\s*\)\s+from\s+([#\w]+)\s*;?\s*$", re.I)


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


class Database:
    """The tables, committed and per open transaction, and the record file."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.committed = {}
        for setting in args.rows:
            table, n = setting.split("=")
            self.committed[table] = ["(%d)" % i for i in range(int(n))]
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
            temp = self.state_path + ".tmp"
            with open(temp, "w", encoding="utf-8") as f:
                json.dump(self.committed, f, ensure_ascii=False)
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


class Session(socketserver.BaseRequestHandler):
    """One client connection: its packets, its transaction."""

    def setup(self):
        self.db = self.server.db
        with self.db.lock:
            self.db.connections += 1
            self.id = self.db.connections
        self.tables = None  # the transaction's copy of the tables; None: no transaction
        self.descriptor = 0

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
        room = PACKET_SIZE - 8
        chunks = [payload[i:i + room] for i in range(0, len(payload), room)] or [b""]
        for number, chunk in enumerate(chunks, 1):
            status = STATUS_EOM if number == len(chunks) else 0
            header = struct.pack(">BBHHBB", PKT_REPLY, status, len(chunk) + 8, 0, number % 256, 0)
            self.request.sendall(header + chunk)

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
        database = entry["database"] or "master"
        collation = bytes.fromhex("0904d00034")  # Latin1_General_CI_AS, LCID 0x0409
        ack = (bytes([1]) + struct.pack(">I", 0x74000004) + b_varchar("Microsoft SQL Server") +
               bytes([16, 0, 0x0F, 0xA0]))
        return (envchange(ENV_DATABASE, database, "master") +
                envchange(ENV_COLLATION, collation, b"") +
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
            self.send(error_token(code, match.group(1) if match else "T") +
                      done(DONE_ERROR))
            return True
        self.send(self.run(text))
        return True

    def run(self, text):
        """Runs one statement on the session's tables and returns the answer's tokens."""
        with self.db.lock:
            tables = self.tables if self.tables is not None else self.db.committed
            if m := INSERT.match(text):
                rows = value_rows(text[m.end():])
                tables.setdefault(m.group(1), []).extend(rows)
                answer = done(DONE_COUNT, CURCMD_INSERT, len(rows))
            elif m := DELETE.match(text):
                rows = len(tables.get(m.group(1), []))
                tables[m.group(1)] = []
                answer = done(DONE_COUNT, CURCMD_DELETE, rows)
            elif m := COUNT.match(text):
                return count_result("", len(tables.get(m.group(1), [])))
            elif m := DROP.match(text):
                tables.pop(m.group(1), None)
                answer = done(DONE_FINAL)
            elif re.search(r"\bsp_getapplock\b", text, re.I):
                return count_result("", 0)  # granted: there is no lock manager here
            elif re.match(r"\s*select\s+@@spid\s*$", text, re.I):
                return count_result("", 50 + self.id)
            elif m := LITERAL.match(text):
                return text_result(m.group(1).replace("''", "'"))
            elif re.match(r"\s*create\s+temporary\s", text, re.I):
                return error_token(343, "") + done(DONE_ERROR)
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
                self.tables = {t: list(rows) for t, rows in self.db.committed.items()}
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
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Session)
    server.db = Database(args)
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
