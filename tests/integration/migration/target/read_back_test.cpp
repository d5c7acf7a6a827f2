// Reading a target's tables back after a run, on both real targets the tests can start: every
// value comes back in the form the run rendered it (NULL apart from empty, long and non-BMP
// text, integers, date-times), in parts that keep memory bounded, stoppable as statements are.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunThread.h"
#include "migration/RunWatch.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testtarget::PostgresServer;
using testtarget::Row;
using testtarget::Rows;
using testtarget::SqliteTarget;

const std::vector<std::string> kMst01Columns{"Col02", "Col03", "Col04", "Col05", "Col06",
                                             "Col07", "Col08", "Col09", "Col10", "JogaiFlag"};

// Every row of table, as the target gives them back, sorted.
Rows ReadAll(ITargetDatabase& target, const std::string& table,
             const std::vector<std::string>& columns) {
    Rows rows;
    const std::unique_ptr<ITableReader> reader = target.ReadBack(table, columns);
    while (reader->Next()) {
        Row row;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const CReadValue value = reader->Value(c);
            row.push_back(value.null
                              ? std::nullopt
                              : std::optional<std::string>(std::string(value.data, value.size)));
        }
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Inserts the row and adds it, as rendered, to expected.
void Insert(ITargetDatabase& target, CInsertItemList& row, Rows& expected) {
    Row rendered;
    for (const CInsertItem& item : row.m_items) {
        rendered.push_back(item.m_nKind == COLKIND_NULL
                               ? std::nullopt
                               : std::optional<std::string>(item.m_strValue));
    }
    expected.push_back(std::move(rendered));
    target.InsertRow(row);
}

// A value of each text column per row: NULL, empty, Japanese, non-BMP, long (a memo), a quote
// and a backslash, blanks at the end.
Rows InsertMst01(ITargetDatabase& target) {
    std::string memo;
    for (int i = 0; i < 20000; ++i) {
        memo += "メモ" + std::to_string(i) + " ";
    }
    const std::vector<std::vector<std::optional<std::string>>> texts{
        {"A001", "", std::nullopt, "北海道", "𠮷野家🍣", "it's", "abcd\\", "  blanks  ", ""},
        {"A002", std::nullopt, "", std::string(3000, 'x'), "短い", memo, "x", std::nullopt, "y"},
        {"A003", "a", "b", "c", "d", "e", "f", "g", "h"},
        {"A003", "a", "b", "c", "d", "e", "f", "g", "h"},
        {"A004", memo + "末尾", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         std::nullopt, std::nullopt, std::nullopt},
    };
    const int flags[] = {-5, 2147483647, 0, 0, -2147483647};
    Rows expected;
    for (std::size_t r = 0; r < texts.size(); ++r) {
        CInsertItemList row("Mst01", kMst01Columns.size());
        for (std::size_t c = 0; c < texts[r].size(); ++c) {
            row.AddItem(kMst01Columns[c], COLKIND_TEXT,
                        texts[r][c] ? CFieldValue::Text(*texts[r][c]) : CFieldValue::Null());
        }
        row.AddItem("JogaiFlag", COLKIND_INTEGER, CFieldValue::Long(flags[r]));
        Insert(target, row, expected);
    }
    target.EndTable();
    std::sort(expected.begin(), expected.end());
    return expected;
}

// 2009/04/03 14:07:30, 999/12/31 23:59:59 (a year of three digits), and NULL.
Rows InsertVersions(ITargetDatabase& target) {
    const double afternoon = (14 * 3600 + 7 * 60 + 30) / 86400.0;
    const double lastSecond = 86399 / 86400.0;
    Rows expected;
    for (const std::optional<double>& date :
         {std::optional<double>(39906 + afternoon), std::optional<double>(-328717 - lastSecond),
          std::optional<double>()}) {
        CInsertItemList row("KEN_ALL_Version", 1);
        row.AddItem("Version", COLKIND_DATETIME,
                    date ? CFieldValue::Date(*date) : CFieldValue::Null());
        Insert(target, row, expected);
    }
    target.EndTable();
    std::sort(expected.begin(), expected.end());
    return expected;
}

// One target of each kind: a fresh one, its connection string, and SQL beside the connection
// under test.
struct TargetCase {
    const char* name;
    std::function<std::string()> open;
    std::function<void(const std::string&)> execute;
};

std::unique_ptr<SqliteTarget> g_sqlite;
std::string g_postgres;

const TargetCase kSqlite{"SQLite",
                         [] {
                             g_sqlite = std::make_unique<SqliteTarget>();
                             return g_sqlite->ConnectionString();
                         },
                         [](const std::string& sql) { g_sqlite->Execute(sql); }};
const TargetCase kPostgres{
    "PostgreSQL",
    [] {
        g_postgres = PostgresServer::Get().CreateFreshDatabase("readback");
        return PostgresServer::Get().ConnectionString(g_postgres);
    },
    [](const std::string& sql) { PostgresServer::Get().Execute(g_postgres, sql); }};

class ReadBack : public testing::TestWithParam<TargetCase> {
protected:
    void SetUp() override { m_strConnect = GetParam().open(); }
    void Execute(const std::string& sql) { GetParam().execute(sql); }

    std::string m_strConnect;
};

// A replacing run's rows, read back after its commit, and a per-row run's, read back on its
// connection: each value as the run rendered it, NULL apart from empty, texts longer than a
// block's buffers whole, in any order, duplicates kept.
TEST_P(ReadBack, EveryValueComesBackAsItWasRendered) {
    CDatabase db;
    CReplaceTarget replace(db);
    replace.Open(m_strConnect);
    EXPECT_EQ(replace.ReadBackPadding("Mst01", kMst01Columns),
              std::vector<bool>(kMst01Columns.size(), false));
    const Rows mst01 = InsertMst01(replace);
    const Rows versions = InsertVersions(replace);
    replace.CommitRun();
    EXPECT_EQ(ReadAll(replace, "Mst01", kMst01Columns), mst01);
    EXPECT_EQ(ReadAll(replace, "KEN_ALL_Version", {"Version"}), versions);
    EXPECT_EQ(replace.CountRows("Mst01"), 5u);  // the connection goes on as before
    replace.Close();

    CDatabase perRowDb;
    COdbcTarget perRow(perRowDb);
    perRow.Open(m_strConnect);
    Rows both = mst01;
    for (Row& row : InsertMst01(perRow)) {
        both.push_back(std::move(row));
    }
    std::sort(both.begin(), both.end());
    EXPECT_EQ(ReadAll(perRow, "Mst01", kMst01Columns), both);
    EXPECT_EQ(ReadAll(perRow, "Mst02", {"Col02", "JogaiFlag"}), Rows{});
    perRow.Close();
}

// A table far larger than a block is read in parts: on SQLite straight from the file, one
// consistent snapshot (rows another program deletes meanwhile are still read, and the count
// afterwards sees them gone); on PostgreSQL through a cursor of the server's. Values too long for a
// block's buffers, scattered through it, come whole, and the rows after them follow in order.
TEST_P(ReadBack, ALargeTableIsReadInParts) {
    const bool sqlite = std::string(GetParam().name) == "SQLite";
    std::string insert = "insert into Mst02(Col02, JogaiFlag) ";
    insert += sqlite ? "with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                       "20000) select case when i % 997 = 0 then printf('%.*c', 1200, 'x') else "
                       "'row ' || i end, i from n;"
                     : "select case when i % 997 = 0 then repeat('x', 1200) else 'row ' || i end, "
                       "i from generate_series(1, 20000) i;";
    Execute(insert);
    const std::string longValue(1200, 'x');
    CDatabase db;
    COdbcTarget target(db);
    target.Open(m_strConnect);
    const std::unique_ptr<ITableReader> reader = target.ReadBack("Mst02", {"Col02", "JogaiFlag"});
    ASSERT_TRUE(reader->Next());
    if (sqlite) {
        Execute("delete from Mst02 where JogaiFlag > 10000;");
    } else {
        // The session's own cursors, asked on the run's connection between two blocks.
        std::string cursors;
        target.RunWatched([&db, &cursors] {
            cursors = db.QueryValue("select string_agg(statement, ';') from pg_cursors");
        });
        EXPECT_NE(cursors.find("declare brimlow_read_back no scroll cursor for select Col02, "
                               "JogaiFlag from Mst02"),
                  std::string::npos)
            << cursors;
        // One reader at a time: a second one would take the first one's statement.
        EXPECT_THROW(target.ReadBack("Mst01", {"Col02"}), CDBException);
    }
    std::size_t rows = 0;
    std::size_t wrong = 0;
    long long sum = 0;
    do {
        ++rows;
        const std::string text(reader->Value(0).data, reader->Value(0).size);
        const long long n = std::stoll(std::string(reader->Value(1).data, reader->Value(1).size));
        sum += n;
        wrong += text != (n % 997 == 0 ? longValue : "row " + std::to_string(n));
    } while (reader->Next());
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(rows, 20000u);
    EXPECT_EQ(sum, 20000LL * 20001 / 2);
    EXPECT_EQ(target.CountRows("Mst02"), sqlite ? 10000u : 20000u);
    target.Close();
}

INSTANTIATE_TEST_SUITE_P(Targets, ReadBack, testing::Values(kSqlite, kPostgres),
                         [](const auto& info) { return std::string(info.param.name); });

// PostgreSQL's own date-time types: a fraction of a second is kept (and so differs from the
// value rendered to the second), a date column drops the time; a char(n) column pads, and is
// said to.
TEST(ReadBackPostgres, DateTimeColumnsAndPadding) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("readbacktypes");
    server.Execute(database,
                   "create table Kinds (ts timestamp, d date, c char(6), v varchar(6), n "
                   "integer); insert into Kinds values ('2009/04/03 14:07:30.25', "
                   "'2009/04/03 14:07:30', 'ab', 'ab', -7), ('0999/12/31 23:59:59', "
                   "'0999/12/31', null, '', null);");
    CDatabase db;
    COdbcTarget target(db);
    target.Open(server.ConnectionString(database));
    const std::vector<std::string> columns{"ts", "d", "c", "v", "n"};
    EXPECT_EQ(target.ReadBackPadding("Kinds", columns),
              (std::vector<bool>{false, false, true, false, false}));
    EXPECT_EQ(ReadAll(target, "Kinds", columns),
              (Rows{{"2009/04/03 14:07:30.25", "2009/04/03 00:00:00", "ab    ", "ab", "-7"},
                    {"999/12/31 23:59:59", "999/12/31 00:00:00", std::nullopt, "", std::nullopt}}));
    try {
        target.ReadBackPadding("Nosuch", {"x"});
        ADD_FAILURE() << "a missing table was described";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("nosuch"), std::string::npos) << e.GetErrorMessage();
    }
    target.Close();
}

// A stop while a read-back waits for the server cancels the wait; the connection is then as
// before (the read-only transaction ended).
TEST(ReadBackPostgres, AStopDuringAReadBackIsTaken) {
    PostgresServer& server = PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("readbackstop");
    const std::string connection = server.ConnectionString(database);
    server.Execute(database, "create table Held (x text); insert into Held values ('a');");
    // Another session holds the table, so that the read-back blocks on the server.
    CDatabase holder;
    holder.OpenEx(connection, noOdbcDialog);
    holder.BeginTrans();
    holder.ExecuteSQL("lock table Held in access exclusive mode");

    std::mutex mutex;
    bool stopped = false;
    std::optional<std::size_t> countAfter;
    CRunThread run(
        [&](const std::shared_ptr<CRunWatch>& watch) {
            CDatabase db;
            COdbcTarget target(db);
            target.SetWatch(watch);
            try {
                target.Open(connection);
                try {
                    const std::unique_ptr<ITableReader> reader = target.ReadBack("Held", {"x"});
                    reader->Next();
                } catch (const CRunStopped& stop) {
                    const std::lock_guard lock(mutex);
                    stopped = stop.Unknown() == UnknownOutcome::None;
                }
                target.SetWatch(nullptr);
                holder.Rollback();
                const std::optional<std::size_t> count = target.CountRows("Held");
                const std::lock_guard lock(mutex);
                countAfter = count;
            } catch (const CException& e) {
                ADD_FAILURE() << "the read-back ended otherwise: " << e.what();
            }
        },
        [](const CRunOutcome&) { ADD_FAILURE() << "the read-back was given up"; });
    ASSERT_TRUE(testsupport::AwaitCondition([&] {
        return !server
                    .Query(database,
                           "select pid from pg_stat_activity where wait_event_type = 'Lock' and "
                           "query like '%declare brimlow_read_back%'")
                    .empty();
    }));
    run.RequestStop();
    ASSERT_TRUE(run.WaitForEnd(std::chrono::seconds(30)));
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(countAfter, 1u);
}

}  // namespace
