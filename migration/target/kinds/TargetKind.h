#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/RollbackProbe.h"

class CDatabase;

// The queries that read a table back (TableReadBack.h) a part at a time, in turn, so that
// neither the driver nor the program holds the whole table: a kind whose driver keeps a whole
// result in memory reads it through a server cursor, or page by page.
class CReadBackPaging {
public:
    virtual ~CReadBackPaging() = default;
    // Before the first query, on the run's connection. Throws CDBException.
    virtual void Begin(CDatabase& /*database*/) {}
    // The query that gives the next rows, the first time the first; empty once every row was
    // read. rowsRead: the rows the query before gave; lastKey: the key (HasKey) of the last of
    // them.
    virtual std::string NextQuery(std::size_t rowsRead, std::string_view lastKey) = 0;
    // Whether a query gives the same rows in the same order each time it runs.
    virtual bool Repeatable() const { return false; }
    // Whether the queries select a key before the table's columns, which orders the rows.
    virtual bool HasKey() const { return false; }
    // After the last query: undoes what Begin did. Throws CDBException.
    virtual void End(CDatabase& /*database*/) {}
    // The same after a failure or when the rows are not all read; never throws.
    virtual void Abandon(CDatabase& /*database*/) noexcept {}
};

// What a target's failure was, as its SQLSTATE says, or, where a driver reports no useful
// state (sqlite3odbc says HY000 for nearly everything), as that driver's own code or text says.
enum class TargetFailureKind {
    MissingTable,   // 42S02, 42P01; SQLite: "no such table"
    LockOrTimeout,  // 40001, HYT00; SQLite: SQLITE_BUSY ("database is locked")
    // 08xxx, 57P01-57P05 (the server ended the session: shut down, crashed, terminated it),
    // a driver's own network failures: the connection failed or was lost, and a statement
    // or commit in flight may have been applied
    Connection,
    Other,
};

// Everything that differs between the kinds of target database: how its driver library and
// its server are recognised, what its connection string needs, how its failures are told
// apart and explained, and how a replacing run takes and empties its tables. Each kind is one
// file of this folder (TargetKinds.cpp lists them); the unknown ODBC database is the kind that
// knows nothing beyond the SQLSTATEs.
class CTargetKind {
public:
    virtual ~CTargetKind() = default;

    // The kind as a user knows it, e.g. for a note that the driver and the server disagree.
    virtual std::string Name() const = 0;

    // Whether fileName (a driver library's file name in lower case, without its folder) is
    // this kind's driver.
    virtual bool IsDriverLibrary(const std::string& fileName) const = 0;
    // Whether dbmsName (the server's product name as the driver gives it, SQL_DBMS_NAME) is
    // this kind's server.
    virtual bool IsDbmsName(const std::string& dbmsName) const = 0;

    // The connection string to connect with for connect, with what this kind's driver needs
    // and takes from nowhere else; connect itself when it needs nothing. The result may hold a
    // password: it goes to the driver only.
    virtual std::string AmendConnection(const std::string& connect) const { return connect; }
    // Checks a session just opened on this kind's server, after everything the driver runs
    // at connect: the server must read a backslash inside quoted text as itself, since every
    // value goes out as a literal in which only apostrophes are doubled. Asks the server for
    // 'a\' and throws CDBException, closing the connection, unless the answer is exactly
    // those two bytes (QuotingRefusal's text, with the driver's when the query failed).
    virtual void CheckSession(CDatabase& database) const;
    // The text of CheckSession's refusal: that nothing was sent, and what makes this kind's
    // server read backslashes as escapes, where it knows.
    virtual std::string QuotingRefusal() const;

    // Whether record is this kind's driver reporting a lost connection in a way of its own.
    // Every kind's is asked for every target: after a connection is gone its server's name
    // may no longer be known.
    virtual bool IsOwnConnectionLoss(const CDiagnosticRecord& /*record*/) const { return false; }
    // What record says failed; Other when it tells nothing.
    virtual TargetFailureKind ClassifyRecord(const CDiagnosticRecord& record) const;
    // Whether record ended a wait for a lock in a way the failure's kind does not say.
    virtual bool EndsLockWait(const CDiagnosticRecord& /*record*/) const { return false; }

    // The shipped file that creates this kind's eight tables (ShippedFile's relative path,
    // e.g. schema/sqlite.sql); empty when none is shipped.
    virtual std::string SchemaFile() const { return {}; }

    // The text for a failure that this kind explains on its own, the driver's text (driverText)
    // included; empty when it has nothing to add. connect: the connection string used.
    virtual std::string ExplainRefusal(const CDBException& /*e*/,
                                       const std::string& /*connect*/) const {
        return {};
    }
    // The line to add under the driver's text when table is missing: the target named and
    // what to do; empty when this kind ships no schema.
    virtual std::string MissingTableLine(const std::string& /*table*/,
                                         const std::string& /*connect*/) const {
        return {};
    }
    // The line to add under the driver's text when a lock was waited for in vain; empty when
    // the driver's text says enough.
    virtual std::string LockedLine(const std::string& /*connect*/) const { return {}; }

    // The temporary tables the rollback probe may use, in the order to try them.
    virtual std::vector<CProbeTable> ProbeTables() const;
    // The statements that take the eight tables for a replacing run's transaction and delete
    // their rows, in order.
    virtual std::vector<std::string> LockAndEmptyStatements() const;
    // A replacing run's rows go several to a statement: at most this many rows, and a
    // statement ends once it passes this many bytes.
    virtual std::size_t RowsPerStatement() const;
    virtual std::size_t BytesPerStatement() const;

    // Reading a table back to verify the copy (TableReadBack.h). Whether a fixed-length text
    // column (char(n)) gives its values padded with blanks to their length.
    virtual bool PadsFixedLengthText() const { return true; }
    // Whether date-time columns are read as the text the target gives rather than as
    // date-times (a target without a date-time type keeps the text that was sent).
    virtual bool ReadsDateTimesAsText() const { return false; }
    // The queries that read columns (a select list) of table, rows at most per query where
    // the kind reads in parts. By default one query, "select <columns> from <table>", whose
    // rows the driver streams.
    virtual std::unique_ptr<CReadBackPaging> ReadBackPaging(const std::string& table,
                                                            const std::string& columns,
                                                            std::size_t rows) const;

    // One Brimlow run at a time per target (RunLock.h). The statement that labels a session
    // of a run with label (what another run's refusal shows of it); empty when the kind has
    // no way to.
    virtual std::string SessionLabelStatement(const std::string& /*label*/) const { return {}; }
    // The query whose value is the session's id on the server, for ending it from another
    // connection (SessionEnd.h); empty when the kind has none.
    virtual std::string SessionIdQuery() const { return {}; }
    // The query that tries the run lock once, without waiting: its value is a negative number
    // when another session holds it. Empty when the lock is not the server's.
    virtual std::string TryRunLockQuery() const { return {}; }
    // The query that describes the session holding the run lock as one text: its label, a
    // tab, when it started, a tab, where it connected from; empty when the kind cannot tell.
    virtual std::string RunLockHolderQuery() const { return {}; }
    // Whether the run lock is a lock file beside the target's database file.
    virtual bool UsesRunLockFile() const { return false; }
    // Ends the session id on the server from database, another connection to the same
    // target; true only when the session is known to have ended. Throws CDBException.
    virtual bool EndSession(CDatabase& /*database*/, const std::string& /*id*/) const {
        return false;
    }
};

// The kind of a failure by its SQLSTATE alone.
TargetFailureKind KindOfState(const std::string& state);
