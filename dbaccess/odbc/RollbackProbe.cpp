#include "dbaccess/odbc/RollbackProbe.h"

#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"

namespace {

// The probe table: temporary, so that it is the session's own and leaves nothing behind.
std::string CreateProbeTable(CDatabase& db, const std::vector<CProbeTable>& tables) {
    for (std::size_t i = 0;; ++i) {
        try {
            db.ExecuteSQL(tables.at(i).create);
            return tables[i].name;
        } catch (const CDBException&) {
            if (i + 1 >= tables.size()) {
                throw;
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
