#include "migration/TableCatalogue.h"

#include "migration/statement/ColumnKind.h"

namespace {

CCatalogueEntry MakeEntry(const std::string& table, std::vector<CCatalogueColumn> columns) {
    return {table, "select * from " + table, table + "を移行しました。", std::move(columns)};
}

std::vector<CCatalogueEntry> BuildCatalogue() {
    // The postal codes are text: they keep their leading zeros and blanks.
    const std::vector<CCatalogueColumn> kenAll = {
        {"DantaiCode", COLKIND_TEXT},     {"ZipCode5", COLKIND_TEXT},
        {"ZipCode7", COLKIND_TEXT},       {"TodofukenKana", COLKIND_TEXT},
        {"City1Kana", COLKIND_TEXT},      {"City2Kana", COLKIND_TEXT},
        {"TodofukenKanji", COLKIND_TEXT}, {"City1Kanji", COLKIND_TEXT},
        {"City2Kanji", COLKIND_TEXT},     {"Flag10", COLKIND_INTEGER},
        {"Flag11", COLKIND_INTEGER},      {"Flag12", COLKIND_INTEGER},
        {"Flag13", COLKIND_INTEGER},      {"Flag14", COLKIND_INTEGER},
        {"Flag15", COLKIND_INTEGER},
    };
    // Col01, the master tables' AutoNumber key, is not copied.
    const std::vector<CCatalogueColumn> tenColumns = {
        {"Col02", COLKIND_TEXT},        {"Col03", COLKIND_TEXT}, {"Col04", COLKIND_TEXT},
        {"Col05", COLKIND_TEXT},        {"Col06", COLKIND_TEXT}, {"Col07", COLKIND_TEXT},
        {"Col08", COLKIND_TEXT},        {"Col09", COLKIND_TEXT}, {"Col10", COLKIND_TEXT},
        {"JogaiFlag", COLKIND_INTEGER},
    };
    const std::vector<CCatalogueColumn> fiveColumns = {
        {"Col02", COLKIND_TEXT}, {"Col03", COLKIND_TEXT},        {"Col04", COLKIND_TEXT},
        {"Col05", COLKIND_TEXT}, {"JogaiFlag", COLKIND_INTEGER},
    };
    return {
        MakeEntry("KEN_ALL", kenAll),
        MakeEntry("KEN_ALL_Version", {{"Version", COLKIND_DATETIME}}),
        MakeEntry("Mst01", tenColumns),
        MakeEntry("Mst02", fiveColumns),
        MakeEntry("Mst02Error", fiveColumns),
        MakeEntry("Mst03", tenColumns),
        MakeEntry("Mst04", fiveColumns),
        MakeEntry("Mst04Error", fiveColumns),
    };
}

}  // namespace

const std::vector<CCatalogueEntry>& GetTableCatalogue() {
    static const std::vector<CCatalogueEntry> catalogue = BuildCatalogue();
    return catalogue;
}
