#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"
#include "migration/statement/ColumnKind.h"

// In-memory source, target and log for the engine's unit tests. Every call that matters is
// recorded in one shared event list, so tests can check the order across the three.

using FakeRow = std::map<std::string, CFieldValue>;

struct FakeEvents {
    std::vector<std::string> list;
    void Add(std::string event) { list.push_back(std::move(event)); }
};

class FakeSource final : public ISourceDatabase {
public:
    explicit FakeSource(FakeEvents& events) : m_events(events) {}

    // Tables by query text; a query with no table throws like a missing table.
    std::map<std::string, std::vector<FakeRow>> tables;
    // A stale row count a table declares, by query text; by default its rows.
    std::map<std::string, size_t> declared;
    // The columns a table lacks, by query text, even when it has no row.
    std::map<std::string, std::vector<std::string>> missingColumns;
    std::function<void(const std::string& path)> onOpen;
    // The wait callback the run installed for the open (the file check's heartbeat).
    std::function<void()> waitCallback;
    // The tables the run said it would read.
    std::vector<std::string> tablesToRead;

    bool IsOpen() const noexcept override { return m_bOpen; }
    void SetTablesToRead(std::vector<std::string> tables) override {
        tablesToRead = std::move(tables);
    }
    void SetWaitCallback(std::function<void()> callback) override {
        waitCallback = std::move(callback);
    }
    void Open(const std::string& path, const std::string& connect) override {
        m_events.Add("source.open " + path + " " + connect);
        if (onOpen) {
            onOpen(path);
        }
        m_bOpen = true;
    }
    void Close() noexcept override {
        if (m_bOpen) {
            m_events.Add("source.close");
        }
        m_bOpen = false;
    }
    std::unique_ptr<IRecordset> OpenRecordset(const std::string& query) override;

private:
    FakeEvents& m_events;
    bool m_bOpen = false;
};

class FakeRecordset final : public IRecordset {
public:
    FakeRecordset(FakeEvents& events, const std::vector<FakeRow>& rows, size_t declared,
                  std::vector<std::string> missing = {})
        : m_events(events), m_rows(rows), m_nDeclared(declared), m_missing(std::move(missing)) {}
    bool IsEOF() const override { return m_nRow >= m_rows.size(); }
    CFieldValue GetFieldValue(const std::string& column) override {
        const FakeRow& row = m_rows.at(m_nRow);
        auto it = row.find(column);
        if (it == row.end()) {
            throw CDaoException(SourceFailureKind::MissingColumn,
                                "Column " + column + " not found.");
        }
        return it->second;
    }
    void MoveNext() override { ++m_nRow; }
    void Close() noexcept override { m_events.Add("recordset.close"); }
    size_t GetRecordCount() const override { return m_nDeclared; }
    // A column is missing when the first row lacks it or the source says so.
    void CheckField(const std::string& column) override {
        const bool missing =
            std::find(m_missing.begin(), m_missing.end(), column) != m_missing.end() ||
            (!m_rows.empty() && m_rows.front().count(column) == 0);
        if (missing) {
            throw CDaoException(SourceFailureKind::MissingColumn,
                                "Column " + column + " not found.");
        }
    }

private:
    FakeEvents& m_events;
    const std::vector<FakeRow>& m_rows;
    size_t m_nDeclared;
    std::vector<std::string> m_missing;
    size_t m_nRow = 0;
};

inline std::unique_ptr<IRecordset> FakeSource::OpenRecordset(const std::string& query) {
    auto it = tables.find(query);
    if (it == tables.end()) {
        throw CDaoException(SourceFailureKind::MissingTable, "No table for " + query + ".");
    }
    const auto stale = declared.find(query);
    const auto missing = missingColumns.find(query);
    return std::make_unique<FakeRecordset>(
        m_events, it->second, stale == declared.end() ? it->second.size() : stale->second,
        missing == missingColumns.end() ? std::vector<std::string>{} : missing->second);
}

class FakeTarget final : public ITargetDatabase {
public:
    explicit FakeTarget(FakeEvents& events) : m_events(events) {}

    // The statement of each row received, as a per-row target sends it.
    std::vector<std::string> statements;
    std::function<void(const std::string& statement)> onExecute;
    std::function<void(const std::string& connect)> onOpen;
    std::function<void()> onCommit;
    bool commitsAtEnd = false;  // a run that is one transaction
    // The rows each table holds, raised by every row received; counted only when countable.
    std::map<std::string, size_t> held;
    bool countable = false;
    // Every statement is answered without a row count.
    bool uncounted = false;
    // The target can read its tables back: it keeps the values of every row received, which a
    // test may change before they are read (onReadBack is called first, once per reading).
    bool readable = false;
    std::map<std::string, std::vector<std::vector<std::optional<std::string>>>> stored;
    std::function<void(const std::string& table)> onReadBack;
    std::vector<bool> padding;  // what ReadBackPadding answers for every table (none: unpadded)

    bool IsOpen() const noexcept override { return m_bOpen; }
    bool CommitsAtEnd() const override { return commitsAtEnd; }
    void CommitRun() override {
        if (onCommit) {
            onCommit();
        }
    }
    std::string Describe() const override { return "the fake target"; }
    void Open(const std::string& connect) override {
        m_events.Add("target.open");
        if (onOpen) {
            onOpen(connect);
        }
        m_bOpen = true;
    }
    void InsertRow(const CInsertItemList& row) override {
        std::string statement = row.BuildStatement();
        if (onExecute) {
            onExecute(statement);
        }
        statements.push_back(std::move(statement));
        ++held[row.m_strTable];
        if (readable) {
            auto& values = stored[row.m_strTable].emplace_back();
            for (const CInsertItem& item : row.m_items) {
                values.push_back(item.m_nKind == COLKIND_NULL
                                     ? std::nullopt
                                     : std::optional<std::string>(item.m_strValue));
            }
        }
    }
    std::vector<bool> ReadBackPadding(const std::string& table,
                                      const std::vector<std::string>& columns) override {
        if (!readable) {
            return ITargetDatabase::ReadBackPadding(table, columns);
        }
        return padding.empty() ? std::vector<bool>(columns.size(), false) : padding;
    }
    std::unique_ptr<ITableReader> ReadBack(const std::string& table,
                                           const std::vector<std::string>& columns) override;
    std::optional<size_t> CountRows(const std::string& table) override {
        m_events.Add("target.count " + table);
        if (!countable) {
            return std::nullopt;
        }
        return held[table];
    }
    bool RowsUncounted() const override { return uncounted && !statements.empty(); }
    void Close() noexcept override {
        if (m_bOpen) {
            m_events.Add("target.close");
        }
        m_bOpen = false;
    }

private:
    FakeEvents& m_events;
    bool m_bOpen = false;
};

class FakeTableReader final : public ITableReader {
public:
    explicit FakeTableReader(const std::vector<std::vector<std::optional<std::string>>>& rows)
        : m_rows(rows) {}
    bool Next() override { return ++m_nRow <= m_rows.size(); }
    CReadValue Value(std::size_t index) const override {
        const std::optional<std::string>& value = m_rows[m_nRow - 1].at(index);
        return value ? CReadValue{value->data(), value->size(), false} : CReadValue{};
    }

private:
    const std::vector<std::vector<std::optional<std::string>>>& m_rows;
    std::size_t m_nRow = 0;
};

inline std::unique_ptr<ITableReader> FakeTarget::ReadBack(const std::string& table,
                                                          const std::vector<std::string>& columns) {
    if (!readable) {
        return ITargetDatabase::ReadBack(table, columns);
    }
    m_events.Add("target.read " + table);
    if (onReadBack) {
        onReadBack(table);
    }
    return std::make_unique<FakeTableReader>(stored[table]);
}

// Records the log lines, and the run's other events in the shared list as
// "start|end|stopped|failed <table> <inserted>/<total>" ("-" for no table) and
// "declared <count> <table> <inserted>/<total>".
class FakeLog final : public IRunObserver {
public:
    explicit FakeLog(FakeEvents& events) : m_events(events) {}

    std::vector<std::string> lines;
    std::string target;                    // from OnTargetOpen
    std::vector<CTableProgress> plan;      // from OnRunStart
    std::optional<CRunOutcome> outcome;    // from OnRunEnd
    std::vector<CTableProgress> progress;  // every OnRowProgress
    int heartbeats = 0;
    std::function<void()> onProgress;
    // Asked by IsStopRequested; unset, never stop.
    std::function<bool()> stopWhen;

    void AppendLog(const std::string& line) override {
        m_events.Add("log " + line);
        lines.push_back(line);
    }
    void OnProgress() override {
        ++heartbeats;
        if (onProgress) {
            onProgress();
        }
    }
    void OnTargetOpen(const std::string& description) override { target = description; }
    void OnRunStart(const std::vector<CTableProgress>& tables) override { plan = tables; }
    void OnTableStart(const CTableProgress& table) override { Add("start", &table); }
    void OnRowProgress(const CTableProgress& table) override { progress.push_back(table); }
    void OnRowCountDiffers(const CTableProgress& table, size_t declared) override {
        Add("declared " + std::to_string(declared), &table);
    }
    void OnTableEnd(const CTableProgress& table) override { Add("end", &table); }
    void OnRowsUncounted() override { m_events.Add("uncounted"); }
    // A stop or a failure as "stopped T n/m" or "failed T n/m" (T "-": no table in progress).
    void OnRunEnd(const CRunOutcome& end) override {
        outcome = end;
        if (end.status != CRunOutcome::Status::Completed) {
            const bool inTable = end.table && !end.failedOpeningTable;
            Add(end.status == CRunOutcome::Status::Stopped ? "stopped" : "failed",
                inTable ? &*end.table : nullptr);
        }
    }
    bool IsStopRequested() override { return stopWhen && stopWhen(); }
    void OnVerifyStart(std::size_t total) override {
        m_events.Add("verify " + std::to_string(total));
    }
    void OnVerified(const CVerification& result) override {
        m_events.Add(std::string("verified ") + VerificationWord(result.state));
        verification = result;
    }
    std::optional<CVerification> verification;  // from OnVerified

private:
    void Add(const std::string& what, const CTableProgress* table) {
        m_events.Add(what + " " +
                     (table == nullptr ? std::string("-")
                                       : table->table + " " + std::to_string(table->inserted) +
                                             "/" + std::to_string(table->total)));
    }

    FakeEvents& m_events;
};
