// Real Access files that nobody here made (.mdb in real/, Access 2007+ .accdb in real-accdb/),
// read through the source classes table by table and compared value by value with what an
// independent reader gives (ref/<file>.jsonl).
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "dbaccess/access/FileCheckProcess.h"
#include "dbaccess/access/jet/JetValue.h"
#include "dbaccess/access/jet/OleDate.h"
#include "dbaccess/access/libmdb/MdbDatabase.h"
#include "dbaccess/access/libmdb/MdbTableReader.h"
#include "tests/integration/dbaccess/access/source_support.h"
#include "tests/support/EncryptedCopy.h"
#include "tests/support/MiniJson.h"

using namespace sourcetest;

namespace {

struct RefTable {
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns;  // name, reference type
    size_t rowCount = 0;
    std::vector<JsonValue> rows;  // each the array of tagged values
    bool failed = false;          // the reader gave an error instead of (some of) the rows
};

// The rows a table holds: what the reader read where it says so (the declared count, which
// rowCount gives, can be stale), else the declared count.
size_t RowsHeld(const RefTable& table) {
    return table.rows.empty() ? table.rowCount : table.rows.size();
}

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
            const std::string rowCount = v["rowCount"].text;
            table.rowCount = rowCount.empty() ? 0 : std::stoul(rowCount);
            table.failed = !v["error"].text.empty();
            byName[table.name] = tables.size();
            tables.push_back(std::move(table));
        } else if (kind == "row") {
            tables.at(byName.at(v["table"].text)).rows.push_back(v["v"]);
        } else if (kind == "table_end" && !v["error"].text.empty()) {
            tables.at(byName.at(v["table"].text)).failed = true;
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

// A decimal text without the trailing zeros of its fraction ("50.325000" -> "50.325",
// "-0.0" -> "0"), so that two texts of the same number compare equal.
std::string PlainDecimal(std::string text) {
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

// A Date/Time Extended value as the reference writes it: "yyyy.mm.dd hh:mm:ss.fffffff00".
std::string ExtendedDateText(int64_t ticks) {
    constexpr int64_t kTicksPerSecond = 10000000;
    const CDateTimeFields f = ExtendedDateToFields(ticks - ticks % kTicksPerSecond);
    char text[40];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d.%07lld00", f.nYear, f.nMonth,
                  f.nDay, f.nHour, f.nMinute, f.nSecond,
                  static_cast<long long>(ticks % kTicksPerSecond));
    return text;
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
        same = ours.GetType() == FieldType::Decimal &&
               PlainDecimal(ours.GetText()) == PlainDecimal(ref[1].text);
    } else if (tag == "bigint") {
        same = ours.GetType() == FieldType::LargeNumber &&
               std::to_string(ours.GetInteger()) == ref[1].text;
    } else if (tag == "datetimextended") {
        same = ours.GetType() == FieldType::ExtendedDate &&
               ExtendedDateText(ours.GetInteger()) == ref[1].text;
    }
    return same ? "" : "ours " + Describe(ours) + ", reference " + tag + " " + ref[1].text;
}

// The calculated columns (Access 2010+) hold the stored result of their expression, which the
// reference reader returns as the wrapper's bytes. Their values, derived by hand from each
// expression as mdb-prop prints it and from the row's other columns, per row, in the type of
// the result:
//   row 1: Bruce Wayne, Salary 1000000.0000, Popularity 50.325
//   row 2: Bart Simpson, Salary -1.0000, Popularity -36.2222
//   row 3: John Doe, Salary 0.0000, Popularity 0.0123
//   row 4: Test User, Salary 100.0000, Popularity 102030405060.654321
// Currency keeps 4 decimals, Decimal results keep at most 28 significant digits, cut (not
// rounded) after the last, Single is the nearest float.
struct CalculatedColumn {
    const char* file;
    const char* table;
    const char* column;
    std::vector<CFieldValue> rows;
    // Instead of rows: the column whose reference value in the same row it holds.
    const char* sameAs = nullptr;
};

const std::vector<CalculatedColumn>& CalculatedColumns() {
    using V = CFieldValue;
    static const std::vector<CalculatedColumn> columns = {
        // [LastName] & ", " & [FirstName]
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "LastFirst",
         {V::Text("Wayne, Bruce"), V::Text("Simpson, Bart"), V::Text("Doe, John"),
          V::Text("User, Test")}},
        // Len([LastFirst])
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "LastFirstLen",
         {V::Long(12), V::Long(13), V::Long(9), V::Long(10)}},
        // [Salary]/12, a Currency result: 83333.3333, -0.0833, 0, 8.3333
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "MonthlySalary",
         {V::Currency(833333333), V::Currency(-833), V::Currency(0), V::Currency(83333)}},
        // [Salary]>100000, Yes/No (Access shows -1 for Yes)
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "IsRich",
         {V::Boolean(true), V::Boolean(false), V::Boolean(false), V::Boolean(false)}},
        // [LastName] & ", " & [FirstName] & "=" & [LastFirst], a Memo result (row 3 inline,
        // the others on a long-value page)
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "AllNames",
         {V::Text("Wayne, Bruce=Wayne, Bruce"), V::Text("Simpson, Bart=Simpson, Bart"),
          V::Text("Doe, John=Doe, John"), V::Text("User, Test=User, Test")}},
        // [Salary]/52, a Decimal result: 1000000/52 = 19230.769230769230..., -1/52 =
        // -0.019230769230769230..., 100/52 = 1.9230769230769230...
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "WeeklySalary",
         {V::Decimal("19230.7692307692"), V::Decimal("-0.0192307692307692"), V::Decimal("0"),
          V::Decimal("1.92307692307692")}},
        // [Salary]
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "SalaryTest",
         {V::Currency(10000000000), V::Currency(-10000), V::Currency(0), V::Currency(1000000)}},
        // True
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "BoolTest",
         {V::Boolean(true), V::Boolean(true), V::Boolean(true), V::Boolean(true)}},
        // [Popularity]
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "DecimalTest",
         {V::Decimal("50.325"), V::Decimal("-36.2222"), V::Decimal("0.0123"),
          V::Decimal("102030405060.654321")}},
        // [Salary]*0.13/[DecimalTest], a Single result: 130000/50.325, -0.13/-36.2222,
        // 0/0.0123, 13/102030405060.654321
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "FloatTest",
         {V::Single(static_cast<float>(130000.0 / 50.325)),
          V::Single(static_cast<float>(0.13 / 36.2222)), V::Single(0.0f),
          V::Single(static_cast<float>(13.0 / 102030405060.654321))}},
        // ([Salary]*[MonthlySalary]/[DecimalTest])*34.12342134, a Decimal result:
        // 1000000 * 83333.3333 / 50.325 * 34.12342134 = 56505085819.424791296572280185...,
        // -1 * -0.0833 / -36.2222 * 34.12342134 = -0.078473449918061299424110076...,
        // 0, 100 * 8.3333 / 102030405060.654321 * 34.12342134 = 2.7870192898242169808...e-7
        {"jackcess__V2010_calcFieldTestV2010",
         "Table1",
         "BigNumTest",
         {V::Decimal("56505085819.42479129657228018"),
          V::Decimal("-0.0784734499180612994241100748"), V::Decimal("0"),
          V::Decimal("0.000000278701928982421698083")}},
        // [DateNormal], a Date/Time result; Null where DateNormal is
        {"jackcess__V2019_extDateTestV2019", "Table1", "DateNormalCalc", {}, "DateNormal"},
    };
    return columns;
}

// The calculated column's entry above, or null for any other column.
const CalculatedColumn* Calculated(const std::string& file, const std::string& table,
                                   const std::string& column) {
    for (const CalculatedColumn& c : CalculatedColumns()) {
        if (file == c.file && table == c.table && column == c.column) {
            return &c;
        }
    }
    return nullptr;
}

bool Unsupported(const std::string& refType) {
    return refType == "ole" || refType == "binary" || refType == "complex";
}

// "" when reading the column is refused as it should be: the message names the column, the
// table and the column's type.
std::string RefusalProblem(const std::string& message, const std::string& table,
                           const std::string& column, int type) {
    const std::string typeText =
        std::string_view(JetTypeName(type)) == "unknown"
            ? "(type code " + std::to_string(type) + ")"
            : std::string("the type ") + JetTypeName(type) + ", which this program cannot read.";
    const bool named = message.find("'" + column + "'") != std::string::npos &&
                       message.find("'" + table + "'") != std::string::npos &&
                       message.find(typeText) != std::string::npos;
    return named ? "" : "refused as \"" + message + "\"";
}

struct FileCase {
    std::string name;
    std::string password;
};

// files.tsv: name, format, then the password (real/) or the source (real-accdb/).
std::vector<FileCase> RealFiles(const std::string& folder, bool withPasswords) {
    std::vector<FileCase> files;
    std::ifstream in(folder + "/files.tsv");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        FileCase file;
        std::string version;
        std::getline(fields, file.name, '\t');
        std::getline(fields, version, '\t');
        if (withPasswords) {
            std::getline(fields, file.password, '\t');
        }
        if (!file.name.empty() && file.name != "name") {
            files.push_back(file);
        }
    }
    return files;
}

struct Tally {
    size_t files = 0, values = 0, refused = 0, differences = 0, calculated = 0;
    std::vector<std::string> reports;
    std::map<std::string, size_t> valuesByFile;

    void Differ(const std::string& what) {
        if (++differences <= 30) {
            reports.push_back(what);
        }
    }
    std::string List() const {
        std::string list;
        for (const auto& report : reports) {
            list += "\n  " + report;
        }
        return list;
    }
};

// A table the reference could not read (complex or unknown column types) has no values to
// compare: every row is read through the table reader, the readable columns must decode, and
// each other column must be refused with a message that names it.
void CheckUnreadTable(const std::string& path, const RefTable& table, Tally& tally) {
    MdbDatabase file(path);
    MdbTableReader reader(file, table.name);
    bool refusedOne = false;
    for (size_t row = 0; reader.Next(); ++row) {
        for (size_t c = 0; c < reader.ColumnCount(); ++c) {
            const std::string& column = reader.ColumnName(c);
            try {
                const CFieldValue value = reader.Value(c);
                if (!IsReadableJetType(reader.ColumnType(c)) && !value.IsNull()) {
                    tally.Differ(table.name + " " + column + ": read, not refused");
                }
            } catch (const CDaoException& e) {
                ++tally.refused;
                refusedOne = true;
                const std::string why =
                    RefusalProblem(e.GetErrorMessage(), table.name, column, reader.ColumnType(c));
                if (!why.empty() || IsReadableJetType(reader.ColumnType(c))) {
                    tally.Differ(table.name + " row " + std::to_string(row + 1) + " " + column +
                                 ": " + (why.empty() ? e.GetErrorMessage() : why));
                }
            }
        }
    }
    if (!refusedOne && reader.RowsRead() > 0) {
        tally.Differ(table.name + ": the reference failed on it, and we refuse no column");
    }
}

void CompareFile(const std::string& path, const std::string& refPath, const FileCase& file,
                 Tally& tally) {
    ++tally.files;
    const size_t valuesBefore = tally.values;
    try {
        CDaoDatabase db;
        db.Open(path, false, true, ";PWD=" + file.password);
        for (const RefTable& table : ReadReference(refPath)) {
            const std::string where = file.name + " " + table.name;
            if (table.failed && table.rows.empty()) {
                CheckUnreadTable(path, table, tally);
                continue;
            }
            CDaoRecordset rs(db);
            rs.Open(dbOpenDynaset, "select * from [" + table.name + "]", dbReadOnly);
            size_t row = 0;
            for (; !rs.IsEOF(); rs.MoveNext(), ++row) {
                for (size_t c = 0; c < table.columns.size(); ++c) {
                    const std::string& column = table.columns[c].first;
                    // NULL is NULL in any column, even one whose values cannot be read.
                    if (Unsupported(table.columns[c].second) && row < table.rows.size() &&
                        table.rows[row][c][0].text == "null") {
                        ++tally.values;
                        const CFieldValue ours = rs.GetFieldValue(column);
                        if (!ours.IsNull()) {
                            tally.Differ(where + " row " + std::to_string(row + 1) + " " + column +
                                         ": " + Describe(ours) + ", reference null");
                        }
                        continue;
                    }
                    if (Unsupported(table.columns[c].second)) {
                        ++tally.refused;
                        try {
                            tally.Differ(where + " " + column + ": read as " +
                                         Describe(rs.GetFieldValue(column)) + ", not refused");
                        } catch (const CDaoException& e) {
                            // The column's type is not in the reference: the message is
                            // checked for the names, and for the refusal.
                            const std::string message = e.GetErrorMessage();
                            if (message.find("'" + column + "'") == std::string::npos ||
                                message.find("which this program cannot read.") ==
                                    std::string::npos) {
                                tally.Differ(where + " " + column + ": refused as \"" + message +
                                             "\"");
                            }
                        }
                        continue;
                    }
                    if (row >= table.rows.size()) {
                        continue;
                    }
                    ++tally.values;
                    if (const auto* calculated = Calculated(file.name, table.name, column)) {
                        const CFieldValue ours = rs.GetFieldValue(column);
                        std::string why;
                        if (calculated->sameAs) {
                            size_t same = 0;
                            while (same < table.columns.size() &&
                                   table.columns[same].first != calculated->sameAs) {
                                ++same;
                            }
                            why = same < table.columns.size()
                                      ? Compare(ours, table.rows[row][same])
                                      : std::string("no column ") + calculated->sameAs;
                        } else if (row >= calculated->rows.size() ||
                                   !(ours == calculated->rows[row])) {
                            why = "ours " + Describe(ours);
                        }
                        if (!why.empty()) {
                            tally.Differ(where + " row " + std::to_string(row + 1) + " " + column +
                                         " (calculated): " + why);
                        }
                        ++tally.calculated;
                        continue;
                    }
                    const std::string why = Compare(rs.GetFieldValue(column), table.rows[row][c]);
                    if (!why.empty()) {
                        tally.Differ(where + " row " + std::to_string(row + 1) + " " + column +
                                     ": " + why);
                    }
                }
            }
            if (row != RowsHeld(table)) {
                tally.Differ(where + ": " + std::to_string(row) + " rows, reference " +
                             std::to_string(RowsHeld(table)));
            }
        }
    } catch (const CException& e) {
        tally.Differ(file.name + ": " + e.GetErrorMessage());
    }
    tally.valuesByFile[file.name] = tally.values - valuesBefore;
}

// Compares every file of the shared folder with its reference values; the files' names end
// in extension, and withPasswords tells whether the folder's index lists passwords.
Tally CompareFolder(const std::string& folder, const std::string& extension, bool withPasswords) {
    Tally tally;
    for (const FileCase& file : RealFiles(folder, withPasswords)) {
        CompareFile(folder + "/" + file.name + extension, folder + "/ref/" + file.name + ".jsonl",
                    file, tally);
    }
    EXPECT_EQ(tally.differences, 0u)
        << "in " << tally.files << " files, " << tally.values << " values:" << tally.List();
    return tally;
}

TEST(SourceRealFiles, EveryValueOfEverySupportedTypeMatchesTheIndependentReader) {
    const auto folder = Shared("real");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real");
    }
    const Tally tally = CompareFolder(*folder, ".mdb", true);
    EXPECT_GE(tally.files, 47u);
    std::printf("real files: %zu files, %zu values compared, %zu refused, %zu differences\n",
                tally.files, tally.values, tally.refused, tally.differences);
}

TEST(SourceRealFiles, EveryValueOfEveryAccdbFileMatchesTheIndependentReader) {
    const auto folder = Shared("real-accdb");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb");
    }
    const Tally tally = CompareFolder(*folder, ".accdb", false);
    EXPECT_GE(tally.files, 43u);
    // Every calculated column above, every row: 11 columns of 4 rows, 1 of 9.
    EXPECT_EQ(tally.calculated, 11u * 4u + 9u);
    for (const auto& [name, values] : tally.valuesByFile) {
        std::printf("  %s: %zu values compared\n", name.c_str(), values);
    }
    std::printf(
        "real .accdb files: %zu files, %zu values compared, %zu refused, %zu "
        "differences\n",
        tally.files, tally.values, tally.refused, tally.differences);
}

// Encrypted files, read through the decryption with the password given as the connect
// string gives it. db2013-enc (AES-256, SHA-512) against the independent reader's values,
// with its own password and, its key wrapped again for the program's password in a copy,
// with that one; the check process, which uses the program's password, accepts the copy.
TEST(SourceRealFiles, AnEncryptedAccdbFileMatchesTheIndependentReaderWithItsPassword) {
    const auto folder = Shared("real-accdb/encrypted");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    const std::string name = "jackcessencrypt__db2013-enc";
    const std::string original = *folder + "/" + name + ".accdb";
    const std::string ref = *folder + "/ref/" + name + ".jsonl";
    ScratchDir dir;
    const std::string copy = dir.Path("program-password.accdb");
    testsupport::CopyWithNewPassword(original, copy, "1234", "wuzo");
    for (const auto& [path, password] :
         {std::pair{original, std::string("1234")}, std::pair{copy, std::string("wuzo")}}) {
        Tally tally;
        CompareFile(path, ref, FileCase{name, password}, tally);
        EXPECT_EQ(tally.differences, 0u) << path << tally.List();
        EXPECT_EQ(tally.values, 14u) << path;  // Customers: 7 rows of ID and Field1
    }
    const std::vector<VetTableCount> checked = VetSourceFile(copy);
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].table, "Customers");
    EXPECT_EQ(checked[0].rows, 7u);
}

// db2007-enc (AES-128, SHA-1) has no independent reference: with its password every table
// reads to its end, each value decoding or its column refused for its type; the program's
// password is refused as the wrong one.
TEST(SourceRealFiles, TheOtherEncryptedAccdbFileReadsWithItsPasswordOnly) {
    const auto folder = Shared("real-accdb/encrypted");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    const std::string path = *folder + "/jackcessencrypt__db2007-enc.accdb";
    {
        CDaoDatabase db;
        try {
            db.Open(path, false, true, kPassword);
            ADD_FAILURE() << "opened with the program's password";
        } catch (const CDaoException& e) {
            EXPECT_EQ(e.Kind(), SourceFailureKind::WrongPassword);
        }
    }
    MdbDatabase file(path, nullptr, -1, "Test123");
    const std::vector<std::string> tables = file.TableNames(false);
    EXPECT_GE(tables.size(), 1u);
    size_t rows = 0;
    for (const std::string& table : tables) {
        MdbTableReader reader(file, table);
        while (reader.Next()) {
            ++rows;
            for (size_t c = 0; c < reader.ColumnCount(); ++c) {
                try {
                    (void)reader.Value(c);
                } catch (const CDaoException& e) {
                    EXPECT_EQ(e.Kind(), SourceFailureKind::UnreadableColumnType)
                        << table << " " << reader.ColumnName(c) << ": " << e.GetErrorMessage();
                }
            }
        }
    }
    EXPECT_GT(rows, 0u);
    std::printf("db2007-enc: %zu tables, %zu rows\n", tables.size(), rows);
    CDaoDatabase db;
    EXPECT_NO_THROW(db.Open(path, false, true, ";PWD=Test123"));
}

}  // namespace
