// brimlow-vet: reads an .mdb file in a process of its own (its catalogue and the tables named,
// every table when none is), so that a file which makes libmdb loop, crash or allocate
// without end costs this process, not the program that asked.
//
// Usage: brimlow-vet [--fd N] [--connect-fd M] [--] <file.mdb> [table...]
// With --fd, the file read is the one open on descriptor N, which the program that asked
// opened and handed down, and <file.mdb> only names it in messages. An encrypted .accdb is
// decrypted with the program's own database password, or with the password of the connect
// string read to its end from descriptor M (a pipe): a password is never on the command line
// or in the environment, where other users of the machine can read it.
// Standard output carries the report (dbaccess/access/libmdb/VetReport.h); the exit status is
// 1 after an error line. Anything libmdb prints goes to standard error.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/libmdb/MdbApi.h"
#include "dbaccess/access/libmdb/MdbVetting.h"
#include "dbaccess/access/libmdb/VetReport.h"
#include "migration/RunSettings.h"

#if defined(__SANITIZE_ADDRESS__)
#define BRIMLOW_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRIMLOW_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(50);
constexpr auto kSampleInterval = std::chrono::milliseconds(1);
constexpr uint64_t kMemoryFloor = uint64_t{1} << 30;
constexpr uint64_t kMemoryMargin = uint64_t{512} << 20;

int g_report = -1;
const char* g_path = "";
uint64_t g_memoryLimit = 0;

// Whole lines with one write, so that the progress thread's lines never split them.
void Report(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(g_report, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// The address space this process may use: 1 GB, or the file's size and a margin when that is
// more. A damaged file can make libmdb allocate without end; under the cap the allocation
// fails and the check ends instead of the desktop's memory. Sanitizer builds reserve huge
// address ranges and get no cap.
uint64_t CapMemory(const VetScope& scope) {
#if defined(BRIMLOW_ADDRESS_SANITIZER)
    (void)scope;
    return 0;
#else
    struct stat info {};
    const int found = scope.fd >= 0 ? fstat(scope.fd, &info) : stat(scope.path.c_str(), &info);
    const uint64_t size = found == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    const uint64_t limit = std::max(kMemoryFloor, size + kMemoryMargin);
    const rlimit cap{limit, limit};
    return setrlimit(RLIMIT_AS, &cap) == 0 ? limit : 0;
#endif
}

// Written when memory runs out, so made beforehand: the heap is what failed.
std::string g_outOfMemoryReport;

[[noreturn]] void OutOfMemory() {
    (void)!write(g_report, g_outOfMemoryReport.data(), g_outOfMemoryReport.size());
    _exit(1);
}

constexpr const char kLogDomain[] = "brimlow-vet";

void IgnoreLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// GLib ends the process on a failed allocation with an error-level message: end it ourselves
// with a clear report first.
void OnGlibError(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    if (message && std::strstr(message, "failed to allocate")) {
        OutOfMemory();
    }
}

// When libmdb takes the address space in small pieces, the failure's own report needs memory
// too: GLib's message cannot be formatted, the stack cannot grow, or the slice allocator
// aborts, and the process dies of a signal before OnGlibError runs. A fatal signal while the
// address space is at the cap is that, and says so; any other is a crash, which the program
// that asked reports as one.
constexpr uint64_t kCapSlack = uint64_t{16} << 20;
uint64_t g_pageSize = 4096;
alignas(16) char g_signalStack[64 * 1024];

// The address space in use, from /proc/self/statm with signal-safe calls only; 0 when unread.
uint64_t AddressSpaceInUse() {
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[64];
    const ssize_t n = read(fd, text, sizeof text);
    close(fd);
    uint64_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        pages = pages * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    return pages * g_pageSize;
}

void OnFatalSignal(int) {
    if (AddressSpaceInUse() + kCapSlack >= g_memoryLimit) {
        OutOfMemory();
    }
    // SA_RESETHAND has restored the default: the fault or abort that follows ends the process.
}

void ReportOutOfMemoryOnFatalSignals() {
    if (g_memoryLimit == 0) {
        return;
    }
    g_pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const stack_t alternate{g_signalStack, 0, sizeof g_signalStack};
    sigaltstack(&alternate, nullptr);
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signo : {SIGSEGV, SIGBUS, SIGABRT}) {
        sigaction(signo, &action, nullptr);
    }
}

// Samples the reader's progress and reports it while the main thread reads.
class CProgressReporter {
public:
    explicit CProgressReporter(VetProgress& progress)
        : m_progress(progress), m_thread([this] { Run(); }) {}
    ~CProgressReporter() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    CProgressReporter(const CProgressReporter&) = delete;
    CProgressReporter& operator=(const CProgressReporter&) = delete;

private:
    void Run() {
        uint64_t reported = 0;
        auto lastReport = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> hold(m_lock);
        while (!m_wake.wait_for(hold, kSampleInterval, [this] { return m_stop; })) {
            const uint64_t figure = m_progress.Sample();
            const auto now = std::chrono::steady_clock::now();
            if (figure > reported && now - lastReport >= kProgressInterval) {
                Report(VetProgressLine(figure));
                reported = figure;
                lastReport = now;
            }
        }
    }

    VetProgress& m_progress;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// A descriptor number given on the command line, or -1 when it is not one.
int DescriptorArgument(const char* text) {
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    return *text == '\0' || *end != '\0' || fd < 0 || fd > 65535 ? -1 : static_cast<int>(fd);
}

// The connect string the parent wrote to the descriptor, read to its end (64 KB at most).
bool ReadConnect(int fd, std::string& connect) {
    connect.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || connect.size() + static_cast<size_t>(n) > 65536) {
            return false;
        }
        if (n == 0) {
            break;
        }
        connect.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// The command line, or false when it is not one this program takes.
bool ParseArguments(int argc, char** argv, VetScope& scope) {
    int at = 1;
    if (at + 1 < argc && std::strcmp(argv[at], "--fd") == 0) {
        scope.fd = DescriptorArgument(argv[at + 1]);
        if (scope.fd < 0) {
            return false;
        }
        at += 2;
    }
    scope.connect = kSourceConnect;
    if (at + 1 < argc && std::strcmp(argv[at], "--connect-fd") == 0) {
        const int fd = DescriptorArgument(argv[at + 1]);
        std::string connect;
        if (fd < 0 || !ReadConnect(fd, connect)) {
            return false;
        }
        scope.connect = std::move(connect);
        at += 2;
    }
    if (at < argc && std::strcmp(argv[at], "--") == 0) {
        ++at;
    }
    if (at >= argc) {
        return false;
    }
    scope.path = argv[at];
    scope.tables.assign(argv + at + 1, argv + argc);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    VetScope scope;
    if (!ParseArguments(argc, argv, scope)) {
        std::fprintf(stderr,
                     "usage: brimlow-vet [--fd N] [--connect-fd M] [--] <file.mdb> [table...]\n");
        return 2;
    }
    g_path = scope.path.c_str();
    // No core files from a crash on a hostile file, and no orphan left looping when the
    // program that started us is gone.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    // libmdb's hex dumps go to standard output: send them to standard error with its other
    // complaints, and keep the report on a descriptor of its own.
    g_report = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    if (g_report < 0) {
        return 2;
    }
    g_memoryLimit = CapMemory(scope);
    Report(VetMemoryLimitLine(g_memoryLimit));
    g_outOfMemoryReport = VetErrorLine(SourceFailureKind::MemoryExhausted,
                                       VetMemoryLimitMessage(g_path, g_memoryLimit));
    std::set_new_handler(OutOfMemory);
    ReportOutOfMemoryOnFatalSignals();
    g_log_set_handler("GLib", static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL),
                      OnGlibError, nullptr);
    // GLib allocates a thread's logging state with its first message. Were that the message
    // of a failed allocation, GLib would abort before OnGlibError ran, and the file would
    // look as if it had crashed the check: one message now, while memory is there.
    g_log_set_handler(kLogDomain, G_LOG_LEVEL_DEBUG, IgnoreLog, nullptr);
    g_log(kLogDomain, G_LOG_LEVEL_DEBUG, "start");

    std::string result;
    int status = 1;
    try {
        VetProgress progress;
        std::vector<VetTableCount> counts;
        {
            CProgressReporter reporter(progress);
            counts = ReadTables(scope, &progress);
        }
        for (const VetTableCount& count : counts) {
            result += VetTableLine(count);
        }
        result += VetOkLine();
        status = 0;
    } catch (const CDaoException& e) {
        result = VetErrorLine(e.Kind(), e.GetMessageParts());
    } catch (const CException& e) {
        result = VetErrorLine(SourceFailureKind::CannotRead, e.GetErrorMessage());
    } catch (const std::exception& e) {
        result = VetErrorLine(SourceFailureKind::CannotRead,
                              CDaoMessage() << "The database '" << SourceFile(g_path)
                                            << "' cannot be read: " << e.what());
    }
    Report(result);
    return status;
}
