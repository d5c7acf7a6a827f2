#include "migration/RunHistory.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/DifferencesFile.h"
#include "migration/RunSummary.h"

namespace {

constexpr const char kHistory[] = "history.jsonl";
constexpr const char kLock[] = "history.lock";
// Below this size the file cannot hold more than the runs kept: it is not counted.
constexpr off_t kCountAbove = 256 * 1024;

// A descriptor closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int value) : fd(value) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

std::string Failure(const std::string& path, int error) {
    return TrFormat("The run history %1 cannot be written: %2", {path, std::strerror(error)});
}

bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Keeps the last kHistoryRuns lines of the history open as fd, under the lock.
void Trim(int dir, int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_size <= kCountAbove) {
        return;
    }
    ::lseek(fd, 0, SEEK_SET);
    const std::string text = ReadAll(fd);
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines <= kHistoryRuns) {
        return;
    }
    std::size_t from = 0;
    for (std::size_t dropped = 0; dropped < lines - kHistoryRuns; ++dropped) {
        from = text.find('\n', from) + 1;
    }
    const std::string kept = text.substr(from);
    const std::string temporary = std::string(kHistory) + ".new";
    const Fd out(::openat(dir, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.fd < 0 || !WriteAll(out.fd, kept) || ::fsync(out.fd) != 0 ||
        ::renameat(dir, temporary.c_str(), dir, kHistory) != 0) {
        ::unlinkat(dir, temporary.c_str(), 0);
    }
}

std::string Iso8601Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40] = "";
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string stamp = text;
    if (stamp.size() >= 5) {
        stamp.insert(stamp.size() - 2, ":");  // +0900 -> +09:00
    }
    return stamp;
}

std::string UserName() {
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_name != nullptr) {
        return user->pw_name;
    }
    return std::to_string(getuid());
}

std::string HostName() {
    char host[256] = "";
    ::gethostname(host, sizeof host - 1);
    return host;
}

}  // namespace

std::string HistoryLine(const std::string& summaryJson, const std::string& file,
                        const std::string& mode) {
    std::string line = "{\"time\": " + JsonString(Iso8601Now()) +
                       ", \"user\": " + JsonString(UserName()) +
                       ", \"host\": " + JsonString(HostName()) + ", \"file\": " + JsonString(file) +
                       ", \"mode\": " + JsonString(mode);
    if (summaryJson.size() > 2 && summaryJson.front() == '{') {
        line += ", " + summaryJson.substr(1);
    } else {
        line += "}";
    }
    // One line: a summary never holds a raw newline, but the file's reader counts on it.
    for (char& c : line) {
        if (c == '\n') {
            c = ' ';
        }
    }
    return line;
}

std::string AppendRunHistory(const std::string& line) noexcept {
    std::string path;
    try {
        const std::string folder = RecordsFolder();
        path = folder + "/" + kHistory;
        const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (dir.fd < 0) {
            return Failure(folder, errno);
        }
        // Appends and the trim are one at a time, so that a trim loses no line.
        const Fd lock(::openat(dir.fd, kLock, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0) {
            return Failure(path, errno);
        }
        const Fd fd(
            ::openat(dir.fd, kHistory, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.fd < 0) {
            return Failure(path, errno);
        }
        if (!WriteAll(fd.fd, line + "\n")) {
            return Failure(path, errno != 0 ? errno : EIO);
        }
        Trim(dir.fd, fd.fd);
        return {};
    } catch (const CException& e) {
        return e.GetErrorMessage();
    } catch (...) {
        return Failure(path.empty() ? kHistory : path, ENOMEM);
    }
}

std::vector<std::string> ReadRunHistory(std::size_t count) {
    const std::string folder = RecordsFolder();
    const std::string path = folder + "/" + kHistory;
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd < 0) {
        if (errno == ENOENT) {
            return {};
        }
        throw CException(
            TrFormat("The run history %1 cannot be read: %2", {path, std::strerror(errno)}));
    }
    const std::string text = ReadAll(fd.fd);
    std::deque<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            lines.emplace_back(text, start, end - start);
            if (lines.size() > count) {
                lines.pop_front();
            }
        }
        start = end + 1;
    }
    return {lines.begin(), lines.end()};
}
