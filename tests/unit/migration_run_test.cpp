#include "migration/MigrationRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "migration/RunSettings.h"
#include "migration/TableCatalogue.h"
#include "tests/unit/engine_fakes.h"

namespace {

// A source holding all eight tables, empty unless a test fills one.
class MigrationRunTest : public testing::Test {
protected:
    MigrationRunTest() {
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            source.tables[entry.query];
        }
    }

    void RunOn(const std::string& path) {
        CMigrationRun(source, target, log).Run([&] { return path; }, kTargetConnection);
    }

    static std::vector<std::string> AllLogLines() {
        std::vector<std::string> lines;
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            lines.push_back(entry.logLine);
        }
        lines.push_back(kCompletionLine);
        return lines;
    }

    static FakeRow Mst02Row(const std::string& code, int flag) {
        return {{"Col02", CFieldValue::Text(code)},
                {"Col03", CFieldValue::Text("name")},
                {"Col04", CFieldValue::Null()},
                {"Col05", CFieldValue::Text("")},
                {"Col01", CFieldValue::Long(99)},
                {"JogaiFlag", CFieldValue::Integer(static_cast<int16_t>(flag))}};
    }

    FakeEvents events;
    FakeSource source{events};
    FakeTarget target{events};
    FakeLog log{events};
};

TEST_F(MigrationRunTest, EmptyTablesLogEveryTableAndTheCompletionAndSendNothing) {
    RunOn("a.mdb");

    EXPECT_EQ(log.lines, AllLogLines());
    EXPECT_TRUE(target.statements.empty());
    EXPECT_FALSE(source.IsOpen());
    EXPECT_FALSE(target.IsOpen());
}

TEST_F(MigrationRunTest, OpensSourceThenTargetAndClosesTargetThenSource) {
    RunOn("a.mdb");

    ASSERT_GE(events.list.size(), 4u);
    EXPECT_EQ(events.list.front(), "source.open a.mdb ;PWD=wuzo");
    EXPECT_EQ(events.list[1], "target.open");
    EXPECT_EQ(events.list[events.list.size() - 3], std::string("log ") + kCompletionLine);
    EXPECT_EQ(events.list[events.list.size() - 2], "target.close");
    EXPECT_EQ(events.list.back(), "source.close");
}

TEST_F(MigrationRunTest, SendsOneStatementPerRowWithOnlyTheCataloguedColumns) {
    source.tables["select * from Mst02"] = {Mst02Row("A01", 1), Mst02Row("it's", -5)};

    RunOn("a.mdb");

    EXPECT_EQ(target.statements, (std::vector<std::string>{
                                     "insert into Mst02(Col02,Col03,Col04,Col05,JogaiFlag) values "
                                     "('A01','name',NULL,'',1)",
                                     "insert into Mst02(Col02,Col03,Col04,Col05,JogaiFlag) values "
                                     "('it''s','name',NULL,'',-5)"}));
}

TEST_F(MigrationRunTest, ClosesTheRecordsetBeforeTheTableIsLogged) {
    RunOn("a.mdb");

    for (size_t i = 0; i < events.list.size(); ++i) {
        if (events.list[i].rfind("log Mst02を", 0) == 0) {
            EXPECT_EQ(events.list[i - 1], "recordset.close");
        }
    }
}

TEST_F(MigrationRunTest, SourceFailureStopsBeforeAnyTargetConnection) {
    source.onOpen = [](const std::string&) { throw CDaoException("Cannot open ''."); };

    EXPECT_THROW(RunOn(""), CDaoException);

    EXPECT_TRUE(log.lines.empty());
    for (const std::string& event : events.list) {
        EXPECT_NE(event, "target.open");
    }
}

TEST_F(MigrationRunTest, TargetFailureLogsNothingAndTheNextRunStartsAfresh) {
    target.onOpen = [](const std::string&) { throw CDBException("Unable to connect\n"); };
    EXPECT_THROW(RunOn("first.mdb"), CDBException);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(source.IsOpen());

    target.onOpen = nullptr;
    events.list.clear();
    RunOn("second.mdb");

    EXPECT_EQ(events.list.front(), "source.close");
    EXPECT_EQ(events.list[1], "source.open second.mdb ;PWD=wuzo");
    EXPECT_EQ(log.lines, AllLogLines());
}

TEST_F(MigrationRunTest, RefusedRowKeepsEarlierRowsAndLogsOnlyEarlierTables) {
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0), Mst02Row("B02", 0),
                                            Mst02Row("B03", 0)};
    target.onExecute = [](const std::string& statement) {
        if (statement.find("'B03'") != std::string::npos) {
            throw CDBException("UNIQUE constraint failed\n");
        }
    };

    EXPECT_THROW(RunOn("a.mdb"), CDBException);

    EXPECT_EQ(target.statements.size(), 2u);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"KEN_ALLを移行しました。",
                                                   "KEN_ALL_Versionを移行しました。",
                                                   "Mst01を移行しました。"}));
    EXPECT_TRUE(source.IsOpen());
    EXPECT_TRUE(target.IsOpen());
}

TEST_F(MigrationRunTest, AnUnconvertibleValueNamesTableColumnRowAndFile) {
    FakeRow bad = Mst02Row("B02", 0);
    bad["JogaiFlag"] = CFieldValue::Text("x");
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0), bad};
    try {
        RunOn("/data/a.mdb");
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The Text value \"x\" cannot be converted to an integer (type mismatch): table "
                  "'Mst02', column 'JogaiFlag', row 2, in the database '/data/a.mdb'.");
    }
}

TEST_F(MigrationRunTest, MissingColumnFailsOnTheFirstRowBeforeAnyStatement) {
    FakeRow row = Mst02Row("B01", 0);
    row.erase("Col04");
    source.tables["select * from Mst02"] = {row};

    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    EXPECT_TRUE(target.statements.empty());
    EXPECT_EQ(log.lines.size(), 3u);
}

TEST_F(MigrationRunTest, MissingTableStopsAtThatTable) {
    source.tables.erase("select * from Mst03");

    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    EXPECT_EQ(log.lines.size(), 5u);
    EXPECT_EQ(log.lines.back(), "Mst02Errorを移行しました。");
}

TEST_F(MigrationRunTest, TwoRunsSendEveryRowTwiceAndLogBelowEachOther) {
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0)};

    RunOn("a.mdb");
    RunOn("a.mdb");

    EXPECT_EQ(target.statements.size(), 2u);
    EXPECT_EQ(target.statements[0], target.statements[1]);
    EXPECT_EQ(log.lines.size(), 2 * AllLogLines().size());
}

TEST_F(MigrationRunTest, RunInsideARunIsRefusedAndLeavesTheOuterRunIntact) {
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0)};
    bool bNestedRefused = false;
    target.onExecute = [&](const std::string&) {
        try {
            RunOn("nested.mdb");
        } catch (const CException& e) {
            bNestedRefused = e.GetErrorMessage() == "A migration run is already in progress.";
        }
    };

    RunOn("a.mdb");

    EXPECT_TRUE(bNestedRefused);
    EXPECT_EQ(log.lines, AllLogLines());
    RunOn("a.mdb");  // the guard is released after a run
}

TEST_F(MigrationRunTest, ReportsProgressDuringALongTable) {
    source.tables["select * from Mst02"] = std::vector<FakeRow>(400, Mst02Row("B01", 0));
    // Each row takes at least a millisecond, so the table lasts well over 100 ms.
    target.onExecute = [](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };

    RunOn("a.mdb");

    EXPECT_GE(log.progressCalls, 1);
}

}  // namespace
