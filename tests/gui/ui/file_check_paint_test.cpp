#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/WorkingDirectory.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

// The window keeps repainting while a file is checked before it is read. The check is made
// to take half a second (a checker that waits, then runs the real one), so that the pump has
// many turns whatever the machine's load. Each paint asks for the next one, so every turn of
// the pump paints; the target has no tables, so the run ends at its first row, before any
// heartbeat of the copy. Without the pump in the check, the rest of the run paints twice.
TEST(FileCheck, WindowRepaintsWhileTheFileIsChecked) {
    const testsupport::TempDirectory scratch("brimlow-slow-vet");
    const std::filesystem::path slowVet = scratch / "slow-vet";
    std::ofstream(slowVet) << "#!/bin/sh\nsleep 0.5\nexec '"
                           << testpaths::Build("brimlow-vet").string() << "' \"$@\"\n";
    std::filesystem::permissions(slowVet, std::filesystem::perms::owner_all);
    setenv("BRIMLOW_VET", slowVet.c_str(), 1);

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
    dlg.Refresh();
    dlg.runOnThread = &CTestDlg::RunRealMigration;
    int paintsBeforeTheBox = -1;
    CDialogAnswerer answerer;
    answerer.Expect([&](wxDialog&) {
        paintsBeforeTheBox = paints;
        return wxID_OK;
    });
    dlg.PathBox().ChangeValue(wxString::FromUTF8(testpaths::Data("sample.mdb").string()));
    dlg.Click(IDC_START);
    unsetenv("BRIMLOW_VET");

    EXPECT_GE(paintsBeforeTheBox, 5) << "the window was not repainted during the check";
}
