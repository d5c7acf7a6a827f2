#include "tests/support/RunCommand.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

// An anonymous in-memory file: stdin, stdout and stderr of the child go through these,
// so that nothing can block on a full pipe and no file is left behind.
class MemoryFile {
public:
    MemoryFile() : m_fd(::memfd_create("brimlow-test", MFD_CLOEXEC)) {
        if (m_fd < 0) {
            throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(m_fd); }

    int Fd() const noexcept { return m_fd; }

    void Write(const std::string& text) {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
            if (n < 0) {
                throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            }
            done += static_cast<std::size_t>(n);
        }
        ::lseek(m_fd, 0, SEEK_SET);
    }

    std::string ReadAll() const {
        std::string text;
        char buffer[65536];
        ::lseek(m_fd, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    int m_fd;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    posix_spawn_file_actions_t* Get() noexcept { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         const std::filesystem::path& workdir) {
    if (argv.empty()) {
        throw std::runtime_error("RunCommand: no program given");
    }
    MemoryFile in, out, err;
    in.Write(input);

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.Get(), in.Fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), out.Fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), err.Fd(), STDERR_FILENO);
    if (!workdir.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.Get(), workdir.c_str());
    }

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError =
        posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ);
    if (spawnError != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawnError));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = out.ReadAll();
    result.err = err.ReadAll();
    return result;
}

}  // namespace testsupport
