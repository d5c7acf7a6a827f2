// The file check walks what the opener will read, and what it walked is what is read: the
// file opened once, whatever its name points to afterwards, and refused when written in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "dbaccess/access/FileCheckProcess.h"
#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

const std::vector<std::string> kEight = {"KEN_ALL",    "KEN_ALL_Version", "Mst01", "Mst02",
                                         "Mst02Error", "Mst03",           "Mst04", "Mst04Error"};

// sample.mdb with a ninth table whose definition page is wiped (tests/data/regress/README.md).
const std::string kExtraTableDamaged = "regress/extra-table-damaged.mdb";

size_t CountRows(CDaoDatabase& db, const std::string& table) {
    return ReadColumn(db, table, "Col02").size();
}

TEST(SourceCheckScope, ADamagedTableBesideTheOnesReadDoesNotStopTheOpen) {
    const std::string path = Data(kExtraTableDamaged);
    CDaoDatabase every;
    EXPECT_TRUE(StartsWith(
        DaoError([&] { every.Open(path, false, true, kPassword); }),
        "The database '" + path + "' is damaged: in the table 'XSysAccessObjects', page 15, "));

    CDaoDatabase eight;
    eight.SetTablesToRead(kEight);
    eight.Open(path, false, true, kPassword);
    EXPECT_EQ(CountRows(eight, "Mst01"), 200u);
    // What the check did not walk is not read.
    EXPECT_EQ(DaoError([&] { ReadColumn(eight, "XSysAccessObjects", "ID"); }),
              "The table 'XSysAccessObjects' in the database '" + path +
                  "' was not checked when the database was opened, so it cannot be read.");
}

// The helper takes the tables as the run names them: any letter case, each walked once, and
// a table the file lacks left for the run to report.
TEST(SourceCheckScope, TheHelperWalksTheTablesNamed) {
    const auto counts = VetSourceFile(VetScope{
        Data("missing-table.mdb"), -1, {"mst02", "Mst03", "MST02", "Mst04Error"}, std::nullopt});
    std::vector<std::pair<std::string, size_t>> found;
    for (const auto& count : counts) {
        found.emplace_back(count.table, count.rows);
    }
    EXPECT_EQ(found,
              (std::vector<std::pair<std::string, size_t>>{{"Mst02", 50}, {"Mst04Error", 0}}));

    CDaoDatabase db;
    db.SetTablesToRead(kEight);
    db.Open(Data("missing-table.mdb"), false, true, kPassword);
    EXPECT_TRUE(Contains(DaoError([&] { CountRows(db, "Mst03"); }), "Mst03"));
}

// A table read whose definition is a copy of another's is refused even when the original is
// a table the run leaves alone.
TEST(SourceCheckScope, ACopiedDefinitionIsFoundAgainstTablesNotRead) {
    const std::string path = Data("regress/definition-page-copied.mdb");
    CDaoDatabase db;
    db.SetTablesToRead({"KEN_ALL_Version"});
    EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
              "The database '" + path +
                  "' is damaged: the tables 'KEN_ALL_Version' and 'Mst04Error' have the same "
                  "definition, one page copied over the other.");
}

// Runs the real check, then does what a sync client might do to the file just after it.
class CheckThen {
public:
    explicit CheckThen(const std::string& afterwards) {
        const std::string script =
            m_dir.File("vet", "#!/bin/sh\n\"" + testpaths::Build("brimlow-vet").string() +
                                  "\" \"$@\" || exit $?\n" + afterwards + "\n");
        chmod(script.c_str(), 0755);
        setenv("BRIMLOW_VET", script.c_str(), 1);
    }
    ~CheckThen() { unsetenv("BRIMLOW_VET"); }
    CheckThen(const CheckThen&) = delete;
    CheckThen& operator=(const CheckThen&) = delete;

private:
    ScratchDir m_dir;
};

std::string Changed(const std::string& path, const std::string& during) {
    return "The database '" + path + "' changed while it was being " + during +
           ": it is probably still being copied or synchronised. Repeat the run once the copy "
           "is complete.";
}

// Another file put in the name's place after the check is not read: the open file is.
TEST(SourceSameFile, AFileReplacedAfterTheCheckIsNotRead) {
    ScratchDir dir;
    const std::string path = dir.Path("source.mdb");
    std::filesystem::copy_file(Data("sample.mdb"), path);
    const std::string other = dir.File("other.mdb", std::string(8192, 'x'));
    CheckThen replace("mv '" + other + "' '" + path + "'");
    CDaoDatabase db;
    db.Open(path, false, true, kPassword);
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_EQ(std::filesystem::file_size(path), 8192u);
    EXPECT_EQ(CountRows(db, "Mst01"), 200u);
}

// Given the open file, the helper reads it, not what has the name by then.
TEST(SourceSameFile, TheHelperReadsTheOpenFile) {
    ScratchDir dir;
    const std::string path = dir.Path("source.mdb");
    std::filesystem::copy_file(Data("sample.mdb"), path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::filesystem::rename(dir.File("other.mdb", "not a database"), path);
    const auto counts = VetSourceFile(VetScope{path, fd, {"Mst04"}, std::nullopt});
    close(fd);
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].rows, 50u);
}

// A file written in place is refused: after the check, and while its tables are read.
TEST(SourceSameFile, AFileWrittenInPlaceIsRefused) {
    ScratchDir dir;
    const std::string path = dir.Path("source.mdb");
    std::filesystem::copy_file(Data("sample.mdb"), path);
    {
        CheckThen grow("printf x >> '" + path + "'");
        CDaoDatabase db;
        EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
                  Changed(path, "checked"));
        EXPECT_FALSE(db.IsOpen());
    }

    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
    CDaoDatabase db;
    db.Open(path, false, true, kPassword);
    EXPECT_EQ(CountRows(db, "Mst02"), 50u);
    // Same size, another modification time: a sync client that rewrote the file.
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const timespec times[2] = {info.st_atim, {info.st_mtim.tv_sec, info.st_mtim.tv_nsec ^ 1}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(DaoError([&] { CountRows(db, "Mst02"); }), Changed(path, "read"));
}

}  // namespace
