#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dbaccess/FieldValue.h"

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
};

// The source database the run reads from.
class ISourceDatabase {
public:
    virtual ~ISourceDatabase() = default;
    virtual bool IsOpen() const noexcept = 0;
    // Opens the file read-only, not exclusively, with the connect string (";PWD=...").
    virtual void Open(const std::string& path, const std::string& connect) = 0;
    virtual void Close() noexcept = 0;
    // Called about every 30 ms while Open waits on something slow (the file check), so that
    // a window can repaint; it may throw to abandon the open. Empty: nothing is called.
    virtual void SetWaitCallback(std::function<void()> /*callback*/) {}
    // Opens a read-only recordset on "select * from <table>", standing on the first row.
    virtual std::unique_ptr<IRecordset> OpenRecordset(const std::string& query) = 0;
};

// The target database the run writes to. The dialog's target commits every executed
// statement at once; a replacing run's target commits once, at CommitRun.
class ITargetDatabase {
public:
    virtual ~ITargetDatabase() = default;
    virtual bool IsOpen() const noexcept = 0;
    virtual void Open(const std::string& connect) = 0;
    virtual void ExecuteSQL(const std::string& statement) = 0;
    // A target that holds rows back sends them when their table ends, before its log line.
    virtual void EndTable() {}
    // Makes the run's rows final, before the completion line; a target that commits every
    // statement at once has nothing to do.
    virtual void CommitRun() {}
    virtual void Close() noexcept = 0;
};

// Where the run reports to: one log line per finished table and one at completion, and a
// heartbeat about every 100 ms while a long table is copied, so a window can repaint.
class IRunObserver {
public:
    virtual ~IRunObserver() = default;
    virtual void AppendLog(const std::string& line) = 0;
    virtual void OnProgress() {}
};
