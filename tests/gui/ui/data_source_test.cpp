// The dialog with a data source named Pomvale01 defined for the user: the start button's
// tooltip names it, without its password, and a run writes to it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// ODBCINI names the file for the object's lifetime; unixODBC reads it at every lookup.
class UserDataSources {
public:
    explicit UserDataSources(const std::filesystem::path& file) {
        if (const char* old = std::getenv("ODBCINI")) {
            m_old = old;
        }
        setenv("ODBCINI", file.c_str(), 1);
    }
    ~UserDataSources() {
        if (m_old) {
            setenv("ODBCINI", m_old->c_str(), 1);
        } else {
            unsetenv("ODBCINI");
        }
    }
    UserDataSources(const UserDataSources&) = delete;
    UserDataSources& operator=(const UserDataSources&) = delete;

private:
    std::optional<std::string> m_old;
};

}  // namespace

TEST(DataSourceTarget, TheTooltipNamesItAndARunWritesToIt) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("gui");
    const testsupport::TempDirectory dir("brimlow-gui-dsn");
    std::ofstream(dir / "odbc.ini") << "[Pomvale01]\n"
                                       "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n"
                                       "Servername=127.0.0.1\nPort="
                                    << server.Port() << "\nDatabase=" << database
                                    << "\nUsername=postgres\nPassword=Pw-s3cret-4711\n";
    const UserDataSources dataSources(dir / "odbc.ini");
    const testsupport::WorkingDirectory cwd(dir.Path());

    CTestDlg dlg;
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    dlg.Show();
    EXPECT_EQ(Utf8FromWx(dlg.StartButton().GetToolTipText()),
              "移行先: Pomvale01（サーバー 127.0.0.1、ポート " + std::to_string(server.Port()) +
                  "、データベース " + database + "）");

    CDialogAnswerer answerer;  // fails on any box
    dlg.PathBox().ChangeValue(wxString::FromUTF8(testpaths::Data("sample.mdb").string()));
    dlg.Click(IDC_START);

    EXPECT_NE(Utf8FromWx(dlg.LogBox().GetValue()).find("移行が完了しました。"), std::string::npos);
    EXPECT_EQ(server.Query(database, "select count(*) from KEN_ALL;"), testtarget::Rows{{"1001"}});
    EXPECT_FALSE(std::filesystem::exists(dir / "Pomvale01"));
}

// A data source added while the dialog is open: the tooltip names it once the pointer comes
// to the start button, a run uses the target resolved when it started, and after the run the
// tooltip follows the data source's removal.
TEST(DataSourceTarget, TheTooltipFollowsADataSourceAddedOrRemoved) {
    const testsupport::TempDirectory dir("brimlow-gui-tip");
    std::ofstream(dir / "odbc.ini") << "";
    const UserDataSources dataSources(dir / "odbc.ini");
    CTestDlg dlg;
    dlg.Show();
    const auto tip = [&dlg] { return Utf8FromWx(dlg.StartButton().GetToolTipText()); };
    const auto hover = [&dlg] {
        wxMouseEvent enter(wxEVT_ENTER_WINDOW);
        enter.SetEventObject(&dlg.StartButton());
        dlg.StartButton().ProcessWindowEvent(enter);
    };
    const std::string before = tip();
    EXPECT_EQ(before.find("Pomvale01（"), std::string::npos) << before;

    std::ofstream(dir / "odbc.ini") << "[Pomvale01]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/"
                                       "psqlodbcw.so\nServername=db1\nDatabase=pomvale01\n";
    hover();
    EXPECT_EQ(tip().rfind("移行先: Pomvale01（サーバー ", 0), 0u) << tip();

    std::string tipDuringRun;
    dlg.run = [&](CTestDlg& self) {
        std::ofstream(dir / "odbc.ini") << "";
        hover();
        tipDuringRun = Utf8FromWx(self.StartButton().GetToolTipText());
    };
    dlg.Click(IDC_START);
    EXPECT_EQ(tipDuringRun.rfind("移行先: Pomvale01（サーバー ", 0), 0u) << tipDuringRun;
    EXPECT_EQ(tip(), before);
}
