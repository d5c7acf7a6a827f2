#include "migration/MigrationRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "migration/RunSettings.h"
#include "migration/TableCatalogue.h"
#include "tests/unit/migration/engine_fakes.h"

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

    // The file check before the open walks the eight tables, the only ones the run reads.
    EXPECT_EQ(source.tablesToRead,
              (std::vector<std::string>{"KEN_ALL", "KEN_ALL_Version", "Mst01", "Mst02",
                                        "Mst02Error", "Mst03", "Mst04", "Mst04Error"}));

    // The source's tables are looked up (each recordset opened and closed) before the target
    // is opened.
    ASSERT_GE(events.list.size(), 12u);
    EXPECT_EQ(events.list.front(), "source.open a.mdb ;PWD=wuzo");
    EXPECT_EQ(std::vector<std::string>(events.list.begin() + 1, events.list.begin() + 9),
              std::vector<std::string>(8, "recordset.close"));
    events.list.erase(events.list.begin() + 1, events.list.begin() + 9);
    EXPECT_EQ(events.list[1], "target.open");
    // Each table is counted once the target is open and once more after the commit.
    EXPECT_EQ(events.list[2], "target.count KEN_ALL");
    EXPECT_EQ(events.list[events.list.size() - 4], "target.count Mst04Error");
    EXPECT_EQ(log.target, "the fake target");
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
            EXPECT_EQ(events.list[i - 2], "recordset.close");
            EXPECT_EQ(events.list[i - 1], "end Mst02 0/0");
        }
    }
}

TEST_F(MigrationRunTest, SourceFailureStopsBeforeAnyTargetConnection) {
    source.onOpen = [](const std::string&) {
        throw CDaoException(SourceFailureKind::CannotOpen, "Cannot open ''.");
    };

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

// Every table and column the run reads is looked up before the target is opened: a missing
// one fails the run with the source's failure before anything is sent, even in a table with no
// row, and the outcome names that table.
TEST_F(MigrationRunTest, AMissingSourceTableOrColumnFailsBeforeTheTargetIsOpened) {
    source.tables["select * from KEN_ALL_Version"] = {{{"Version", CFieldValue::Null()}}};
    FakeRow row = Mst02Row("B01", 0);
    row.erase("Col04");
    source.tables["select * from Mst02"] = {row};
    try {
        RunOn("a.mdb");
        FAIL() << "no exception";
    } catch (const CDaoException& e) {
        EXPECT_EQ(e.GetErrorMessage(), "Column Col04 not found.");
    }
    source.tables["select * from Mst02"] = {};
    source.missingColumns["select * from Mst04Error"] = {"JogaiFlag"};
    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    ASSERT_TRUE(log.outcome);
    ASSERT_TRUE(log.outcome->table);
    EXPECT_EQ(log.outcome->table->table, "Mst04Error");
    EXPECT_TRUE(log.outcome->failedOpeningTable);
    source.missingColumns.clear();
    source.tables.erase("select * from Mst03");
    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    EXPECT_EQ(log.outcome->table->table, "Mst03");

    EXPECT_TRUE(target.statements.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(std::count(events.list.begin(), events.list.end(), "target.open"), 0);
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

    ASSERT_FALSE(log.progress.empty());
    size_t before = 0;
    for (const CTableProgress& step : log.progress) {
        EXPECT_EQ("Mst02", step.table);
        EXPECT_EQ(400u, step.total);
        EXPECT_GT(step.inserted, before);
        before = step.inserted;
    }
    EXPECT_LT(before, 400u);
}

// Each table starts with its declared total and ends, with its count, after its recordset
// is closed and before its log line.
TEST_F(MigrationRunTest, ReportsEachTablesStartAndEndAroundItsLogLine) {
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0), Mst02Row("B02", 0)};

    RunOn("a.mdb");

    const auto at = [&](const std::string& event) {
        return std::find(events.list.begin(), events.list.end(), event) - events.list.begin();
    };
    EXPECT_LT(at("start KEN_ALL 0/0"), at("start Mst02 0/2"));
    EXPECT_EQ(at("start Mst02 0/2") + 2, at("end Mst02 2/2"));  // the recordset's close between
    EXPECT_EQ(at("end Mst02 2/2") + 1, at("log Mst02を移行しました。"));
    EXPECT_EQ(8, std::count_if(events.list.begin(), events.list.end(),
                               [](const std::string& e) { return e.rfind("end ", 0) == 0; }));
    ASSERT_EQ(8u, log.plan.size());
    EXPECT_EQ("Mst02", log.plan[3].table);
    EXPECT_EQ(2u, log.plan[3].total);
}

// A stale declared count neither stops the copy nor cuts it short: the total grows with the
// rows read, and the difference is told once all are read, before the table's end.
TEST_F(MigrationRunTest, ReadsEveryRowWhateverTheDeclaredCountSays) {
    source.tables["select * from Mst02"] = std::vector<FakeRow>(3, Mst02Row("B01", 0));
    source.declared["select * from Mst02"] = 1;
    log.stopWhen = [&] { return target.statements.size() == 2; };
    EXPECT_THROW(RunOn("a.mdb"), CRunStopped);
    EXPECT_EQ("stopped Mst02 2/2", events.list.back());
    log.stopWhen = nullptr;

    for (const size_t declared : {size_t{0}, size_t{1}, size_t{5}}) {
        source.declared["select * from Mst02"] = declared;
        events.list.clear();
        RunOn("a.mdb");
        const auto at = [&](const std::string& event) {
            return std::find(events.list.begin(), events.list.end(), event) - events.list.begin();
        };
        const std::string note = "declared " + std::to_string(declared) + " Mst02 3/3";
        EXPECT_EQ(at("start Mst02 0/" + std::to_string(declared)) + 2, at(note));
        EXPECT_EQ(at(note) + 1, at("end Mst02 3/3"));
        EXPECT_EQ(1,
                  std::count_if(events.list.begin(), events.list.end(),
                                [](const std::string& e) { return e.rfind("declared", 0) == 0; }));
    }
}

// A stop between rows keeps the rows sent, closes both connections, logs no line of its own
// and reports where it stopped; the next run starts afresh.
TEST_F(MigrationRunTest, StopBetweenRowsKeepsTheRowsSentAndClosesBothConnections) {
    source.tables["select * from Mst02"] = std::vector<FakeRow>(5, Mst02Row("B01", 0));
    log.stopWhen = [&] { return target.statements.size() == 2; };

    EXPECT_THROW(RunOn("a.mdb"), CRunStopped);

    EXPECT_EQ(2u, target.statements.size());
    EXPECT_EQ(3u, log.lines.size());
    EXPECT_EQ((std::vector<std::string>{"target.close", "source.close", "stopped Mst02 2/5"}),
              std::vector<std::string>(events.list.end() - 3, events.list.end()));

    log.stopWhen = nullptr;
    RunOn("a.mdb");
    EXPECT_EQ(7u, target.statements.size());

    // Asked for as a table ends, the stop is taken at the next table, even an empty one.
    const size_t linesBefore = log.lines.size();
    log.stopWhen = [&] { return log.lines.size() == linesBefore + 1; };
    EXPECT_THROW(RunOn("a.mdb"), CRunStopped);
    EXPECT_EQ("stopped KEN_ALL_Version 0/0", events.list.back());
}

// A stop during the file check ends the open at its heartbeat, and one during a connect
// takes effect right after it, even when the connect then failed; neither reaches a table.
TEST_F(MigrationRunTest, StopBeforeAnyTableReportsNoTable) {
    bool bStop = false;
    log.stopWhen = [&] { return bStop; };
    source.onOpen = [&](const std::string&) {
        bStop = true;
        source.waitCallback();
    };
    EXPECT_THROW(RunOn("a.mdb"), CRunStopped);
    EXPECT_EQ("stopped -", events.list.back());
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(1, log.heartbeats);

    bStop = false;
    events.list.clear();
    source.onOpen = nullptr;
    target.onOpen = [&](const std::string&) {
        bStop = true;
        throw CDBException("Interrupted\n");  // a failure that the stop brought about
    };
    EXPECT_THROW(RunOn("a.mdb"), CRunStopped);
    events.list.erase(std::remove(events.list.begin(), events.list.end(), "recordset.close"),
                      events.list.end());
    EXPECT_EQ((std::vector<std::string>{"source.open a.mdb ;PWD=wuzo", "target.open",
                                        "source.close", "stopped -"}),
              events.list);
    EXPECT_TRUE(log.lines.empty());
}

// A failure names the table in progress with the rows it kept (the failing row is the next),
// or no table when it came before any.
TEST_F(MigrationRunTest, FailureReportsTheTableAndTheRowsKept) {
    source.tables["select * from Mst02"] = std::vector<FakeRow>(5, Mst02Row("B01", 0));
    target.onExecute = [&](const std::string&) {
        if (target.statements.size() == 3) {
            throw CDBException("value too long\n");
        }
    };
    EXPECT_THROW(RunOn("a.mdb"), CDBException);
    EXPECT_EQ("failed Mst02 3/5", events.list.back());
    EXPECT_TRUE(target.IsOpen());

    target.onOpen = [](const std::string&) { throw CDBException("Unable to connect\n"); };
    EXPECT_THROW(RunOn("a.mdb"), CDBException);
    EXPECT_EQ("failed -", events.list.back());
}

// The run's account of its end: a table that could not be opened, a failed commit of a run
// that is one transaction (nothing kept), a commit whose answer was lost (either contents).
TEST_F(MigrationRunTest, TheOutcomeSaysWhereTheRunEnded) {
    source.tables.erase("select * from Mst03");
    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    ASSERT_TRUE(log.outcome);
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Failed);
    ASSERT_TRUE(log.outcome->table);
    EXPECT_EQ(log.outcome->table->table, "Mst03");
    EXPECT_TRUE(log.outcome->failedOpeningTable);
    EXPECT_FALSE(log.outcome->rolledBack);

    source.tables["select * from Mst03"] = {};
    target.commitsAtEnd = true;
    target.onCommit = [] { throw CDBException("deferred constraint\n"); };
    EXPECT_THROW(RunOn("a.mdb"), CDBException);
    EXPECT_FALSE(log.outcome->table);
    EXPECT_TRUE(log.outcome->inCommit);
    EXPECT_TRUE(log.outcome->rolledBack);

    target.onCommit = [] {
        throw CConnectionLost(CDBException("server closed the connection\n"),
                              UnknownOutcome::Commit);
    };
    EXPECT_THROW(RunOn("a.mdb"), CConnectionLost);
    EXPECT_EQ(log.outcome->unknown, UnknownOutcome::Commit);
    EXPECT_FALSE(log.outcome->rolledBack);

    target.onCommit = nullptr;
    RunOn("a.mdb");
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Completed);
}

// A run that is one transaction holds nothing before its commit: its tables' lines come once
// the commit succeeded, in order; a failure before or in the commit logs none of them.
TEST_F(MigrationRunTest, AReplacingRunLogsItsTablesOnlyOnceCommitted) {
    target.commitsAtEnd = true;
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0)};
    size_t linesAtCommit = 99;
    target.onCommit = [&] { linesAtCommit = log.lines.size(); };
    RunOn("a.mdb");
    EXPECT_EQ(linesAtCommit, 0u);
    EXPECT_EQ(log.lines, AllLogLines());

    log.lines.clear();
    target.onCommit = [] { throw CDBException("deferred constraint\n"); };
    EXPECT_THROW(RunOn("a.mdb"), CDBException);
    target.onCommit = nullptr;
    source.tables["select * from Mst03"] = {{{"Col02", CFieldValue::Text("x")}}};
    EXPECT_THROW(RunOn("a.mdb"), CDaoException);
    EXPECT_TRUE(log.lines.empty());
}

// After the commit, each table must hold what it held before plus the rows inserted: another
// program's row fails the run as its own kind of end, after the commit (nothing is rolled back)
// and without the completion line.
TEST_F(MigrationRunTest, ATableThatDoesNotHoldWhatTheRunInsertedFailsTheRun) {
    target.countable = true;
    target.commitsAtEnd = true;
    target.held["KEN_ALL"] = 97283;
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0), Mst02Row("B02", 0)};
    RunOn("a.mdb");  // rows held before are no difference
    EXPECT_EQ(log.lines, AllLogLines());
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Completed);

    target.onExecute = [&](const std::string&) { target.held["KEN_ALL"] += 126029; };
    try {
        RunOn("a.mdb");
        FAIL() << "no exception";
    } catch (const CCountDiffers& e) {
        ASSERT_EQ(e.Tables().size(), 1u);
        EXPECT_EQ(e.Tables()[0].table, "KEN_ALL");
        EXPECT_EQ(e.Tables()[0].before, 97283u);
        EXPECT_EQ(e.Tables()[0].inserted, 0u);
        EXPECT_EQ(e.Tables()[0].held, 97283u + 2 * 126029u);
        EXPECT_EQ(e.GetErrorMessage(),
                  "KEN_ALL holds 349,341 rows; 0 were inserted into 97,283.\nAnother program (or "
                  "a trigger on the table) changed the target during the run. The rows the run "
                  "inserted stay in the target.\n");
    }
    const std::vector<std::string> tableLines = AllLogLines();
    EXPECT_EQ(std::vector<std::string>(log.lines.end() - 8, log.lines.end()),
              std::vector<std::string>(tableLines.begin(), tableLines.end() - 1));
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Failed);
    EXPECT_TRUE(log.outcome->differs);
    EXPECT_FALSE(log.outcome->rolledBack);
    EXPECT_FALSE(log.outcome->table);
    EXPECT_EQ("failed -", events.list.back());
}

// A target that answers without counting rows is told once per run, after the table.
TEST_F(MigrationRunTest, RowsTheTargetDoesNotCountAreToldOnce) {
    target.uncounted = true;
    source.tables["select * from Mst01"] = {{}};
    source.tables["select * from Mst02"] = {Mst02Row("B01", 0)};
    source.missingColumns.clear();
    for (const CCatalogueColumn& column : GetTableCatalogue()[2].columns) {
        source.tables["select * from Mst01"][0][column.name] = CFieldValue::Text("x");
    }
    source.tables["select * from Mst01"][0]["JogaiFlag"] = CFieldValue::Integer(0);

    RunOn("a.mdb");

    EXPECT_EQ(std::count(events.list.begin(), events.list.end(), "uncounted"), 1);
    const auto at = [&](const std::string& event) {
        return std::find(events.list.begin(), events.list.end(), event) - events.list.begin();
    };
    EXPECT_EQ(at("uncounted") + 1, at("end Mst01 1/1"));
}

}  // namespace
