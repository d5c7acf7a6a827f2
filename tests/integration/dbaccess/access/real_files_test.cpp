// Real Access files that nobody here made, read through the source classes table by table and
// compared value by value with what an independent reader gives (ref/<file>.jsonl).
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/integration/dbaccess/access/source_support.h"
#include "tests/support/MiniJson.h"

using namespace sourcetest;

namespace {

struct RefTable {
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns;  // name, reference type
    size_t rowCount = 0;
    std::vector<JsonValue> rows;  // each the array of tagged values
};

std::vector<RefTable> ReadReference(const std::filesystem::path& path) {
    std::vector<RefTable> tables;
    std::map<std::string, size_t> byName;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const JsonValue v = ParseJson(line);
        const std::string kind = v["kind"].text;
        if (kind == "table") {
            RefTable table;
            table.name = v["table"].text;
            for (const JsonValue& column : v["columns"].items) {
                table.columns.emplace_back(column[0].text, column[1].text);
            }
            table.rowCount = std::stoul(v["rowCount"].text);
            byName[table.name] = tables.size();
            tables.push_back(std::move(table));
        } else if (kind == "row") {
            tables.at(byName.at(v["table"].text)).rows.push_back(v["v"]);
        }
    }
    return tables;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The reference reader turns the bytes CP1252 leaves undefined into U+FFFD; Windows, and we,
// turn them into the C1 control of the same number (0x81 -> U+0081).
bool SameButUndefinedBytes(const std::string& ours, const std::string& ref) {
    std::string replaced;
    for (size_t i = 0; i < ours.size(); ++i) {
        const auto c = static_cast<unsigned char>(ours[i]);
        const auto next = i + 1 < ours.size() ? static_cast<unsigned char>(ours[i + 1]) : 0;
        if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            replaced += "\uFFFD";
            ++i;
        } else {
            replaced += static_cast<char>(c);
        }
    }
    return replaced == ref;
}

// "" when the value is what the reference holds, else why not. The reference's documented
// limits: dates are milliseconds on a linear scale, singles are widened to doubles, GUIDs are
// lower-case without braces.
std::string Compare(const CFieldValue& ours, const JsonValue& ref) {
    const std::string tag = ref[0].text;
    const auto real = [&] { return std::strtod(ref[1].text.c_str(), nullptr); };
    bool same = false;
    if (tag == "null") {
        same = ours.IsNull();
    } else if (tag == "bool") {
        same = ours.GetType() == FieldType::Boolean && ours.GetBoolean() == ref[1].boolean;
    } else if (tag == "byte" || tag == "int" || tag == "long") {
        same = ours.GetInteger() == std::stoll(ref[1].text) && !ours.IsNull();
    } else if (tag == "currency") {
        same =
            ours.GetType() == FieldType::Currency && ours.GetInteger() == std::stoll(ref[1].text);
    } else if (tag == "single") {
        same = ours.GetType() == FieldType::Single &&
               static_cast<double>(static_cast<float>(ours.GetReal())) == real();
    } else if (tag == "double") {
        same = ours.GetType() == FieldType::Double && ours.GetReal() == real();
    } else if (tag == "date") {
        same = ours.GetType() == FieldType::Date &&
               std::fabs(ours.GetReal() - real()) <= 1.0 / 86400000.0;
    } else if (tag == "text") {
        same =
            ours.GetType() == FieldType::Text &&
            (ours.GetText() == ref[1].text || SameButUndefinedBytes(ours.GetText(), ref[1].text));
    } else if (tag == "guid") {
        same =
            ours.GetType() == FieldType::Text && Lower(ours.GetText()) == "{" + ref[1].text + "}";
    } else if (tag == "numeric") {
        same = ours.GetType() == FieldType::Decimal && ours.GetText() == ref[1].text;
    }
    return same ? "" : "ours " + Describe(ours) + ", reference " + tag + " " + ref[1].text;
}

bool Unsupported(const std::string& refType) {
    return refType == "ole" || refType == "binary";
}

struct FileCase {
    std::string name;
    std::string password;
};

std::vector<FileCase> RealFiles() {
    std::vector<FileCase> files;
    std::ifstream in(testpaths::SharedFixtures("real/files.tsv"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        FileCase file;
        std::string version;
        std::getline(fields, file.name, '\t');
        std::getline(fields, version, '\t');
        std::getline(fields, file.password, '\t');
        if (!file.name.empty()) {
            files.push_back(file);
        }
    }
    return files;
}

TEST(SourceRealFiles, EveryValueOfEverySupportedTypeMatchesTheIndependentReader) {
    const auto folder = Shared("real");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real");
    }
    size_t files = 0, values = 0, differences = 0;
    std::vector<std::string> reports;
    const auto differ = [&](const std::string& what) {
        if (++differences <= 30) {
            reports.push_back(what);
        }
    };
    for (const FileCase& file : RealFiles()) {
        ++files;
        const std::string path = *folder + "/" + file.name + ".mdb";
        try {
            CDaoDatabase db;
            db.Open(path, false, true, ";PWD=" + file.password);
            for (const RefTable& table : ReadReference(*folder + "/ref/" + file.name + ".jsonl")) {
                const std::string where = file.name + " " + table.name;
                CDaoRecordset rs(db);
                rs.Open(dbOpenDynaset, "select * from [" + table.name + "]", dbReadOnly);
                size_t row = 0;
                for (; !rs.IsEOF(); rs.MoveNext(), ++row) {
                    if (row >= table.rows.size()) {
                        continue;
                    }
                    for (size_t c = 0; c < table.columns.size(); ++c) {
                        if (Unsupported(table.columns[c].second)) {
                            continue;
                        }
                        ++values;
                        const std::string why =
                            Compare(rs.GetFieldValue(table.columns[c].first), table.rows[row][c]);
                        if (!why.empty()) {
                            differ(where + " row " + std::to_string(row + 1) + " " +
                                   table.columns[c].first + ": " + why);
                        }
                    }
                }
                if (row != table.rowCount) {
                    differ(where + ": " + std::to_string(row) + " rows, reference " +
                           std::to_string(table.rowCount));
                }
            }
        } catch (const CException& e) {
            differ(file.name + ": " + e.GetErrorMessage());
        }
    }
    std::string list;
    for (const auto& report : reports) {
        list += "\n  " + report;
    }
    EXPECT_EQ(differences, 0u) << "in " << files << " files, " << values << " values:" << list;
    EXPECT_GE(files, 47u);
    std::printf("real files: %zu files, %zu values compared, %zu differences\n", files, values,
                differences);
}

}  // namespace
