// The Access 97 text converter when the process has no descriptor left to load it with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/jet/CodePageText.h"

namespace {

// The message of the CDaoException that making a converter for codePage throws; "" when it
// throws none.
std::string ConverterError(int codePage) {
    try {
        CCodePageText text(codePage);
    } catch (const CDaoException& e) {
        return e.GetErrorMessage();
    }
    return {};
}

// glibc loads a converter's module on first use, and one it could not load for want of a
// descriptor it reports as missing (EINVAL); when its list of converters could not be read
// then, on every later try in the process too. Code page 1361 (JOHAB), which nothing else
// here uses, is first asked for with every descriptor under a lowered limit taken, then with
// the limit back: it is named as too many open files, then it works, or is named as having
// failed before; it is never said to be missing.
TEST(TextConverterLimit, AConverterThatCouldNotBeLoadedIsNotSaidToBeMissing) {
#ifdef BRIMLOW_SANITIZED
    GTEST_SKIP() << "not under the sanitizers: their runtime needs descriptors of its own";
#endif
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(highest) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
        fillers.push_back(fd);
    }
    const std::string atTheLimit = ConverterError(1361);
    for (int fd : fillers) {
        close(fd);
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    const std::string later = ConverterError(1361);

    EXPECT_NE(atTheLimit.find("too many open files to load the text converter CP1361"),
              std::string::npos)
        << atTheLimit;
    EXPECT_NE(atTheLimit.find("(ulimit -n)"), std::string::npos) << atTheLimit;
    EXPECT_TRUE(later.empty() ||
                later.find("the text converter CP1361 could not be loaded earlier") !=
                    std::string::npos)
        << later;
    for (const std::string& error : {atTheLimit, later}) {
        EXPECT_EQ(error.find("has no"), std::string::npos) << error;
    }
}

}  // namespace
