// Nothing libmdb prints reaches the terminal, even when the file changes under an open
// database and libmdb complains on every page; the failure says the file changed.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

// Sends descriptor 2 to a file while it lives and gives back what was written there.
class StderrToFile {
public:
    explicit StderrToFile(const std::string& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    std::string End() {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        std::ifstream in(m_path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string m_path;
    int m_saved = -1;
};

TEST(SourceQuietReading, AFileCutShortUnderAnOpenDatabaseSaysNothingOnStandardError) {
    const auto full = Shared("kenall-full.mdb");
    if (!full) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    ScratchDir dir;
    const std::string copy = dir.Path("shrinking.mdb");
    std::filesystem::copy_file(*full, copy);
    CDaoDatabase db;
    db.Open(copy, false, true, kPassword);
    // Cut once the table's pages were found in the file: the walk meets the end.
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from KEN_ALL", dbReadOnly);
    std::filesystem::resize_file(copy, 12 * 1024 * 1024);

    StderrToFile capture(dir.Path("stderr.txt"));
    const std::string message = DaoError([&] {
        while (!rs.IsEOF()) {
            rs.MoveNext();
        }
    });
    const std::string printed = capture.End();

    EXPECT_EQ(printed, "");
    // The file was cut while it was read: that, not damage, is why the walk failed.
    EXPECT_TRUE(
        StartsWith(message, "The database '" + copy + "' changed while it was being read: "))
        << message;
}

}  // namespace
