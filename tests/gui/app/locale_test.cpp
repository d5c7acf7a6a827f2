#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <wx/intl.h>
#include <wx/log.h>

#include "app/BrimlowApp.h"

namespace {

// Sets LC_ALL for the life of the object, as a session would, and restores the old value.
class CLcAllOverride {
public:
    explicit CLcAllOverride(const char* value) {
        if (const char* old = std::getenv("LC_ALL")) {
            m_old = old;
            m_hadOld = true;
        }
        setenv("LC_ALL", value, 1);
    }
    ~CLcAllOverride() {
        if (m_hadOld) {
            setenv("LC_ALL", m_old.c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
    }

private:
    std::string m_old;
    bool m_hadOld = false;
};

std::string CurrentLocale(int category) {
    return std::setlocale(category, nullptr);
}

}  // namespace

// The process runs in the session's locale for texts, in "C" for numbers.
TEST(UserLocale, MessagesFollowTheSessionAndNumbersStayC) {
    EXPECT_EQ("C", CurrentLocale(LC_NUMERIC));
    const char* lang = std::getenv("LANG");
    if (lang != nullptr && std::string(lang) == "ja_JP.UTF-8") {
        EXPECT_EQ("ja_JP.UTF-8", CurrentLocale(LC_MESSAGES));
        EXPECT_EQ("ja_JP.UTF-8", CurrentLocale(LC_CTYPE));
    }
}

// A locale that the session names but the system has not generated: "C", and nothing is
// logged that would open a box.
TEST(UserLocale, LocaleNotGeneratedGivesCSilently) {
    for (const char* missing : {"fr_FR.UTF-8", "xx_XX.UTF-8"}) {
        SCOPED_TRACE(missing);
        const CLcAllOverride session(missing);
        auto* buffer = new wxLogBuffer;
        wxLog* previous = wxLog::SetActiveTarget(buffer);
        {
            const std::unique_ptr<wxLocale> locale = CBrimlowApp::TakeUserLocale();
            EXPECT_EQ("C", CurrentLocale(LC_ALL));
        }
        wxLog::SetActiveTarget(previous);
        EXPECT_EQ("", buffer->GetBuffer().ToStdString(wxConvUTF8));
        delete buffer;
    }
}
