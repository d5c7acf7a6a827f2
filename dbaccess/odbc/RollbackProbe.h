#pragma once

class CDatabase;

// Makes sure that a transaction on the open connection can really be undone, before a run
// that relies on it changes anything. Throws CDBException when the driver says it has no
// transactions, or says it has but keeps a row that was rolled back (the SQLite driver with
// NoTXN=1 does that). Works on a temporary table of its own, which it drops again; no other
// table of the target is touched. Leaves autocommit on.
void VerifyTargetCanRollBack(CDatabase& db);
