// Built into every test program: the program's records (differences files, the run history)
// and the user's ODBC data source list (which unixODBC creates at its first lookup) are files
// in a folder of the test process's own, never in the user's home, for the test programs and
// every process they start; and the drivers are told the text is UTF-8, as the programs do.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "dbaccess/odbc/DriverTextEncoding.h"

namespace {

struct PrivateStateHome {
    PrivateStateHome() {
        char folder[] = "/tmp/brimlow-test-state-XXXXXX";
        if (::mkdtemp(folder) != nullptr) {
            m_folder = folder;
            ::setenv("XDG_STATE_HOME", folder, 1);
            ::setenv("ODBCINI", (m_folder + "/odbc.ini").c_str(), 1);
        }
    }
    ~PrivateStateHome() {
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }
    std::string m_folder;
};

const PrivateStateHome g_stateHome;

// The programs tell the drivers that their text is UTF-8 as they start; a test process that
// opens targets itself is such a program, whatever locale it was started in.
const bool g_saidUtf8 = [] {
    SayTheDriversTextIsUtf8();
    return true;
}();

}  // namespace
