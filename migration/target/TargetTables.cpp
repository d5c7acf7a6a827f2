#include "migration/target/TargetTables.h"

#include <charconv>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetFailure.h"

namespace {

// The line under the driver's text when a table lacks a column the statements name: the
// driver's text names the column.
std::string MissingColumnLine(const std::string& table, const std::string& connect,
                              const CTargetKind& kind) {
    const std::string target = DescribeTarget(connect);
    if (kind.SchemaFile().empty()) {
        return TrFormat("The table %1 of the target (%2) lacks a column the program writes.",
                        {table, target, JapaneseTargetName(target)}) +
               "\n";
    }
    return TrFormat(
               "The table %1 of the target (%2) lacks a column the program writes. Create "
               "the eight tables with %3.",
               {table, target, ShippedFile(kind.SchemaFile()).string(),
                JapaneseTargetName(target)}) +
           "\n";
}

// Whether e says a column is missing: 42S22 (SQL Server), 42703 (PostgreSQL), or SQLite's
// "no such column" (sqlite3odbc reports HY000 for it).
bool IsMissingColumn(const CDBException& e) {
    for (const CDiagnosticRecord& record : e.Records()) {
        if (record.state == "42S22" || record.state == "42703" ||
            record.message.find("no such column") != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CheckTargetTables(CDatabase& database, const CTargetKind& kind, const std::string& connect) {
    CheckTargetTables([&database](const std::string& statement) { database.ExecuteSQL(statement); },
                      kind, connect);
}

void CheckTargetTables(const std::function<void(const std::string&)>& execute,
                       const CTargetKind& kind, const std::string& connect) {
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        // The columns as the statements name them.
        std::string columns;
        for (const CCatalogueColumn& column : entry.columns) {
            columns += (columns.empty() ? "" : ",") + column.name;
        }
        try {
            execute("select " + columns + " from " + entry.table + " where 1=0");
        } catch (const CDBException& e) {
            const std::string& driverText = e.GetErrorMessage();
            if (IsMissingColumn(e)) {
                throw CDBException(
                    DriverTextAndLine(driverText, MissingColumnLine(entry.table, connect, kind)),
                    e.Records());
            }
            std::string text = ExplainStatementFailure(e, entry.table, connect, kind);
            if (text == driverText &&
                ClassifyTargetFailure(e, kind) == TargetFailureKind::MissingTable) {
                // A kind that ships no schema adds nothing: the table is named here.
                const std::string target = DescribeTarget(connect);
                text = DriverTextAndLine(
                    driverText, TrFormat("The target (%1) has no table %2.",
                                         {target, entry.table, JapaneseTargetName(target)}) +
                                    "\n");
            }
            throw CDBException(text, e.Records());
        }
    }
}

std::optional<std::size_t> CountTableRows(CDatabase& database, const std::string& table) {
    try {
        const std::string text = database.QueryValue("select count(*) from " + table);
        std::size_t rows = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rows);
        if (error != std::errc() || end != text.data() + text.size()) {
            return std::nullopt;
        }
        return rows;
    } catch (const CDBException&) {
        return std::nullopt;
    }
}
