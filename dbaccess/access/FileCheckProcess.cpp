#include "dbaccess/access/FileCheckProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <thread>

#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"
#include "dbaccess/access/libmdb/VetReport.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxNoise = 1 << 16;
constexpr auto kWaitCallbackInterval = std::chrono::milliseconds(30);

bool IsExecutable(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) &&
           access(path.c_str(), X_OK) == 0;
}

// What the helper wrote and how it ended.
struct CVetOutcome {
    VetReportReader report;
    std::string noise;
    int status = 0;
    bool timedOut = false;
};

// Keeps the time of the last progress the helper reported.
class CProgressWatch {
public:
    explicit CProgressWatch(std::chrono::milliseconds stallLimit)
        : m_stallLimit(stallLimit), m_last(Clock::now()) {}

    void Progressed() { m_last = Clock::now(); }
    // The moment the helper counts as hanging.
    Clock::time_point Deadline() const { return m_last + m_stallLimit; }

private:
    std::chrono::milliseconds m_stallLimit;
    Clock::time_point m_last;
};

class CPipe {
public:
    CPipe() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            throw CDaoException(SourceFailureKind::CheckUnavailable,
                                std::string("Cannot start the database file check: ") +
                                    SystemErrorText(errno) + ".");
        }
        read = fds[0];
        write = fds[1];
    }
    ~CPipe() {
        CloseRead();
        CloseWrite();
    }
    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;
    void CloseRead() {
        if (read >= 0) {
            close(read);
            read = -1;
        }
    }
    void CloseWrite() {
        if (write >= 0) {
            close(write);
            write = -1;
        }
    }
    int read = -1;
    int write = -1;
};

// The descriptors the helper finds the open file and the connect string on.
constexpr int kHelperFileFd = 3;
constexpr int kHelperConnectFd = 4;

// brimlow-vet [--fd 3] [--connect-fd 4] -- <path> [table...]
std::vector<std::string> HelperArguments(const std::string& vet, const VetScope& scope) {
    std::vector<std::string> args = {vet};
    if (scope.fd >= 0) {
        args.insert(args.end(), {"--fd", std::to_string(kHelperFileFd)});
    }
    if (scope.connect) {
        args.insert(args.end(), {"--connect-fd", std::to_string(kHelperConnectFd)});
    }
    args.insert(args.end(), {"--", scope.path});
    args.insert(args.end(), scope.tables.begin(), scope.tables.end());
    return args;
}

// A descriptor above the standard streams for the same open file: itself when it is,
// else a duplicate, closed with this.
class CLiftedDescriptor {
public:
    explicit CLiftedDescriptor(int original) : fd(original) {
        if (original >= 0 && original <= STDERR_FILENO) {
            fd = m_owned = fcntl(original, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            if (fd < 0) {
                throw CDaoException(SourceFailureKind::CheckUnavailable,
                                    std::string("Cannot start the database file check: ") +
                                        SystemErrorText(errno) + ".");
            }
        }
    }
    ~CLiftedDescriptor() {
        if (m_owned >= 0) {
            close(m_owned);
        }
    }
    CLiftedDescriptor(const CLiftedDescriptor&) = delete;
    CLiftedDescriptor& operator=(const CLiftedDescriptor&) = delete;
    int fd;

private:
    int m_owned = -1;
};

// A pipe that holds the connect string for the helper to read, its write end closed. The
// string is far below a pipe's capacity, so the write cannot wait for the reader.
std::unique_ptr<CPipe> ConnectPipe(const VetScope& scope) {
    if (!scope.connect) {
        return nullptr;
    }
    auto pipe = std::make_unique<CPipe>();
    const std::string& text = *scope.connect;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(pipe->write, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw CDaoException(SourceFailureKind::CheckUnavailable,
                                std::string("Cannot start the database file check: ") +
                                    SystemErrorText(errno) + ".");
        }
        done += static_cast<size_t>(n);
    }
    pipe->CloseWrite();
    // Above the helper's file descriptor and its own, which the spawn sets up before it.
    const int above = fcntl(pipe->read, F_DUPFD_CLOEXEC, kHelperConnectFd + 1);
    if (above < 0) {
        throw CDaoException(
            SourceFailureKind::CheckUnavailable,
            std::string("Cannot start the database file check: ") + SystemErrorText(errno) + ".");
    }
    pipe->CloseRead();
    pipe->read = above;
    return pipe;
}

pid_t Spawn(const std::string& vet, const VetScope& scope, CPipe& out, CPipe& err,
            const CPipe* connect) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    // The file goes down without its close-on-exec flag (a dup2 onto itself clears it too).
    // Its descriptor is above 2 (CLiftedDescriptor), so the duplications above cannot have
    // replaced it.
    if (scope.fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, scope.fd, kHelperFileFd);
    }
    // The pipe's read end lies above both (ConnectPipe): neither duplication above can have
    // replaced it.
    if (connect) {
        posix_spawn_file_actions_adddup2(&actions, connect->read, kHelperConnectFd);
    }
    // The helper starts with default signal handling and nothing blocked, whatever the
    // program (a GUI toolkit, a test runner) set up for itself. It gets a process group of
    // its own, so that the terminal's Ctrl+C reaches only the program, which stops the check
    // itself, instead of killing the helper in a way that looks like a crash.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const std::vector<std::string> args = HelperArguments(vet, scope);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, vet.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        throw CDaoException(
            SourceFailureKind::CheckUnavailable,
            "Cannot start the database file check '" + vet + "': " + SystemErrorText(rc) + ".");
    }
    return pid;
}

// Kills the helper and collects it unless it was collected: a throwing wait callback must
// not leave a running check or a zombie behind.
class CChildGuard {
public:
    explicit CChildGuard(pid_t pid) : m_pid(pid) {}
    ~CChildGuard() {
        if (m_pid > 0) {
            int status = 0;
            kill(m_pid, SIGKILL);
            while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    CChildGuard(const CChildGuard&) = delete;
    CChildGuard& operator=(const CChildGuard&) = delete;
    void Collected() noexcept { m_pid = -1; }

private:
    pid_t m_pid;
};

// Calls the wait callback when its interval has passed since the last call.
class CWaitTicker {
public:
    explicit CWaitTicker(const VetWaitCallback& callback) : m_callback(callback) {}
    void Tick() {
        if (!m_callback) {
            return;
        }
        const auto now = Clock::now();
        if (now - m_last >= kWaitCallbackInterval) {
            m_last = now;
            m_callback();
        }
    }
    // How long one wait may block before the callback is due again.
    std::chrono::milliseconds Slice(std::chrono::milliseconds left) const {
        return m_callback ? std::min(left, kWaitCallbackInterval) : left;
    }

private:
    const VetWaitCallback& m_callback;
    Clock::time_point m_last = Clock::now();
};

// Reads both pipes until the helper closes them or it stops making progress, then collects its
// status; kills it when it stops making progress or the wait callback throws.
CVetOutcome Collect(pid_t pid, CPipe& out, CPipe& err, std::chrono::milliseconds stallLimit,
                    const VetWaitCallback& whileWaiting) {
    CChildGuard child(pid);
    CWaitTicker ticker(whileWaiting);
    CProgressWatch progress(stallLimit);
    CVetOutcome outcome;
    std::array<pollfd, 2> fds = {pollfd{out.read, POLLIN, 0}, pollfd{err.read, POLLIN, 0}};
    char buffer[8192];
    while ((fds[0].fd >= 0 || fds[1].fd >= 0) && !outcome.timedOut) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            progress.Deadline() - Clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            break;
        }
        const int ready =
            poll(fds.data(), fds.size(), static_cast<int>(ticker.Slice(left).count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0 && i == 0) {
                if (outcome.report.Add(std::string_view(buffer, static_cast<size_t>(n)))) {
                    progress.Progressed();
                }
            } else if (n > 0) {
                if (outcome.noise.size() < kMaxNoise) {
                    outcome.noise.append(buffer, static_cast<size_t>(n));
                }
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
            }
        }
        ticker.Tick();
    }
    outcome.report.Finish();
    // The pipes are closed; the helper may still be on its way out.
    while (!outcome.timedOut) {
        const pid_t done = waitpid(pid, &outcome.status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            child.Collected();
            return outcome;
        }
        if (Clock::now() >= progress.Deadline()) {
            outcome.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ticker.Tick();
    }
    // Stalled: the guard kills and collects the helper; its status says nothing more.
    return outcome;
}

// The limit in whole seconds, rounded up.
long long Seconds(std::chrono::milliseconds limit) {
    return (limit.count() + 999) / 1000;
}

}  // namespace

std::string FindVetProgram() {
    if (const char* env = std::getenv("BRIMLOW_VET"); env && *env) {
        return env;
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::string beside = (self.parent_path() / "brimlow-vet").string();
        if (IsExecutable(beside)) {
            return beside;
        }
        // Installed: /usr/bin/brimlow finds /usr/libexec/brimlow/brimlow-vet.
        const std::string installed =
            (self.parent_path() / BRIMLOW_VET_FROM_BINDIR / "brimlow-vet").lexically_normal();
        if (IsExecutable(installed)) {
            return installed;
        }
    }
#ifdef BRIMLOW_VET_BUILD_PATH
    if (IsExecutable(BRIMLOW_VET_BUILD_PATH)) {
        return BRIMLOW_VET_BUILD_PATH;
    }
#endif
    throw CDaoException(
        SourceFailureKind::CheckUnavailable,
        "The program brimlow-vet, which checks database files before they are read, was not "
        "found beside this program; set BRIMLOW_VET to its path.");
}

std::vector<VetTableCount> VetSourceFile(const std::string& path,
                                         std::chrono::milliseconds stallLimit,
                                         const VetWaitCallback& whileWaiting) {
    return VetSourceFile(VetScope{path, -1, {}, std::nullopt}, stallLimit, whileWaiting);
}

std::vector<VetTableCount> VetSourceFile(const VetScope& scope,
                                         std::chrono::milliseconds stallLimit,
                                         const VetWaitCallback& whileWaiting) {
    const std::string& path = scope.path;
    const std::string vet = FindVetProgram();
    // The file's descriptor must lie above the helper's standard streams, which the spawn
    // sets up first.
    VetScope above = scope;
    CLiftedDescriptor lifted(scope.fd);
    above.fd = lifted.fd;
    const std::unique_ptr<CPipe> connect = ConnectPipe(scope);
    CPipe out;
    CPipe err;
    const pid_t pid = Spawn(vet, above, out, err, connect.get());
    if (connect) {
        connect->CloseRead();
    }
    out.CloseWrite();
    err.CloseWrite();
    const CVetOutcome outcome = Collect(pid, out, err, stallLimit, whileWaiting);

    const auto damaged = [&path](SourceFailureKind kind, const char* english,
                                 std::string reason = {}) {
        return CDaoException(kind, CDaoMessage::Format(english, {SourceFile(path),
                                                                 SourceReason(std::move(reason))}));
    };
    if (outcome.timedOut) {
        const long long seconds = Seconds(stallLimit);
        throw damaged(
            SourceFailureKind::Stalled,
            seconds == 1
                ? TrNoop("The database '%1' is damaged: reading it made no progress for %2 second.")
                : TrNoop(
                      "The database '%1' is damaged: reading it made no progress for %2 seconds."),
            std::to_string(seconds));
    }
    const VetReportReader& report = outcome.report;
    const std::string noise = OneLine(outcome.noise, MdbQuiet::kShortBytes);
    if (WIFSIGNALED(outcome.status)) {
        const int sig = WTERMSIG(outcome.status);
        // GLib ends the process when an allocation fails; under the helper's memory cap that
        // is a file that makes libmdb allocate without end.
        if (report.MemoryLimit() > 0 &&
            outcome.noise.find("failed to allocate") != std::string::npos) {
            throw CDaoException(SourceFailureKind::MemoryExhausted,
                                VetMemoryLimitMessage(path, report.MemoryLimit()));
        }
        throw damaged(SourceFailureKind::Crashed,
                      TrNoop("The database '%1' is damaged: reading it crashed (%2)."),
                      "signal " + std::to_string(sig) + ", " + strsignal(sig));
    }
    // The helper's own message, rebuilt from its parts, with what was printed on its standard
    // error as library detail.
    if (report.Error() && !report.Error()->Text().empty()) {
        CDaoMessage error = *report.Error();
        error.AddLibraryDetail(noise);
        throw CDaoException(report.ErrorKind(), std::move(error));
    }
    if (!WIFEXITED(outcome.status) || WEXITSTATUS(outcome.status) != 0 || !report.Complete()) {
        if (noise.empty()) {
            throw damaged(
                SourceFailureKind::Damaged,
                TrNoop("The database '%1' is damaged: the check of the file ended without an "
                       "answer."));
        }
        throw damaged(SourceFailureKind::Damaged,
                      TrNoop("The database '%1' is damaged: the check of the file ended without "
                             "an answer (%2)."),
                      noise);
    }
    if (!noise.empty()) {
        throw damaged(
            SourceFailureKind::Damaged,
            TrNoop("The database '%1' is damaged: libmdb reported problems while reading it: %2"),
            noise);
    }
    return report.Tables();
}
