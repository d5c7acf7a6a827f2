#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/TempDirectory.h"

namespace testsupport {

// tests/support/stall_proxy.py relaying 127.0.0.1:serverPort, started on construction and
// killed on destruction: at the nth time the client sends pattern it goes silent or drops the
// connection, before or after the server got the chunk (see the script).
class CStallProxy {
public:
    CStallProxy(int serverPort, const std::string& pattern, int nth, const char* when,
                const char* action);
    ~CStallProxy();
    CStallProxy(const CStallProxy&) = delete;
    CStallProxy& operator=(const CStallProxy&) = delete;

    int Port() const;
    // Whether the misbehaviour has started.
    bool Triggered() const;
    // Waits, at most a minute, for it to start.
    bool AwaitTriggered() const;
    // connect (a psqlODBC string) with its Port= turned to the relay's.
    std::string Through(const std::string& connect) const;

private:
    TempDirectory m_dir{"brimlow-proxy"};
    std::string m_portFile = (m_dir.Path() / "port").string();
    pid_t m_pid = -1;
};

}  // namespace testsupport
