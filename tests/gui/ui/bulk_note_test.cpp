// 置き換える that cannot load through PostgreSQL's COPY or a SQLite file's bound inserts says so in
// the log, in Japanese in every locale, with the reason in a few Japanese words rather than libpq's
// or the server's English.

#include <gtest/gtest.h>

#include <string>

#include "migration/target/CopySession.h"
#include "tests/gui/GuiTest.h"

using guitest::CTestDlg;

TEST(BulkNote, TheLogSaysInJapaneseThatTheRowsGoAsInsertsAndWhy) {
    const std::string head =
        "PostgreSQL の COPY による一括投入を使えないため、行を INSERT 文で送ります（";
    CBulkUnusable attribute;
    attribute.reason = CBulkUnusable::Reason::Attribute;
    attribute.why = "the connection string's attribute maxvarcharsize has no libpq equivalent";
    attribute.attribute = "maxvarcharsize";
    EXPECT_EQ(CTestDlg::BulkNoteLine(attribute),
              head + "接続文字列の属性「maxvarcharsize」に当たる libpq の設定がありません）。");

    CBulkUnusable differs;
    differs.reason = CBulkUnusable::Reason::Differs;
    differs.why =
        "libpq's session differs from the driver's (database, user, server, port, "
        "search_path, client_encoding, SSL: a / b)";
    EXPECT_EQ(CTestDlg::BulkNoteLine(differs),
              head +
                  "libpq の接続と ODBC の接続とで、データベース・ユーザー・サーバー・文字コードな"
                  "どが一致しません）。");

    CBulkUnusable connect;
    connect.reason = CBulkUnusable::Reason::Connect;
    connect.why = "libpq could not connect: connection refused";
    const std::string line = CTestDlg::BulkNoteLine(connect);
    EXPECT_EQ(line, head + "libpq で移行先に接続できませんでした）。");
    EXPECT_EQ(line.find("refused"), std::string::npos) << line;

    CBulkUnusable link;
    link.path = "bound";
    link.reason = CBulkUnusable::Reason::File;
    link.why = "the target file /tmp/t.db is not a regular file (a symbolic link, say)";
    EXPECT_EQ(CTestDlg::BulkNoteLine(link),
              "SQLite ファイルへの直接の一括投入を使えないため、行を INSERT 文で送ります（移行先が "
              "SQLite ライブラリで直接開ける通常のファイルではありません）。");
}
