// A table definition's row count can be stale after a crash or an interrupted write, until
// Access's next Compact and Repair: every row the data pages hold is still read, the whole
// file check included, while the rows out of place on a data page stay damage.
#include <fstream>

#include "dbaccess/access/libmdb/MdbDatabase.h"
#include "dbaccess/access/libmdb/MdbTableReader.h"
#include "migration/TableCatalogue.h"
#include "tests/integration/dbaccess/access/source_support.h"
#include "tests/support/DeclaredRows.h"

using namespace sourcetest;

namespace {

std::vector<std::string> CatalogueColumns(const std::string& table) {
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        if (entry.table == table) {
            std::vector<std::string> names;
            for (const CCatalogueColumn& column : entry.columns) {
                names.push_back(column.name);
            }
            return names;
        }
    }
    throw std::invalid_argument(table);
}

// Every row of the table, opened as the program opens it (the file check first), each value
// described, and the count the recordset gives.
std::pair<std::vector<std::vector<std::string>>, long> Table(const std::string& path,
                                                             const std::string& table) {
    CDaoDatabase db;
    db.Open(path, false, true, kPassword);
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : ReadRows(db, table, CatalogueColumns(table))) {
        rows.push_back(Describe(row));
    }
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from " + table, dbReadOnly);
    return {rows, rs.GetRecordCount()};
}

struct StaleCase {
    const char* table;
    uint32_t declared;
};

class SourceStaleRowCount : public ::testing::TestWithParam<StaleCase> {};

TEST_P(SourceStaleRowCount, EveryRowIsReadAndTheDeclaredCountIsKept) {
    ScratchDir dir;
    const std::string path = dir.Path("stale.mdb");
    testsupport::CopyWithDeclaredRows(Data("sample.mdb"), path, GetParam().table,
                                      GetParam().declared);
    const auto [expected, held] = Table(Data("sample.mdb"), GetParam().table);
    const auto [rows, declared] = Table(path, GetParam().table);
    EXPECT_EQ(declared, static_cast<long>(GetParam().declared));
    ASSERT_EQ(rows.size(), expected.size());
    EXPECT_TRUE(rows == expected);
    EXPECT_EQ(held, static_cast<long>(expected.size()));
}

// KEN_ALL spans several data pages; Mst02 holds 50 rows, KEN_ALL_Version 1.
INSTANTIATE_TEST_SUITE_P(Counts, SourceStaleRowCount,
                         ::testing::Values(StaleCase{"Mst02", 49}, StaleCase{"Mst02", 0},
                                           StaleCase{"KEN_ALL", 1000}, StaleCase{"KEN_ALL", 0},
                                           StaleCase{"KEN_ALL_Version", 3}),
                         [](const auto& info) {
                             return std::string(info.param.table) + "_" +
                                    std::to_string(info.param.declared);
                         });

// The first data page of Mst04 in a copy of sample.mdb, and where its offsets table starts.
struct DataPage {
    uint32_t page = 0;
    std::streamoff countAt = 0;  // the page's row count; the row offsets follow, 2 bytes each
};

DataPage FirstDataPage(const std::string& path) {
    MdbDatabase file(path);
    MdbTableReader reader(file, "Mst04");
    EXPECT_TRUE(reader.Next());
    const MdbFormatConstants* format = file.Handle()->fmt;
    return {reader.CurrentPage(),
            static_cast<std::streamoff>(reader.CurrentPage()) * format->pg_size +
                format->row_count_offset};
}

void Write16(const std::string& path, std::streamoff at, uint16_t value) {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(at);
    const char bytes[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
    out.write(bytes, 2);
}

uint16_t Read16(const std::string& path, std::streamoff at) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(at);
    unsigned char bytes[2] = {};
    in.read(reinterpret_cast<char*>(bytes), 2);
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// What breaks when rows are invented from a data page's offsets table: a raised row count on
// the page (libmdb then reads what follows the table as a row), and an entry of a live row
// that is zero, past the page or over its neighbour. Each ends the file check.
TEST(SourceStaleRowCount, RowsOutOfPlaceOnADataPageAreStillDamage) {
    ScratchDir dir;
    const std::string original = dir.Path("original.mdb");
    std::filesystem::copy_file(Data("sample.mdb"), original);
    const DataPage page = FirstDataPage(original);
    const uint16_t rows = Read16(original, page.countAt);
    const uint16_t row0 = Read16(original, page.countAt + 2);
    const std::string where =
        "in the table 'Mst04', page " + std::to_string(page.page) + " places its row ";
    struct Mutation {
        std::streamoff at;
        uint16_t value;
        std::string problem;
    };
    const std::vector<Mutation> mutations = {
        {page.countAt, static_cast<uint16_t>(rows + 1),
         where + std::to_string(rows) + " at offset 0, outside its row area."},
        {page.countAt + 4, 0, where + "1 at offset 0, outside its row area."},
        {page.countAt + 4, 0x1FFF, where + "1 at offset 8191, outside its row area."},
        {page.countAt + 4, row0,
         where + "1 at offset " + std::to_string(row0) + ", where it overlaps the row before it."},
    };
    for (const Mutation& mutation : mutations) {
        const std::string path = dir.Path("mutant.mdb");
        std::filesystem::copy_file(original, path,
                                   std::filesystem::copy_options::overwrite_existing);
        Write16(path, mutation.at, mutation.value);
        CDaoDatabase db;
        EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
                  "The database '" + path + "' is damaged: " + mutation.problem);
    }
}

// A data page copied over another of the same table: its rows are read twice and the other
// page's not at all, so the rows read disagree with the declared count, and the check refuses
// the file naming both pages. With a count that agrees (as when two pages hold identical rows,
// which makes them identical too: a data page carries no page number) it reads as it is. No
// writer at hand makes two such pages, so the count is set to agree here.
TEST(SourceStaleRowCount, ADataPageCopiedOverAnotherIsDamageWhenTheCountDisagrees) {
    ScratchDir dir;
    const std::string path = dir.Path("repeated.mdb");
    const auto [copied, overwritten] =
        testsupport::CopyWithRepeatedDataPage(Data("sample.mdb"), path, "KEN_ALL");
    CDaoDatabase db;
    const std::string message = DaoError([&] { db.Open(path, false, true, kPassword); });
    EXPECT_TRUE(StartsWith(
        message, "The database '" + path + "' is damaged: in the table 'KEN_ALL', the data page " +
                     std::to_string(overwritten) + " repeats the data page " +
                     std::to_string(copied) + ", one copied over the other, and the table holds "));

    // The same file with the count that its pages now add up to.
    size_t rows = 0;
    {
        MdbDatabase file(path);
        MdbTableReader reader(file, "KEN_ALL");
        while (reader.Next()) {
            ++rows;
        }
    }
    const std::string agreeing = dir.Path("agreeing.mdb");
    testsupport::CopyWithDeclaredRows(path, agreeing, "KEN_ALL", static_cast<uint32_t>(rows));
    const auto [read, declared] = Table(agreeing, "KEN_ALL");
    EXPECT_EQ(read.size(), rows);
    EXPECT_EQ(declared, static_cast<long>(rows));
}

}  // namespace
