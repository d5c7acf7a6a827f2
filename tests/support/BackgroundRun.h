#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The whole file, or "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Waits, at most a minute, until ready says so; returns what it says last.
bool AwaitCondition(const std::function<bool()>& ready);

// argv for execv: the strings' buffers, then a null.
std::vector<char*> Argv(std::vector<std::string>& args);

// brimlow-migrate running in dir, with stdout and stderr in the files out and err there, in a
// process group of its own, as a terminal's foreground job is.
class CBackgroundRun {
public:
    CBackgroundRun(std::vector<std::string> args, const std::filesystem::path& dir);
    pid_t Pid() const noexcept { return m_pid; }
    void Signal(int signal) const;
    // To the whole process group, as the terminal's Ctrl+C sends it.
    void SignalGroup(int signal) const;
    // True while the program has a child process (the file check's helper).
    bool HasChild() const;
    // The exit status, or 256 + the signal that ended it.
    int Wait() const;

private:
    pid_t m_pid = -1;
};

}  // namespace testsupport
