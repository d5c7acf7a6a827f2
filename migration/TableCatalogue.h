#pragma once

#include <string>
#include <vector>

// One copied column: its name in the source and the target, and its column kind
// (COLKIND_INTEGER, COLKIND_TEXT or COLKIND_DATETIME).
struct CCatalogueColumn {
    std::string name;
    int kind;
};

// One table the migration copies: its name in the source and the target, the query that
// reads it ("select * from <table>"), the log line written when it is done
// ("<table>を移行しました。") and the copied columns in the order they are read and written.
struct CCatalogueEntry {
    std::string table;
    std::string query;
    std::string logLine;
    std::vector<CCatalogueColumn> columns;
};

// The eight tables in the order a run copies them. Built in: nothing reads a schema.
const std::vector<CCatalogueEntry>& GetTableCatalogue();
