// The file check on a slow share and on a file that makes libmdb allocate without end.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "dbaccess/access/FileCheckProcess.h"
#include "tests/integration/dbaccess/access/source_support.h"
#include "tests/support/ScopedEnv.h"

using namespace sourcetest;

namespace {

using testsupport::ScopedEnv;

// 1.5 ms a page, as measured on a network share, makes the 5,342 pages of kenall-full.mdb take
// longer than the check's stall limit in all; it keeps making progress, so it passes. The
// check reads the file open here, as when a database is opened.
TEST(SourceSlowShare, AHealthyFileIsReadWholeHoweverLongItTakes) {
    const auto path = Shared("kenall-full.mdb");
    if (!path) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    ScopedEnv slow("LD_PRELOAD", BRIMLOW_SLOW_PAGES_SHIM);
    ScopedEnv delay("BRIMLOW_SLOW_PAGE_US", "1500");
    const int fd = open(path->c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto start = std::chrono::steady_clock::now();
    const auto counts =
        VetSourceFile(VetScope{*path, fd, {}, std::nullopt}, std::chrono::seconds(3));
    close(fd);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    size_t rows = 0;
    for (const auto& count : counts) {
        rows += count.rows;
    }
    EXPECT_EQ(rows, 166140u);
    std::printf("slow share: kenall-full.mdb checked in %.1f s with a 3 s stall limit\n",
                seconds.count());
}

#if !defined(BRIMLOW_SANITIZED)
// libmdb allocates gigabytes on this file; the check's memory cap ends it first.
TEST(SourceSlowShare, TheMemoryCapHoldsOnAFileThatAllocatesWithoutEnd) {
    const auto path = Shared("damaged/jet3-hang-4GB.mdb");
    if (!path) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("damaged");
    }
    EXPECT_TRUE(Contains(DaoError([&] { VetSourceFile(*path); }),
                         "is damaged: reading it needed more than the 1024 MB of memory allowed."));
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 1100L * 1024) << "kilobytes at most in a check process";
}
#endif

}  // namespace
