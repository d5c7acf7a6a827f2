#include "dbaccess/odbc/RollbackProbe.h"

#include <optional>
#include <string>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"

namespace {

// Whether e says only that the statement is not this server's SQL (a spelling of a temporary
// table another kind of server uses), which tells nothing about the server itself.
// Told by the standard states where a driver uses them, else by the text: SQL Server's
// general 42000 also carries a full disk or a refused permission.
bool IsSyntaxError(const CDBException& e) {
    for (const CDiagnosticRecord& record : e.Records()) {
        const std::string message = AsciiLower(record.message);
        if (record.state == "42601" || record.state == "37000" ||
            message.find("syntax error") != std::string::npos ||
            message.find("incorrect syntax") != std::string::npos ||
            message.find("unknown object type") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The probe table: temporary, so that it is the session's own and leaves nothing behind.
// When no spelling works, the first failure that is not a mere syntax error is thrown (a
// read-only database, a full disk, a locked file), else the first one: a later spelling's
// "syntax error" would hide why the first one failed.
std::string CreateProbeTable(CDatabase& db, const std::vector<CProbeTable>& tables) {
    std::optional<CDBException> telling;
    for (std::size_t i = 0;; ++i) {
        try {
            db.ExecuteSQL(tables.at(i).create);
            return tables[i].name;
        } catch (const CDBException& e) {
            if (!telling || (IsSyntaxError(*telling) && !IsSyntaxError(e))) {
                telling = e;
            }
            if (i + 1 >= tables.size()) {
                throw *telling;
            }
        }
    }
}

}  // namespace

void VerifyTargetCanRollBack(CDatabase& db, const std::vector<CProbeTable>& tables) {
    if (!db.CanTransact()) {
        throw CDBException(
            Tr("The target cannot undo a transaction, so a failed replacing run could not be "
               "rolled back; nothing was changed. The driver has no transactions."));
    }
    const std::string table = CreateProbeTable(db, tables);
    const std::string insert = "insert into " + table + " (id) values (1)";
    db.BeginTrans();
    try {
        db.ExecuteSQL(insert);
    } catch (...) {
        db.Rollback();
        throw;
    }
    db.Rollback();
    // The same key again: it goes in only when the rolled-back row is really gone.
    bool kept = false;
    try {
        db.ExecuteSQL(insert);
    } catch (const CDBException&) {
        kept = true;
    }
    db.ExecuteSQL("drop table " + table);
    if (kept) {
        throw CDBException(
            Tr("The target cannot undo a transaction, so a failed replacing run could not be "
               "rolled back; nothing was changed. The driver kept a row that was rolled back "
               "(for SQLite, remove NoTXN from the connection)."));
    }
}
