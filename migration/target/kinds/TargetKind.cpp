#include "migration/target/kinds/TargetKind.h"

#include "migration/TableCatalogue.h"

namespace {

// SQL Server takes at most 1000 rows in one statement; fewer keeps a refused statement's
// rows easy to name and every statement well below a server's packet limits.
constexpr std::size_t kRowsPerStatement = 500;
constexpr std::size_t kBytesPerStatement = 256 * 1024;

}  // namespace

TargetFailureKind KindOfState(const std::string& state) {
    if (state == "42S02" || state == "42P01") {
        return TargetFailureKind::MissingTable;
    }
    if (state == "40001" || state == "HYT00") {
        return TargetFailureKind::LockOrTimeout;
    }
    if (state.rfind("08", 0) == 0) {
        return TargetFailureKind::Connection;
    }
    return TargetFailureKind::Other;
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

std::size_t CTargetKind::RowsPerStatement() const {
    return kRowsPerStatement;
}

std::size_t CTargetKind::BytesPerStatement() const {
    return kBytesPerStatement;
}
