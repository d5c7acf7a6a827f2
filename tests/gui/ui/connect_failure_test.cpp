// A target that cannot be reached: the box names it as the start button's tooltip does, in
// the session's language, and the log says that the run did not start.

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/target/OdbcTarget.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// psqlODBC on a port where nothing listens, without a data source: unixODBC keeps what it
// read of a data source's entries for a while, which would tie this test to the others that
// use Pomvale01.
const CResolvedTarget kUnreachable{
    "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=127.0.0.1;Port=1;"
    "Database=pomvale01",
    "",
    "driver /usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so, server 127.0.0.1, port 1, database "
    "pomvale01"};

void RunUnreachable(CDialogRun& run) {
    CDaoWorkspace workspace;
    CDaoDatabase sourceDb;
    CDatabase targetDb;
    CDaoSource source(workspace, sourceDb);
    COdbcTarget target(targetDb, kUnreachable);
    run.RunOn(source, target);
}

}  // namespace

TEST(ConnectFailure, AnUnreachableTargetIsNamedAndLeavesALine) {
    CTestDlg dlg;
    dlg.runOnThread = RunUnreachable;
    dlg.Show();
    dlg.PathBox().ChangeValue(wxString::FromUTF8(testpaths::Data("sample.mdb").string()));
    CDialogAnswerer answerer;
    answerer.ExpectAndReturn(wxID_OK);
    dlg.Click(IDC_START);
    ASSERT_EQ(1u, answerer.Seen().size());
    // Unwrapped: the box breaks English lines at blanks, Japanese ones between characters.
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const bool japanese = messages != nullptr && std::string(messages).rfind("ja", 0) == 0;
    std::string message;
    for (const char c : answerer.Seen()[0].message) {
        message += c != '\n' ? std::string(1, c) : japanese ? "" : " ";
    }
    if (japanese) {
        // Our sentence, with the target in Japanese words; the driver's text is the detail.
        // A line may break at a blank, which goes: blanks are not compared.
        const auto blankless = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
            return text;
        };
        EXPECT_EQ(blankless(message),
                  blankless("移行先のデータベース（サーバー 127.0.0.1、ポート 1、データベース "
                            "pomvale01）に接続できませんでした。サーバーが起動しているか、システム"
                            "管理者にご確認ください。"));
        EXPECT_FALSE(answerer.Seen()[0].detail.empty());
    } else {
        EXPECT_NE(std::string::npos, message.find("Target tried:")) << message;
        EXPECT_NE(std::string::npos, message.find("server 127.0.0.1, port 1, database pomvale01."))
            << message;
    }
    EXPECT_EQ("\n移行を開始できませんでした（移行先に接続できません）。", guitest::SteadyLog(dlg));
}
