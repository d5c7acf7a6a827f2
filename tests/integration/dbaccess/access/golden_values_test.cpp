// The values read from sample.mdb, types.mdb and their variants, turned into statements by the
// fixtures' documented rules, must equal the golden statements. Dates are left out here (they
// are checked bit for bit elsewhere); every other value of every table is compared.
#include <cmath>
#include <fstream>
#include <sstream>

#include "dbaccess/access/jet/JetText.h"
#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

enum class Kind { Integer, Text };

struct Table {
    std::string name;
    std::vector<std::pair<std::string, Kind>> columns;
};

std::vector<std::pair<std::string, Kind>> Columns(std::vector<std::string> text,
                                                  std::vector<std::string> integer) {
    std::vector<std::pair<std::string, Kind>> columns;
    for (auto& c : text)
        columns.emplace_back(c, Kind::Text);
    for (auto& c : integer)
        columns.emplace_back(c, Kind::Integer);
    return columns;
}

// The tables and columns the program copies, without KEN_ALL_Version (a date).
const std::vector<Table>& CopiedTables() {
    static const std::vector<Table> tables = [] {
        const auto mst0103 = Columns(
            {"Col02", "Col03", "Col04", "Col05", "Col06", "Col07", "Col08", "Col09", "Col10"},
            {"JogaiFlag"});
        const auto mst02 = Columns({"Col02", "Col03", "Col04", "Col05"}, {"JogaiFlag"});
        return std::vector<Table>{
            {"KEN_ALL", Columns({"DantaiCode", "ZipCode5", "ZipCode7", "TodofukenKana", "City1Kana",
                                 "City2Kana", "TodofukenKanji", "City1Kanji", "City2Kanji"},
                                {"Flag10", "Flag11", "Flag12", "Flag13", "Flag14", "Flag15"})},
            {"Mst01", mst0103},
            {"Mst02", mst02},
            {"Mst02Error", mst02},
            {"Mst03", mst0103},
            {"Mst04", mst02},
            {"Mst04Error", mst02}};
    }();
    return tables;
}

std::string Quote(const std::string& text) {
    std::string literal = "'";
    for (char c : text) {
        literal += c;
        if (c == '\'') {
            literal += '\'';
        }
    }
    return literal + "'";
}

// Currency units of 1/10,000 rounded half to even to a whole number.
int64_t RoundCurrency(int64_t units) {
    int64_t whole = units / 10000;
    const int64_t rest = units % 10000;
    if (std::llabs(rest) > 5000 || (std::llabs(rest) == 5000 && whole % 2 != 0)) {
        whole += rest < 0 ? -1 : 1;
    }
    return whole;
}

// The fixtures' rules for a value in a column of the given kind.
std::string Literal(const CFieldValue& v, Kind kind) {
    if (v.IsNull()) {
        return "NULL";
    }
    if (kind == Kind::Text) {
        return Quote(v.GetType() == FieldType::Text ? v.GetText() : std::to_string(v.GetInteger()));
    }
    switch (v.GetType()) {
        case FieldType::Boolean:
            return v.GetBoolean() ? "-1" : "0";
        case FieldType::Double:
        case FieldType::Single:
            return std::to_string(std::llrint(v.GetReal()));
        case FieldType::Currency:
            return std::to_string(RoundCurrency(v.GetInteger()));
        case FieldType::Text:
            return std::to_string(std::stoll(v.GetText()));
        default:
            return std::to_string(v.GetInteger());
    }
}

std::vector<std::string> Statements(CDaoDatabase& db) {
    std::vector<std::string> statements;
    for (const Table& table : CopiedTables()) {
        std::vector<std::string> names;
        std::string list;
        for (const auto& [column, kind] : table.columns) {
            names.push_back(column);
            list += (list.empty() ? "" : ",") + column;
        }
        for (const auto& row : ReadRows(db, table.name, names)) {
            std::string values;
            for (size_t i = 0; i < row.size(); ++i) {
                values += (i ? "," : "") + Literal(row[i], table.columns[i].second);
            }
            statements.push_back("insert into " + table.name + "(" + list + ") values (" + values +
                                 ")");
        }
    }
    return statements;
}

// A JSON array of strings, as the golden .sql.json files hold.
std::vector<std::string> ReadJsonStrings(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string json = buffer.str();
    std::vector<std::string> strings;
    for (size_t i = 0; i < json.size(); ++i) {
        if (json[i] != '"') {
            continue;
        }
        std::string s;
        for (++i; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] != '\\') {
                s += json[i];
                continue;
            }
            const char e = json[++i];
            if (e == 'u') {
                char32_t u = std::stoul(json.substr(i + 1, 4), nullptr, 16);
                i += 4;
                if (u >= 0xD800 && u <= 0xDBFF && json.compare(i + 1, 2, "\\u") == 0) {
                    const char32_t low = std::stoul(json.substr(i + 3, 4), nullptr, 16);
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
                AppendUtf8(s, u);
            } else {
                s += e == 'n'   ? '\n'
                     : e == 'r' ? '\r'
                     : e == 't' ? '\t'
                     : e == 'b' ? '\b'
                     : e == 'f' ? '\f'
                                : e;
            }
        }
        strings.push_back(std::move(s));
    }
    return strings;
}

struct GoldenCase {
    const char* file;
    const char* golden;
};

class SourceGoldenStatements : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(SourceGoldenStatements, FollowFromTheValuesRead) {
    // The project keeps a copy of the golden files; the shared fixtures have them too.
    std::optional<std::string> golden = Data(std::string("golden/") + GetParam().golden);
    if (!std::filesystem::exists(*golden)) {
        golden = Shared(std::string("golden/") + GetParam().golden);
    }
    if (!golden) {
        GTEST_SKIP() << "no golden files in tests/data/golden or ../shared/fixtures/golden";
    }
    std::vector<std::string> expected;
    for (auto& statement : ReadJsonStrings(*golden)) {
        if (statement.rfind("insert into KEN_ALL_Version(", 0) != 0) {
            expected.push_back(std::move(statement));
        }
    }
    CDaoDatabase db;
    db.Open(Data(GetParam().file), false, true, kPassword);
    const std::vector<std::string> actual = Statements(db);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "statement " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SourceGoldenStatements,
                         ::testing::Values(GoldenCase{"sample.mdb", "sample.sql.json"},
                                           GoldenCase{"nopassword.mdb", "sample.sql.json"},
                                           GoldenCase{"extra-columns.mdb", "sample.sql.json"},
                                           GoldenCase{"types.mdb", "types.sql.json"}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             std::erase_if(name, [](char c) {
                                 return !std::isalnum(static_cast<unsigned char>(c));
                             });
                             return name;
                         });

}  // namespace
