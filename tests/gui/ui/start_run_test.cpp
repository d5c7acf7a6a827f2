#include <gtest/gtest.h>

#include <filesystem>

#include "dbaccess/Exceptions.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

constexpr const char kCompleteLog[] =
    "\nKEN_ALLを移行しました。\nKEN_ALL_Versionを移行しました。\nMst01を移行しました。"
    "\nMst02を移行しました。\nMst02Errorを移行しました。\nMst03を移行しました。"
    "\nMst04を移行しました。\nMst04Errorを移行しました。\n移行が完了しました。";

void TypePath(CTestDlg& dlg, const std::string& name) {
    dlg.PathBox().ChangeValue(wxString::FromUTF8(testpaths::Data(name).string()));
}

std::string CountOf(const testtarget::SqliteTarget& target, const std::string& table) {
    return *target.Query("select count(*) from " + table + ";").at(0).at(0);
}

}  // namespace

// The start button runs the real migration into the embedded target through the built-in
// connection string; a second run reads the file the path box names now.
TEST(StartRun, CopiesSampleIntoTheEmbeddedTargetAndLogsEveryTable) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.run = [](CTestDlg& self) { self.RunRealMigration(); };
    dlg.Show();
    CDialogAnswerer answerer;  // fails on any box

    TypePath(dlg, "sample.mdb");
    dlg.Click(IDC_START);

    EXPECT_EQ(kCompleteLog, Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
    EXPECT_EQ("200", CountOf(target, "Mst03"));
    EXPECT_EQ(dlg.LogBox().GetLastPosition(), dlg.LogBox().GetInsertionPoint());

    TypePath(dlg, "empty.mdb");
    dlg.Click(IDC_START);

    EXPECT_EQ(std::string(kCompleteLog) + kCompleteLog, Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
}

// A source that cannot be opened is reported in a box; nothing is logged, and the next run
// with a good file works on the same dialog.
TEST(StartRun, FailedRunIsReportedAndTheNextRunWorks) {
    const testtarget::SqliteTarget target;
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.run = [](CTestDlg& self) { self.RunRealMigration(); };
    dlg.Show();

    TypePath(dlg, "wrongpassword.mdb");
    {
        CDialogAnswerer answerer;
        answerer.ExpectAndReturn(wxID_OK);
        dlg.Click(IDC_START);
        ASSERT_EQ(1u, answerer.Seen().size());
        EXPECT_NE(std::string::npos, answerer.Seen()[0].message.find("password"))
            << answerer.Seen()[0].message;
        EXPECT_EQ(wxICON_STOP, answerer.Seen()[0].icon);
    }
    EXPECT_EQ("", Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("0", CountOf(target, "KEN_ALL"));

    TypePath(dlg, "sample.mdb");
    CDialogAnswerer answerer;
    dlg.Click(IDC_START);
    EXPECT_EQ(kCompleteLog, Utf8FromWx(dlg.LogBox().GetValue()));
    EXPECT_EQ("1001", CountOf(target, "KEN_ALL"));
}
