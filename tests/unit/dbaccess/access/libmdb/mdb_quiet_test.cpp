#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "dbaccess/access/libmdb/MdbQuiet.h"

namespace {

TEST(SourceQuiet, CapturesWhatIsPrintedToStandardOutputAndError) {
    MdbQuiet quiet;
    std::printf("hex dump 00 01\n");
    std::fprintf(stderr, "offset 8192 is beyond EOF\n");
    const char raw[] = "written to the descriptor\n";
    EXPECT_EQ(write(STDERR_FILENO, raw, sizeof raw - 1), static_cast<ssize_t>(sizeof raw - 1));
    // Standard output is buffered until the end of the section, so it may come last.
    const std::string said = quiet.End();
    EXPECT_NE(said.find("hex dump 00 01"), std::string::npos) << said;
    EXPECT_NE(said.find("offset 8192 is beyond EOF written to the descriptor"), std::string::npos)
        << said;
    EXPECT_EQ(quiet.End(), "");
}

TEST(SourceQuiet, NothingPrintedGivesNothing) {
    MdbQuiet quiet;
    EXPECT_EQ(quiet.End(), "");
}

TEST(SourceQuiet, AFloodOfOutputNeitherBlocksNorIsKept) {
    MdbQuiet quiet;
    const std::string line(1000, 'x');
    for (int i = 0; i < 1000; ++i) {  // far more than a pipe holds
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    EXPECT_EQ(quiet.End(20), std::string(20, 'x') + "...");
}

TEST(SourceQuiet, TheDescriptorsAreBackAfterwards) {
    int before[2];
    ASSERT_EQ(pipe(before), 0);
    const int savedOut = dup(STDOUT_FILENO);
    dup2(before[1], STDOUT_FILENO);
    {
        MdbQuiet quiet;
        std::printf("swallowed\n");
    }
    std::printf("after\n");
    std::fflush(stdout);
    dup2(savedOut, STDOUT_FILENO);
    close(savedOut);
    close(before[1]);
    char buffer[64] = {};
    EXPECT_EQ(read(before[0], buffer, sizeof buffer - 1), 6);
    EXPECT_STREQ(buffer, "after\n");
    close(before[0]);
}

// Two table readers on one file hold overlapping sections that may end in either order.
TEST(SourceQuiet, OverlappingSectionsEndInAnyOrderAndEachSeesItsOwnPart) {
    const int before = dup(STDERR_FILENO);
    auto first = std::make_unique<MdbQuiet>();
    std::fprintf(stderr, "one\n");
    MdbQuiet second;
    std::fprintf(stderr, "two\n");
    EXPECT_EQ(first->End(), "one two");
    std::fprintf(stderr, "three\n");
    EXPECT_EQ(second.Said(), "two three");
    EXPECT_EQ(second.End(), "two three");
    struct stat now {
    }, then{};
    fstat(STDERR_FILENO, &now);
    fstat(before, &then);
    EXPECT_EQ(now.st_ino, then.st_ino);
    close(before);
}

struct LineCase {
    const char* name;
    std::string raw;
    size_t maxBytes;
    std::string expected;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceOneLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SourceOneLine, MakesOutputFitAMessage) {
    EXPECT_EQ(OneLine(GetParam().raw, GetParam().maxBytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SourceOneLine,
                         ::testing::Values(LineCase{"Empty", "", 10, ""},
                                           LineCase{"LinesJoined", "one\ntwo\r\n\tthree\n", 100,
                                                    "one two three"},
                                           LineCase{"ControlBytesDropped",
                                                    "a\x01\x7f"
                                                    "b",
                                                    100, "ab"},
                                           LineCase{"Cut", "abcdefgh", 4, "abcd..."},
                                           LineCase{"CutNotInsideACharacter", "ab表", 3, "ab..."},
                                           LineCase{"ExactlyTheLimit", "abcd", 4, "abcd"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
