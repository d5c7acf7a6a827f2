// Built into every test program: the program's records (differences files, the run history)
// go to a folder of the test process's own, never into the user's home, for the test
// programs and every process they start.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

struct PrivateStateHome {
    PrivateStateHome() {
        char folder[] = "/tmp/brimlow-test-state-XXXXXX";
        if (::mkdtemp(folder) != nullptr) {
            m_folder = folder;
            ::setenv("XDG_STATE_HOME", folder, 1);
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

}  // namespace
