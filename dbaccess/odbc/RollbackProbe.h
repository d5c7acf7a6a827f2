#pragma once

#include <string>
#include <vector>

class CDatabase;

// A temporary table of the probe's own, as the target's SQL spells it: its name, and the
// statement that creates it with one column, "id integer primary key".
struct CProbeTable {
    std::string name;
    std::string create;
};

// Makes sure that a transaction on the open connection can really be undone, before a run
// that relies on it changes anything. Throws CDBException when the driver says it has no
// transactions, or says it has but keeps a row that was rolled back (the SQLite driver with
// NoTXN=1 does that). Works on the first of tables that the target creates (when it creates none,
// the first failure that is not a syntax error is thrown, else the first), and drops it again; no
// other table of the target is touched. Leaves autocommit on.
void VerifyTargetCanRollBack(CDatabase& db, const std::vector<CProbeTable>& tables);
