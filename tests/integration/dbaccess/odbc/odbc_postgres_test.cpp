// What only a real server shows: psqlODBC's multi-line messages, connect and statement
// timeouts, notices, several result sets from one ExecuteSQL.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "tests/support/PostgresServer.h"

namespace {

using testtarget::PostgresServer;
using testtarget::Rows;

// A TCP port on 127.0.0.1 that accepts connections (the kernel completes them) but never
// answers: a server that cannot be reached in time.
class SilentListener {
public:
    SilentListener() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot listen on 127.0.0.1";
        }
        m_nPort = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(m_fd); }
    int Port() const { return m_nPort; }

private:
    int m_fd;
    int m_nPort = 0;
};

std::string PsqlOdbcTo(int port) {
    return "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=127.0.0.1;Port=" +
           std::to_string(port) + ";Database=postgres;Uid=postgres";
}

class TargetPostgresTest : public testing::Test {
protected:
    void SetUp() override {
        m_database = Server().CreateFreshDatabase("postgres_only");
        m_db.OpenEx(Server().ConnectionString(m_database), noOdbcDialog);
    }
    void TearDown() override {
        m_db.Close();
        Server().Execute("postgres", "drop database if exists " + m_database + ";");
    }
    static PostgresServer& Server() { return PostgresServer::Get(); }

    std::string Failure(const std::string& statement) {
        try {
            m_db.ExecuteSQL(statement);
        } catch (const CDBException& e) {
            return e.GetErrorMessage();
        }
        ADD_FAILURE() << "no CDBException for: " << statement;
        return {};
    }

    std::string m_database;
    CDatabase m_db;
};

TEST_F(TargetPostgresTest, MessageKeepsTheServersLineBreaks) {
    Server().Execute(m_database, "create table t (id integer primary key);");
    m_db.ExecuteSQL("insert into t (id) values (1)");
    EXPECT_EQ(Failure("insert into t (id) values (1)"),
              "ERROR: duplicate key value violates unique constraint \"t_pkey\"\n"
              "DETAIL: Key (id)=(1) already exists.;\n"
              "Error while executing the query\n");
}

TEST_F(TargetPostgresTest, LongMessageIsCutTo511BytesBetweenCharacters) {
    // "ERROR: a" and 200 four-byte characters: 511 bytes end 3 bytes into the 126th.
    const std::string message =
        Failure("do $$ begin raise exception 'a%', repeat('𠮷', 200); end $$");
    std::string expected = "ERROR: a";
    for (int i = 0; i < 125; ++i) {
        expected += "𠮷";
    }
    EXPECT_EQ(message, expected);
}

TEST_F(TargetPostgresTest, StatementRunningPastTheQueryTimeoutFails) {
    m_db.SetQueryTimeout(1);
    const std::string message = Failure("select pg_sleep(30)");
    EXPECT_NE(message.find("canceling statement due to statement timeout"), std::string::npos)
        << message;
    m_db.SetQueryTimeout(15);
    m_db.ExecuteSQL("select pg_sleep(0.1)");
}

TEST_F(TargetPostgresTest, NoticesDoNotFail) {
    m_db.ExecuteSQL("do $$ begin raise notice 'just so you know'; end $$");
    m_db.ExecuteSQL("drop table if exists does_not_exist");  // a notice as well
    EXPECT_TRUE(m_db.IsOpen());
}

TEST_F(TargetPostgresTest, SeveralResultSetsAreReadToTheEnd) {
    m_db.ExecuteSQL("select 1; select 2; insert into Mst02 (Col02) values ('after')");
    m_db.ExecuteSQL("insert into Mst02 (Col02) values ('next')");
    EXPECT_EQ(Server().Query(m_database, "select Col02 from Mst02"), (Rows{{"after"}, {"next"}}));
}

TEST(TargetPostgresConnect, RefusedPortFailsWithTheDriversMessage) {
    int port = 0;
    {
        SilentListener listener;  // a port that was free, closed again at once
        port = listener.Port();
    }
    CDatabase db;
    db.SetLoginTimeout(5);
    try {
        db.OpenEx(PsqlOdbcTo(port), noOdbcDialog);
        FAIL() << "connected to a closed port";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("Connection refused"), std::string::npos)
            << e.GetErrorMessage();
    }
    EXPECT_FALSE(db.IsOpen());
}

TEST(TargetPostgresConnect, ServerThatNeverAnswersFailsAfterTheLoginTimeout) {
    SilentListener silent;
    CDatabase db;
    db.SetLoginTimeout(1);  // libpq waits at least 2 s
    try {
        db.OpenEx(PsqlOdbcTo(silent.Port()), noOdbcDialog);
        FAIL() << "connected to a server that never answers";
    } catch (const CDBException& e) {
        EXPECT_NE(e.GetErrorMessage().find("timeout expired"), std::string::npos)
            << e.GetErrorMessage();
    }
    EXPECT_FALSE(db.IsOpen());
}

TEST(TargetPostgresConnect, UnknownDatabaseFails) {
    CDatabase db;
    EXPECT_THROW(
        db.OpenEx(PostgresServer::Get().ConnectionString("no_such_database"), noOdbcDialog),
        CDBException);
    EXPECT_FALSE(db.IsOpen());
}

}  // namespace
