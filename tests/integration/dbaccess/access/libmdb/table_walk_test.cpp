// Our table walk (the usage map laid flat, libmdb's scan without its second split of each
// row, positioned page reads) against libmdb's own mdb_fetch_row on a handle of its own: the
// same number of rows from each page, pages in the same order.
#include <filesystem>

#include "dbaccess/access/libmdb/MdbApi.h"
#include "dbaccess/access/libmdb/MdbDatabase.h"
#include "dbaccess/access/libmdb/MdbTableReader.h"
#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

using Walk = std::vector<uint32_t>;  // the page of each row

Walk LibmdbWalk(const std::string& path, const std::string& table) {
    Walk walk;
    MdbHandle* handle = mdb_open(path.c_str(), MDB_NOFLAGS);
    mdb_read_catalog(handle, MDB_TABLE);
    MdbTableDef* def = mdb_read_table_by_name(handle, const_cast<char*>(table.c_str()), MDB_TABLE);
    mdb_read_columns(def);
    mdb_rewind_table(def);
    while (mdb_fetch_row(def)) {
        walk.push_back(handle->cur_pg);
    }
    mdb_free_tabledef(def);
    mdb_close(handle);
    return walk;
}

Walk OurWalk(const std::string& path, const std::string& table) {
    Walk walk;
    MdbDatabase file(path);
    MdbTableReader reader(file, table);
    while (reader.Next()) {
        walk.push_back(reader.CurrentPage());
    }
    return walk;
}

void ExpectSameWalks(const std::string& path) {
    const std::vector<std::string> tables = MdbDatabase(path).TableNames(false);
    for (const std::string& table : tables) {
        const Walk theirs = LibmdbWalk(path, table);
        const Walk ours = OurWalk(path, table);
        EXPECT_EQ(ours.size(), theirs.size()) << path << " " << table;
        EXPECT_TRUE(ours == theirs) << path << " " << table;
    }
}

TEST(SourceWalk, MatchesLibmdbsOwnScanOnLargeAndRealFiles) {
    const auto large = Shared("kenall-full.mdb");
    const auto real = Shared("real");
    if (!large && !real) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    if (large) {
        ExpectSameWalks(*large);  // tables of several thousand pages: maps of map pages
    }
    if (real) {
        for (const auto& entry : std::filesystem::directory_iterator(*real)) {
            if (entry.path().extension() == ".mdb") {
                ExpectSameWalks(entry.path().string());
            }
        }
    }
    ExpectSameWalks(Data("sample.mdb"));
}

}  // namespace
