#include "tests/support/StallProxy.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"

namespace testsupport {

CStallProxy::CStallProxy(int serverPort, const std::string& pattern, int nth, const char* when,
                         const char* action) {
    const std::string script = testpaths::Source("tests/support/stall_proxy.py").string();
    const std::string port = std::to_string(serverPort);
    const std::string count = std::to_string(nth);
    m_pid = fork();
    if (m_pid == 0) {
        execlp("python3", "python3", script.c_str(), "--server-port", port.c_str(), "--pattern",
               pattern.c_str(), "--nth", count.c_str(), "--when", when, "--action", action,
               "--port-file", m_portFile.c_str(), nullptr);
        _exit(127);
    }
    AwaitCondition([this] { return !ReadFile(m_portFile).empty(); });
}

CStallProxy::~CStallProxy() {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

int CStallProxy::Port() const {
    return std::stoi("0" + ReadFile(m_portFile));
}

bool CStallProxy::Triggered() const {
    return !ReadFile(m_portFile + ".triggered").empty();
}

bool CStallProxy::AwaitTriggered() const {
    return AwaitCondition([this] { return Triggered(); });
}

std::string CStallProxy::Through(const std::string& connect) const {
    const size_t start = connect.find("Port=");
    if (start == std::string::npos) {
        return connect;
    }
    const size_t end = connect.find(';', start);
    return connect.substr(0, start) + "Port=" + std::to_string(Port()) +
           (end == std::string::npos ? "" : connect.substr(end));
}

}  // namespace testsupport
