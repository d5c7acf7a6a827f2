// 置き換える into PostgreSQL that cannot load through COPY says so in the log, in Japanese in
// every locale, with the reason in a few Japanese words rather than libpq's or the server's
// English.

#include <gtest/gtest.h>

#include <string>

#include "migration/target/CopySession.h"
#include "tests/gui/GuiTest.h"

using guitest::CTestDlg;

TEST(BulkNote, TheLogSaysInJapaneseThatTheRowsGoAsInsertsAndWhy) {
    const std::string head =
        "PostgreSQL の COPY による一括投入を使えないため、行を INSERT 文で送ります。(";
    CCopyUnusable attribute;
    attribute.reason = CCopyUnusable::Reason::Attribute;
    attribute.why = "the connection string's attribute maxvarcharsize has no libpq equivalent";
    attribute.attribute = "maxvarcharsize";
    EXPECT_EQ(CTestDlg::BulkNoteLine(attribute),
              head + "接続文字列の属性「maxvarcharsize」に当たる libpq の設定がありません)");

    CCopyUnusable differs;
    differs.reason = CCopyUnusable::Reason::Differs;
    differs.why =
        "libpq's session differs from the driver's (database, user, server, port, "
        "search_path, client_encoding, SSL: a / b)";
    EXPECT_EQ(CTestDlg::BulkNoteLine(differs),
              head +
                  "libpq の接続と ODBC の接続とで、データベース・ユーザー・サーバー・文字コードな"
                  "どが一致しません)");

    CCopyUnusable connect;
    connect.reason = CCopyUnusable::Reason::Connect;
    connect.why = "libpq could not connect: connection refused";
    const std::string line = CTestDlg::BulkNoteLine(connect);
    EXPECT_EQ(line, head + "libpq で移行先に接続できませんでした)");
    EXPECT_EQ(line.find("refused"), std::string::npos) << line;
}
