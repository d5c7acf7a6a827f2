// Reading the source never writes it: the bytes and the modification time stay as they were,
// and no lock file appears beside it.
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Reads every column of every row of every table the program copies.
void ReadEverything(CDaoDatabase& db) {
    for (const char* table : {"KEN_ALL", "KEN_ALL_Version", "Mst01", "Mst02", "Mst02Error", "Mst03",
                              "Mst04", "Mst04Error"}) {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, std::string("select * from ") + table, dbReadOnly);
        while (!rs.IsEOF()) {
            for (const char* column :
                 {"Col02", "Col05", "Col10", "DantaiCode", "Flag14", "Version"}) {
                try {
                    rs.GetFieldValue(column);
                } catch (const CDaoException&) {
                    // Not every table has every column; only the reading matters here.
                }
            }
            rs.MoveNext();
        }
    }
}

class SourceReadOnly : public ::testing::TestWithParam<const char*> {};

TEST_P(SourceReadOnly, LeavesTheFileAndItsFolderAsTheyWere) {
    ScratchDir dir;
    const std::string path = dir.File(GetParam(), Contents(Data(GetParam())));
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};  // 2001-09-09
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::string before = Contents(path);

    {
        CDaoDatabase db;
        db.Open(path, false, true, kPassword);
        ReadEverything(db);
        EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{GetParam()}) << "while open";
        db.Close();
    }

    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_TRUE(Contents(path) == before);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(
    Files, SourceReadOnly, ::testing::Values("sample.mdb", "types.mdb"), [](const auto& info) {
        return std::string(info.param).substr(0, std::string(info.param).find('.'));
    });

}  // namespace
