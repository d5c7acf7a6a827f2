#include "migration/target/TableReadBack.h"

#include <cstdio>
#include <functional>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/jet/OleDate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "dbaccess/odbc/OdbcResultReader.h"
#include "migration/RunWatch.h"
#include "migration/target/SqliteFileReadBack.h"
#include "migration/target/StatementRunner.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetFileIdentity.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// The rows a paging query asks for at most; the reader's blocks may hold fewer.
constexpr std::size_t kRowsPerQuery = 1024;

std::string SelectList(const std::vector<std::string>& columns) {
    std::string list;
    for (const std::string& column : columns) {
        list += (list.empty() ? "" : ", ") + column;
    }
    return list;
}

// Runs work watched; a broken connection is CConnectionLost, with nothing in flight.
void Watched(CStatementRunner& runner, const CTargetKind& kind, const std::function<void()>& work) {
    try {
        runner.Run(work, UnknownOutcome::None);
    } catch (const CConnectionLost&) {
        throw;
    } catch (const CDBException& e) {
        if (ClassifyTargetFailure(e, kind) == TargetFailureKind::Connection) {
            throw CConnectionLost(e, UnknownOutcome::None);
        }
        throw;
    }
}

void TakeStop(const CStatementRunner& runner) {
    if (const std::shared_ptr<CRunWatch>& watch = runner.Watch();
        watch && watch->IsStopRequested()) {
        throw CRunStopped();
    }
}

// A date-time as the run renders one, with a fraction of a second after it when there is one.
void FormatTimestamp(const COdbcTimestamp& value, std::string& out) {
    CDateTimeFields fields;
    fields.nYear = value.year;
    fields.nMonth = value.month;
    fields.nDay = value.day;
    fields.nHour = value.hour;
    fields.nMinute = value.minute;
    fields.nSecond = value.second;
    out = FormatDateTime(fields);
    if (value.fraction != 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%09lu", value.fraction % 1000000000ul);
        std::string_view digits(fraction);
        while (digits.back() == '0') {
            digits.remove_suffix(1);
        }
        out += digits;
    }
}

class CTableReadBack final : public ITableReader {
public:
    CTableReadBack(CDatabase& database, CStatementRunner& runner, const CTargetKind& kind,
                   const std::string& table, const std::vector<std::string>& columns)
        : m_database(database),
          m_runner(runner),
          m_kind(kind),
          m_paging(kind.ReadBackPaging(table, SelectList(columns), kRowsPerQuery)),
          m_reader(database),
          m_nFirst(m_paging->HasKey() ? 1 : 0),
          m_dates(columns.size()) {}

    ~CTableReadBack() override {
        m_reader.Close();
        if (m_bBegun && !m_bEnded && m_database.IsOpen()) {
            m_paging->Abandon(m_database);
        }
    }

    bool Next() override {
        if (m_nRows != 0 && ++m_nRow < m_nRows) {
            return true;
        }
        m_nRows = 0;
        while (!m_bEnded) {
            TakeStop(m_runner);
            if (!m_bBegun) {
                m_bBegun = true;
                Watched(m_runner, m_kind, [this] { m_paging->Begin(m_database); });
            }
            if (!m_bQueryOpen) {
                const std::string query = m_paging->NextQuery(m_nQueryRows, m_strKey);
                if (query.empty()) {
                    Watched(m_runner, m_kind, [this] { m_paging->End(m_database); });
                    m_bEnded = true;
                    break;
                }
                Watched(m_runner, m_kind, [this, &query] {
                    m_reader.Execute(query, m_kind.ReadsDateTimesAsText(), kRowsPerQuery,
                                     m_paging->Repeatable());
                });
                m_bQueryOpen = true;
                m_nQueryRows = 0;
            }
            std::size_t rows = 0;
            Watched(m_runner, m_kind, [this, &rows] { rows = m_reader.FetchBlock(); });
            if (rows == 0) {
                m_bQueryOpen = false;
                continue;
            }
            m_nQueryRows += rows;
            if (m_nFirst != 0) {
                m_strKey = m_reader.Text(rows - 1, 0);
            }
            m_nRows = rows;
            m_nRow = 0;
            return true;
        }
        return false;
    }

    CReadValue Value(std::size_t index) const override {
        const std::size_t column = index + m_nFirst;
        if (m_reader.IsNull(m_nRow, column)) {
            return {};
        }
        if (m_reader.IsTimestamp(column)) {
            std::string& text = m_dates[index];
            FormatTimestamp(m_reader.Timestamp(m_nRow, column), text);
            return {text.data(), text.size(), false};
        }
        const std::string_view text = m_reader.Text(m_nRow, column);
        return {text.data(), text.size(), false};
    }

private:
    CDatabase& m_database;
    CStatementRunner& m_runner;
    const CTargetKind& m_kind;
    std::unique_ptr<CReadBackPaging> m_paging;
    COdbcResultReader m_reader;
    std::size_t m_nFirst;  // the reader's columns before the table's: the paging's key
    mutable std::vector<std::string> m_dates;  // a date-time column's value, as formatted
    bool m_bBegun = false;
    bool m_bEnded = false;
    bool m_bQueryOpen = false;
    std::size_t m_nQueryRows = 0;  // the rows the current (or last) query gave
    std::string m_strKey;          // the key of the last row read
    std::size_t m_nRows = 0;       // in the current block
    std::size_t m_nRow = 0;        // the current row within it
};

}  // namespace

std::vector<bool> ReadBackPadding(CDatabase& database, CStatementRunner& runner,
                                  const CTargetKind& kind, const std::string& table,
                                  const std::vector<std::string>& columns) {
    COdbcResultReader reader(database);
    std::vector<bool> padded(columns.size(), false);
    Watched(runner, kind, [&] {
        reader.Execute("select " + SelectList(columns) + " from " + table + " where 1=0", true, 1);
        const std::vector<COdbcColumn>& described = reader.Columns();
        for (std::size_t c = 0; c < padded.size() && c < described.size(); ++c) {
            padded[c] = kind.PadsFixedLengthText() && described[c].fixedLengthText;
        }
        reader.FetchBlock();
    });
    return padded;
}

std::unique_ptr<ITableReader> ReadTableBack(CDatabase& database, CStatementRunner& runner,
                                            const CTargetKind& kind, const std::string& table,
                                            const std::vector<std::string>& columns) {
    return std::make_unique<CTableReadBack>(database, runner, kind, table, columns);
}

std::unique_ptr<ITableReader> ReadTargetTableBack(CDatabase& database, CStatementRunner& runner,
                                                  const CTargetKind& kind,
                                                  const CResolvedTarget& target,
                                                  const CTargetFileIdentity& file,
                                                  const std::string& table,
                                                  const std::vector<std::string>& columns) {
    if (const std::string path = TargetFile(target); &kind == &SqliteKind() && !path.empty()) {
        file.Verify();
        const std::shared_ptr<CRunWatch> watch = runner.Watch();
        return ReadSqliteFileBack(path, table, columns,
                                  [watch] { return watch && watch->IsStopRequested(); });
    }
    return ReadTableBack(database, runner, kind, table, columns);
}
