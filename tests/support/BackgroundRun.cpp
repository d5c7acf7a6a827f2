#include "tests/support/BackgroundRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/Paths.h"

namespace testsupport {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AwaitCondition(const std::function<bool()>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
}

CBackgroundRun::CBackgroundRun(std::vector<std::string> args, const std::filesystem::path& dir) {
    args.insert(args.begin(), testpaths::Build("brimlow-migrate").string());
    std::vector<char*> argv = Argv(args);
    const std::string out = (dir / "out").string();
    const std::string err = (dir / "err").string();
    m_pid = fork();
    if (m_pid == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (setpgid(0, 0) != 0 || chdir(dir.c_str()) != 0 || dup2(outFd, 1) < 0 ||
            dup2(errFd, 2) < 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
}

void CBackgroundRun::Signal(int signal) const {
    kill(m_pid, signal);
}

void CBackgroundRun::SignalGroup(int signal) const {
    kill(-m_pid, signal);
}

bool CBackgroundRun::HasChild() const {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const size_t end = text.rfind(')');
        std::istringstream fields(end == std::string::npos ? "" : text.substr(end + 2));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent && parent == m_pid) {
            return true;
        }
    }
    return false;
}

int CBackgroundRun::Wait() const {
    int status = 0;
    waitpid(m_pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
}

}  // namespace testsupport
