#include <filesystem>

#include <gtest/gtest.h>

#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

// The file check before a large file is read takes a few tenths of a second; the window
// keeps repainting meanwhile. Each paint asks for the next one, so every turn of the pump
// paints; the target has no tables, so the run ends at its first row, before any heartbeat
// of the copy. Without the pump in the check, the rest of the run paints twice.
TEST(FileCheck, WindowRepaintsWhileTheFileIsChecked) {
    const std::filesystem::path file = testpaths::SharedFixtures("kenall-full.mdb");
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    const testtarget::SqliteTarget target(false);
    const testsupport::WorkingDirectory cwd(target.Directory());
    CTestDlg dlg;
    dlg.Show();
    guitest::Flush();

    int paints = 0;
    dlg.Bind(wxEVT_PAINT, [&](wxPaintEvent& event) {
        ++paints;
        dlg.Refresh();
        event.Skip();
    });
    dlg.run = [](CTestDlg& self) {
        self.Refresh();
        self.RunRealMigration();
    };
    int paintsBeforeTheBox = -1;
    CDialogAnswerer answerer;
    answerer.Expect([&](wxDialog&) {
        paintsBeforeTheBox = paints;
        return wxID_OK;
    });
    dlg.PathBox().ChangeValue(wxString::FromUTF8(file.string()));
    dlg.Click(IDC_START);

    EXPECT_GE(paintsBeforeTheBox, 5) << "the window was not repainted during the check";
}
