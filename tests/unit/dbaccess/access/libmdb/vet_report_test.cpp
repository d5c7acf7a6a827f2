#include "dbaccess/access/libmdb/VetReport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kHostilePath = "/tmp/a\tb\nc\\t\r.mdb";

TEST(VetReport, AReportComesBackWholeWhateverWayItArrives) {
    const std::string report = VetMemoryLimitLine(1u << 30) + VetProgressLine(7) +
                               VetTableLine({"KEN\tALL\n", 3}) + VetTableLine({"Mst01", 0}) +
                               VetOkLine();
    VetReportReader reader;
    bool progressed = false;
    for (char c : report.substr(0, report.size() - 1)) {  // byte by byte, the last break lost
        progressed |= reader.Add(std::string_view(&c, 1));
    }
    EXPECT_FALSE(reader.Complete());
    reader.Finish();
    EXPECT_TRUE(progressed);
    EXPECT_TRUE(reader.Complete());
    EXPECT_EQ(reader.MemoryLimit(), 1u << 30);
    ASSERT_EQ(reader.Tables().size(), 2u);
    EXPECT_EQ(reader.Tables()[0].table, "KEN\tALL\n");
    EXPECT_EQ(reader.Tables()[0].rows, 3u);
    EXPECT_EQ(reader.Tables()[1].table, "Mst01");
    EXPECT_FALSE(reader.Error());
}

TEST(VetReport, OnlyProgressBeyondEveryEarlierFigureCounts) {
    VetReportReader reader;
    EXPECT_TRUE(reader.Add(VetProgressLine(5)));
    EXPECT_FALSE(reader.Add(VetProgressLine(5)));
    EXPECT_FALSE(reader.Add(VetProgressLine(4) + VetTableLine({"T", 1})));
    EXPECT_TRUE(reader.Add(VetProgressLine(6)));
}

TEST(VetReport, AnErrorKeepsItsPartsEvenInAHostilePath) {
    const CDaoMessage message = CDaoMessage()
                                << "The database '" << SourceFile(kHostilePath)
                                << "' is damaged: in the table '" << SourceTable("T\t1")
                                << "', row " << SourceRow(4) << ", column '" << SourceColumn("")
                                << "': bad" << LibraryDetail("said\n") << ".";
    const std::string line = VetErrorLine(SourceFailureKind::Damaged, message);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    VetReportReader reader;
    reader.Add(line);
    ASSERT_TRUE(reader.Error());
    EXPECT_EQ(reader.ErrorKind(), SourceFailureKind::Damaged);
    EXPECT_EQ(reader.Error()->Pieces(), message.Pieces());
    EXPECT_EQ(reader.Error()->Part(SourcePart::File), kHostilePath);
}

// The kind decides what the dialog says of the failure: each must come back as itself.
TEST(VetReport, EveryKindOfFailureComesBackAsItself) {
    for (int i = 0; i <= static_cast<int>(SourceFailureKind::Misuse); ++i) {
        const auto kind = static_cast<SourceFailureKind>(i);
        VetReportReader reader;
        reader.Add(VetErrorLine(kind, CDaoMessage("x")));
        EXPECT_EQ(reader.ErrorKind(), kind) << i;
        EXPECT_EQ(reader.Error()->Text(), "x") << i;
    }
}

TEST(VetReport, AnErrorPieceOfNoKnownKindIsText) {
    VetReportReader reader;
    reader.Add("error\tThe database x is damaged: because.\n");
    ASSERT_TRUE(reader.Error());
    EXPECT_EQ(reader.Error()->Text(), "The database x is damaged: because.");
    EXPECT_EQ(reader.ErrorKind(), SourceFailureKind::CannotRead);
}

}  // namespace
