#include <gtest/gtest.h>

#include "tests/gui/GuiTest.h"

using guitest::CTestDlg;

// Each line goes below the earlier ones, of this run and of earlier runs.
TEST(AppendLog, LineBreakComesBeforeEachLine) {
    CTestDlg dlg;
    dlg.AppendLog("KEN_ALLを移行しました。");
    EXPECT_EQ("\nKEN_ALLを移行しました。", dlg.m_strLog);
    dlg.AppendLog("移行が完了しました。");
    EXPECT_EQ("\nKEN_ALLを移行しました。\n移行が完了しました。", dlg.m_strLog);
    EXPECT_EQ(dlg.m_strLog, Utf8FromWx(dlg.LogBox().GetValue()));
}

TEST(AppendLog, NullCountsAsEmpty) {
    CTestDlg dlg;
    dlg.AppendLog(nullptr);
    dlg.AppendLog("");
    EXPECT_EQ("\n\n", dlg.m_strLog);
    EXPECT_EQ("\n\n", Utf8FromWx(dlg.LogBox().GetValue()));
}

TEST(AppendLog, CaretAtEnd) {
    CTestDlg dlg;
    dlg.Show();
    for (int line = 0; line < 3; ++line) {
        dlg.AppendLog("Mst02Errorを移行しました。");
        EXPECT_EQ(dlg.LogBox().GetLastPosition(), dlg.LogBox().GetInsertionPoint());
    }
}

// Once the text no longer fits, the box shows its end.
TEST(AppendLog, ScrollsEndIntoView) {
    CTestDlg dlg;
    dlg.Show();
    guitest::Flush();
    for (int line = 0; line < 40; ++line) {
        dlg.AppendLog("KEN_ALL_Versionを移行しました。");
    }
    guitest::Flush();
    wxTextCtrl& log = dlg.LogBox();
    const int range = log.GetScrollRange(wxVERTICAL);
    EXPECT_GT(range, log.GetScrollThumb(wxVERTICAL));
    EXPECT_EQ(range, log.GetScrollPos(wxVERTICAL) + log.GetScrollThumb(wxVERTICAL));
}

// The whole text is replaced on every line, and the path box is rewritten from m_strPath.
TEST(AppendLog, RewritesBothBoxesFromMembers) {
    CTestDlg dlg;
    dlg.m_strPath = "/data/住所.mdb";
    dlg.LogBox().ChangeValue(wxString::FromUTF8("stale"));
    dlg.AppendLog("Mst03を移行しました。");
    EXPECT_EQ("\nMst03を移行しました。", Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("/data/住所.mdb", Utf8FromWx(dlg.PathBox().GetValue()));
}

TEST(DataExchange, ToControls) {
    CTestDlg dlg;
    dlg.m_strLog = "\n一行目\n二行目";
    dlg.m_strPath = "/home/利用者/郵便番号.mdb";
    EXPECT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ("\n一行目\n二行目", Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("/home/利用者/郵便番号.mdb", Utf8FromWx(dlg.PathBox().GetValue()));
}

TEST(DataExchange, FromControls) {
    CTestDlg dlg;
    dlg.LogBox().ChangeValue(wxString::FromUTF8("\nログ"));
    dlg.PathBox().ChangeValue(wxString::FromUTF8("/tmp/手入力.mdb"));
    EXPECT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ("\nログ", dlg.m_strLog);
    EXPECT_EQ("/tmp/手入力.mdb", dlg.m_strPath);
}

// Showing the dialog runs the first exchange.
TEST(DataExchange, ShowingFillsBoxes) {
    CTestDlg dlg;
    dlg.m_strPath = "/srv/前回.mdb";
    dlg.Show();
    EXPECT_EQ("/srv/前回.mdb", Utf8FromWx(dlg.PathBox().GetValue()));
    EXPECT_EQ("", Utf8FromWx(dlg.LogBox().GetValue()));
}

// Bytes that are not UTF-8 (a driver message in another encoding) still show up.
TEST(DataExchange, InvalidUtf8StaysVisible) {
    CTestDlg dlg;
    dlg.m_strLog = "abc\x82\xa0xyz";
    dlg.UpdateData(false);
    const std::string shown = Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_EQ(0u, shown.find("abc"));
    EXPECT_NE(std::string::npos, shown.find("xyz"));
}
