#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/intl.h>

#include "app/BrimlowApp.h"
#include "dbaccess/Translate.h"

namespace {

// The program's application object without its start-up: the tests build their dialogs
// themselves, and a crash in a test must not wait for a click on a last-resort box. The
// locale is the program's, so that the tests see what a user of this session would.
class CTestApp : public CBrimlowApp {
public:
    bool OnInit() override {
        m_locale = TakeUserLocale();
        BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
        return true;
    }

private:
    std::unique_ptr<wxLocale> m_locale;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new CTestApp);
    if (!wxEntryStart(argc, argv)) {
        return 1;
    }
    wxTheApp->CallOnInit();
    int result = 0;
    {
        // The program always runs inside the dialog's modal loop; the tests keep a loop
        // active as well, so that the dialog's pumps find one.
        wxGUIEventLoop loop;
        wxEventLoopActivator activate(&loop);
        result = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
