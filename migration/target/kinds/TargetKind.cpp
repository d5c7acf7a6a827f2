#include "migration/target/kinds/TargetKind.h"

#include <utility>

#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"

namespace {

// SQL Server takes at most 1000 rows in one statement; fewer keeps a refused statement's
// rows easy to name and every statement well below a server's packet limits.
constexpr std::size_t kRowsPerStatement = 500;
constexpr std::size_t kBytesPerStatement = 256 * 1024;

// A literal that ends in a backslash: a server that reads standard quoting answers with its
// two bytes; one that takes the backslash for an escape sees no end to the literal.
constexpr const char kQuotingQuery[] = "select 'a\\'";
constexpr const char kQuotingAnswer[] = "a\\";

}  // namespace

TargetFailureKind KindOfState(const std::string& state) {
    if (state == "42S02" || state == "42P01") {
        return TargetFailureKind::MissingTable;
    }
    if (state == "40001" || state == "HYT00") {
        return TargetFailureKind::LockOrTimeout;
    }
    // 57P01 admin shutdown (a fast or immediate stop, a terminated backend), 57P02 crash
    // shutdown (a sibling backend crashed or was killed), 57P03 cannot connect now, 57P04 the
    // database dropped, 57P05 an idle session's timeout: the server ended the session, possibly
    // between applying a statement and answering it. 57014 (a cancel) is not among them.
    if (state.rfind("08", 0) == 0 ||
        (state.size() == 5 && state.rfind("57P0", 0) == 0 && state[4] >= '1' && state[4] <= '5')) {
        return TargetFailureKind::Connection;
    }
    return TargetFailureKind::Other;
}

void CTargetKind::CheckSession(CDatabase& database) const {
    std::string driverText;
    try {
        if (database.QueryValue(kQuotingQuery) == kQuotingAnswer) {
            return;
        }
    } catch (const CDBException& e) {
        // A connection lost at once says nothing about the quoting: its own failure is told.
        for (const CDiagnosticRecord& record : e.Records()) {
            if (ClassifyRecord(record) == TargetFailureKind::Connection ||
                IsOwnConnectionLoss(record)) {
                database.Close();
                throw;
            }
        }
        driverText = e.GetErrorMessage();
    }
    database.Close();
    std::string text = QuotingRefusal();
    if (!driverText.empty()) {
        text += "\n" + driverText;
    }
    throw CDBException(text);
}

std::string CTargetKind::QuotingRefusal() const {
    return Tr(
        "The target does not give back a backslash in quoted text as it is (asked for "
        "'a\\', it did not answer a\\): it reads backslashes as escapes, so values "
        "holding one would arrive changed and could end their text early; nothing was "
        "sent. Make the server or the data source read quoted text in the standard way.");
}

TargetFailureKind CTargetKind::ClassifyRecord(const CDiagnosticRecord& record) const {
    return KindOfState(record.state);
}

std::vector<CProbeTable> CTargetKind::ProbeTables() const {
    return {{"brimlow_rollback_probe",
             "create temporary table brimlow_rollback_probe (id integer primary key)"}};
}

std::vector<std::string> CTargetKind::LockAndEmptyStatements() const {
    std::vector<std::string> statements;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        statements.push_back("delete from " + entry.table);
    }
    return statements;
}

namespace {

class CSingleQuery final : public CReadBackPaging {
public:
    explicit CSingleQuery(std::string query) : m_strQuery(std::move(query)) {}
    std::string NextQuery(std::size_t /*rowsRead*/, std::string_view /*lastKey*/) override {
        return std::exchange(m_strQuery, {});
    }

private:
    std::string m_strQuery;
};

}  // namespace

std::unique_ptr<CReadBackPaging> CTargetKind::ReadBackPaging(const std::string& table,
                                                             const std::string& columns,
                                                             std::size_t /*rows*/) const {
    return std::make_unique<CSingleQuery>("select " + columns + " from " + table);
}

std::size_t CTargetKind::RowsPerStatement() const {
    return kRowsPerStatement;
}

std::size_t CTargetKind::BytesPerStatement() const {
    return kBytesPerStatement;
}
