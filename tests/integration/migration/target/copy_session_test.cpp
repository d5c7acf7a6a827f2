// A value the server cannot take in a COPY is reported naming its table and the row the
// server's context line gives, whatever the reason: here a byte sequence that is no UTF-8.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/CopySession.h"
#include "migration/target/kinds/TargetKinds.h"
#include "tests/support/PostgresServer.h"

namespace {

TEST(CopySessionRefusal, AnInvalidByteSequenceNamesTableAndRow) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("copybytes");
    const std::string connect = PostgresqlKind().AmendConnection(server.ConnectionString(database));
    CDatabase odbc;
    ASSERT_TRUE(odbc.OpenEx(connect, noOdbcDialog));
    CBulkUnusable whyNot;
    const std::unique_ptr<CCopySession> copy = CCopySession::Open(connect, odbc, 15, whyNot);
    ASSERT_TRUE(copy) << whyNot.why;
    copy->Begin({});
    for (const std::string& value : {std::string("one"), std::string("two"),
                                     std::string("th\xff\xfe") + "ree", std::string("four")}) {
        CInsertItemList row("Mst02");
        row.m_items.emplace_back("Col02", std::string(value), COLKIND_TEXT);
        copy->AddRow(row);
    }
    try {
        copy->EndTable();
        ADD_FAILURE() << "the server took a value that is no UTF-8";
    } catch (const CDBException& e) {
        const std::string& text = e.GetErrorMessage();
        EXPECT_EQ(text.rfind("The target refused Mst02 row 3: ERROR: invalid byte sequence", 0), 0u)
            << text;
        EXPECT_NE(text.find("CONTEXT: COPY mst02, line 3"), std::string::npos) << text;
        ASSERT_FALSE(e.Records().empty());
        EXPECT_EQ(e.Records()[0].state, "22021");
    }
    copy->Close();
    EXPECT_EQ(server.Query(database, "select count(*) from Mst02").at(0).at(0), "0");
}

}  // namespace
