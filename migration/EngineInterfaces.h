#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/jet/FieldValue.h"
#include "migration/statement/InsertItem.h"
#include "migration/verify/Verification.h"

class CRunWatch;
struct CRunOutcome;

// The migration engine sees its two databases and its progress display only through these
// small interfaces: the real classes sit over libmdb and ODBC, and unit tests use fakes.

// The rows of one source query, one current row at a time.
class IRecordset {
public:
    virtual ~IRecordset() = default;
    virtual bool IsEOF() const = 0;
    virtual CFieldValue GetFieldValue(const std::string& column) = 0;
    virtual void MoveNext() = 0;
    virtual void Close() noexcept = 0;
    // The number of rows the source table declares: the total that progress is shown against.
    // It can be stale (Access refreshes it in Compact and Repair): the rows are read to the
    // end whatever it says.
    virtual size_t GetRecordCount() const = 0;
    // Throws the source's own failure, the one GetFieldValue would throw, when the table has
    // no column of that name; the run asks it for every column it reads before the first row
    // is sent anywhere.
    virtual void CheckField(const std::string& column) = 0;
};

// The source database the run reads from.
class ISourceDatabase {
public:
    virtual ~ISourceDatabase() = default;
    virtual bool IsOpen() const noexcept = 0;
    // Opens the file read-only, not exclusively, with the connect string (";PWD=...").
    virtual void Open(const std::string& path, const std::string& connect) = 0;
    virtual void Close() noexcept = 0;
    // Called about every 30 ms while Open waits on something slow (the file check), so that a
    // stop is taken; it may throw to abandon the open. Empty: nothing is called.
    virtual void SetWaitCallback(std::function<void()> /*callback*/) {}
    // The tables the run will open recordsets on, named before Open, which prepares for those
    // alone (the file check walks them and the catalogue). Empty: every table.
    virtual void SetTablesToRead(std::vector<std::string> /*tables*/) {}
    // Opens a read-only recordset on "select * from <table>", standing on the first row.
    virtual std::unique_ptr<IRecordset> OpenRecordset(const std::string& query) = 0;
};

// One value of a row read back from a target table: NULL, or the bytes the target holds, in
// the form the run's values are compared in (text as UTF-8 bytes, integers in decimal,
// date-times "yyyy/mm/dd hh:mm:ss" as RenderValue writes them).
struct CReadValue {
    const char* data = nullptr;
    std::size_t size = 0;
    bool null = true;
};

// The rows of one target table read back after a run, in whatever order the target gives
// them. Throws CDBException (CConnectionLost when the connection broke, CRunStopped on a stop)
// as a statement does.
class ITableReader {
public:
    virtual ~ITableReader() = default;
    // Moves to the next row (the first, on the first call); false once there is none.
    virtual bool Next() = 0;
    // The value of the column at index (in the order the columns were asked for) in the
    // current row; valid until the next call of Next.
    virtual CReadValue Value(std::size_t index) const = 0;
};

// A target that cannot read its tables back (a stream of statements, a table it cannot
// select from): the copy is not verified, for the reason the text gives.
class CCannotVerify : public CException {
public:
    using CException::CException;
};

// The target database the run writes to. It receives rows, not statements: each target
// writes them its own way (one statement per row, several rows per statement, a text
// stream). The dialog's target commits every row at once; a replacing run's target commits
// once, at CommitRun.
class ITargetDatabase {
public:
    virtual ~ITargetDatabase() = default;
    virtual bool IsOpen() const noexcept = 0;
    virtual void Open(const std::string& connect) = 0;
    // The run's watch (RunWatch.h): every call that may block on the server is marked in it,
    // so that a stop cancels the call and, when it does not return, gives it up. Null: the
    // calls are not watched.
    virtual void SetWatch(std::shared_ptr<CRunWatch> /*watch*/) {}
    // Once open: what it connected to, as a user recognises it (never a password); empty for
    // a target that is no database.
    virtual std::string Describe() const { return {}; }
    // One row: its table, its columns and their rendered values. The rows of a table come one
    // after another, each with the same columns in the same order, and EndTable follows the
    // last of them.
    virtual void InsertRow(const CInsertItemList& row) = 0;
    // A target that holds rows back sends them when their table ends, before its log line.
    virtual void EndTable() {}
    // Makes the run's rows final, before the completion line; a target that commits every
    // statement at once has nothing to do.
    virtual void CommitRun() {}
    // Once open: true when the target keeps nothing of the run unless CommitRun completes
    // (the run is one transaction).
    virtual bool CommitsAtEnd() const { return false; }
    // Once open: the rows table holds now, as the target itself counts them ("select
    // count(*)"), seen from the run's own connection (inside a replacing run's transaction
    // before CommitRun); none when the target cannot count (a stream of statements) or the
    // count failed. Asked before the first row and after CommitRun, never between rows.
    virtual std::optional<size_t> CountRows(const std::string& /*table*/) { return std::nullopt; }
    // True once a statement was answered without a count of its rows (a driver that does not
    // count, SQL Server under NOCOUNT): its rows were not checked one by one, only by the
    // counts after the run.
    virtual bool RowsUncounted() const { return false; }
    // Verification of the copy. Once open, before the first row: for each of columns of
    // table, whether the target pads text to a fixed length with blanks (a char(n) column), so
    // that trailing blanks are compared as no difference. Throws CCannotVerify (or
    // CDBException) when the table cannot be read back.
    virtual std::vector<bool> ReadBackPadding(const std::string& /*table*/,
                                              const std::vector<std::string>& /*columns*/) {
        throw CCannotVerify(Tr("This target cannot read its tables back."));
    }
    // Once the run is committed: reads columns of every row table holds, through the run's
    // own connection, read-only, in blocks, watched as statements are. Throws CCannotVerify or
    // CDBException.
    virtual std::unique_ptr<ITableReader> ReadBack(const std::string& /*table*/,
                                                   const std::vector<std::string>& /*columns*/) {
        throw CCannotVerify(Tr("This target cannot read its tables back."));
    }
    virtual void Close() noexcept = 0;
};

// Where a table copy stands: its total, and the statements the target has acknowledged so far
// in this run. The total is the rows the source declares, raised to the rows read when the
// table turns out larger; once every row is read, it is the rows read.
struct CTableProgress {
    std::string table;
    size_t total = 0;
    size_t inserted = 0;
};

// What was in flight on the target when its answer could not be had: the server may or may
// not have applied it.
enum class UnknownOutcome {
    None,
    Row,     // the statement of the row after the table's inserted ones
    Commit,  // the commit of a run that is one transaction
};

// Where the run reports to. AppendLog gives the log lines: one per finished table and one at
// completion. The other events say where a run stands, for a display that follows it; none of
// them may throw, except that OnProgress and OnRowProgress may let a display's own failure
// through, which fails the run.
class IRunObserver {
public:
    virtual ~IRunObserver() = default;
    virtual void AppendLog(const std::string& line) = 0;
    // A heartbeat while the run waits: about every 30 ms during the source's file check, and
    // once after the target's connection; a stop asked for is taken right after it.
    virtual void OnProgress() {}
    // The target is open; target is its Describe().
    virtual void OnTargetOpen(const std::string& /*target*/) {}
    // Both databases are open, every table and column the run reads was found in the source,
    // and the target's tables were counted: the tables of the run in order, with the rows
    // each declares.
    virtual void OnRunStart(const std::vector<CTableProgress>& /*tables*/) {}
    // A table's recordset is open; nothing of it is inserted yet.
    virtual void OnTableStart(const CTableProgress& /*table*/) {}
    // About every 100 ms while a table is copied.
    virtual void OnRowProgress(const CTableProgress& /*table*/) {}
    // Every row of the table is read, and their number (table.total) is not the count the
    // source declared for it: the stored count is stale. Comes before OnTableEnd.
    virtual void OnRowCountDiffers(const CTableProgress& /*table*/, size_t /*declared*/) {}
    // The text of column in row table.inserted + 1 ends at its first zero byte in the
    // statement (what follows cannot be carried in an SQL literal). Comes before that row goes
    // to the target.
    virtual void OnTextCutAtZeroByte(const CTableProgress& /*table*/,
                                     const std::string& /*column*/) {}
    // The target answered a statement without counting its rows (ITargetDatabase::RowsUncounted):
    // told once per run, after the table's end; the rows are then checked only by the counts
    // read back after the run.
    virtual void OnRowsUncounted() {}
    // Every row of the table is inserted and its recordset is closed; its log line follows.
    virtual void OnTableEnd(const CTableProgress& /*table*/) {}
    // Verification (CMigrationRun::SetVerify), after the commit and before the completion
    // line: the target's tables are being read back; total is the rows to compare (the rows
    // sent). A second reading of a table that differs, to find its rows, raises the total.
    virtual void OnVerifyStart(std::size_t /*total*/) {}
    // About every 100 ms while the tables are read back.
    virtual void OnVerifyProgress(std::size_t /*done*/, std::size_t /*total*/) {}
    // What the verification found: right after the completion line, or before the run's end
    // when the counts differ (and the completion line is not logged). Told once per run that
    // asked for it, whatever came of it (not run, stopped, equal, differs).
    virtual void OnVerified(const CVerification& /*result*/) {}
    // The run is over: completed (after the completion line), stopped (both connections
    // closed) or failed (the exception follows). See RunOutcome.h.
    virtual void OnRunEnd(const CRunOutcome& /*outcome*/) {}
    // Asked between rows and at every heartbeat: true stops the run there.
    virtual bool IsStopRequested() { return false; }
};

// Thrown out of a run that stopped because its observer asked it to; never shown as an error.
// A statement that did not return after the stop was given up: its outcome is unknown.
class CRunStopped : public CUserException {
public:
    explicit CRunStopped(UnknownOutcome unknown = UnknownOutcome::None)
        : CUserException("The migration was stopped."), m_unknown(unknown) {}
    UnknownOutcome Unknown() const noexcept { return m_unknown; }

private:
    UnknownOutcome m_unknown;
};

// The connection to the target broke while a row or the commit was in flight: the server may
// or may not have applied it. The text is the driver's.
class CConnectionLost : public CDBException {
public:
    CConnectionLost(const CDBException& e, UnknownOutcome inFlight)
        : CDBException(e.GetErrorMessage(), e.Records()), m_inFlight(inFlight) {}
    UnknownOutcome InFlight() const noexcept { return m_inFlight; }

private:
    UnknownOutcome m_inFlight;
};

// What one target table held before the run's first row, what the run inserted into it, and
// what it held once the run was committed.
struct CTableCount {
    std::string table;
    size_t before = 0;
    size_t inserted = 0;
    size_t held = 0;
};

// Every row was sent, acknowledged and committed, but a target table does not hold what it
// held before plus the rows inserted: something else changed it during the run (another
// program, a trigger on the table itself). The run did not complete; its rows stay.
class CCountDiffers : public CDBException {
public:
    // rows: more text to follow the counts (the rows a verification found), or none.
    explicit CCountDiffers(std::vector<CTableCount> tables, const std::string& rows = {});
    const std::vector<CTableCount>& Tables() const noexcept { return m_tables; }

private:
    std::vector<CTableCount> m_tables;
};

// Another run (or, for a replacing run's tables, another program) held the target past the
// lock timeout: nothing was sent. The text names the holder where it is known.
class CTargetBusy : public CDBException {
public:
    using CDBException::CDBException;
};

// Every row was sent and committed, but the target tables read back do not hold exactly the
// rows sent (a trigger that changed or dropped a value, a column that cut it, a character set
// that lost it). The run did not complete; its rows stay. The text names the tables and the
// first rows that differ.
class CCopyDiffers : public CDBException {
public:
    explicit CCopyDiffers(std::string text) : CDBException(std::move(text)) {}
};
