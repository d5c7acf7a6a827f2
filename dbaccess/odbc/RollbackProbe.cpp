#include "dbaccess/odbc/RollbackProbe.h"

#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"

namespace {

// The probe table: temporary, so that it is the session's own and leaves nothing behind.
// SQL Server spells temporary tables with a '#' and knows no "temporary" keyword.
std::string CreateProbeTable(CDatabase& db) {
    try {
        db.ExecuteSQL("create temporary table brimlow_rollback_probe (id integer primary key)");
        return "brimlow_rollback_probe";
    } catch (const CDBException&) {
        db.ExecuteSQL("create table #brimlow_rollback_probe (id integer primary key)");
        return "#brimlow_rollback_probe";
    }
}

}  // namespace

void VerifyTargetCanRollBack(CDatabase& db) {
    if (!db.CanTransact()) {
        throw CDBException(
            Tr("The target cannot undo a transaction, so a failed replacing run could not be "
               "rolled back; nothing was changed. The driver has no transactions."));
    }
    const std::string table = CreateProbeTable(db);
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
