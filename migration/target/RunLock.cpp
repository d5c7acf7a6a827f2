#include "migration/target/RunLock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/EngineInterfaces.h"
#include "migration/RunWatch.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/SessionEnd.h"
#include "migration/target/StatementRunner.h"
#include "migration/target/kinds/TargetKind.h"

namespace {

constexpr auto kTryEvery = std::chrono::milliseconds(250);
constexpr auto kStopCheck = std::chrono::milliseconds(25);

const char* ModeWord(RunMode mode) {
    switch (mode) {
        case RunMode::Append:
            return "append";
        case RunMode::Replace:
            return "replace";
        case RunMode::Dialog:
            return "dialog";
    }
    return "append";
}

// The holder's mode as a user reads it; a word this version does not know stays as it is.
std::string ModeName(const std::string& word) {
    if (word == "append") {
        return TrContext("run mode", "append");
    }
    if (word == "replace") {
        return TrContext("run mode", "replace");
    }
    if (word == "dialog") {
        return TrContext("run mode", "dialog");
    }
    return word;
}

std::string UserName() {
    if (const passwd* entry = getpwuid(geteuid())) {
        return entry->pw_name;
    }
    return std::to_string(geteuid());
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "?";
    }
    return name;
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Whether answer, the value of the kind's TryRunLockQuery, grants the lock: anything but a
// negative number does (a NULL, an empty answer, refuses nothing).
bool Granted(const std::string& answer) {
    long value = 0;
    const auto [end, error] = std::from_chars(answer.data(), answer.data() + answer.size(), value);
    return error != std::errc() || value >= 0;
}

// The lock file of the SQLite file's run: its path, beside the file.
std::string LockFilePath(const std::string& file) {
    return file + ".brimlow-lock";
}

std::string ReadHolder(int fd) {
    std::string text;
    char buffer[512];
    off_t offset = 0;
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, offset)) > 0; offset += n) {
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > 4096) {
            break;
        }
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

void WriteHolder(int fd, const std::string& label) {
    const std::string text = label + "\t" + Now() + "\t\n";
    if (ftruncate(fd, 0) == 0) {
        // The label is what a refusal shows; a write that fails costs only that.
        [[maybe_unused]] const ssize_t written = pwrite(fd, text.data(), text.size(), 0);
    }
}

}  // namespace

std::string RunLabel(RunMode mode) {
    return std::string("brimlow ") + ModeWord(mode) + " " + UserName() + "@" + HostName() +
           " pid " + std::to_string(getpid());
}

std::string RunLockRefusal(const std::string& holder, const std::string& target) {
    const std::vector<std::string> fields = Split(holder, '\t');
    const std::vector<std::string> label = Split(fields[0], ' ');
    if (label.size() >= 5 && label[0] == "brimlow" && label[3] == "pid") {
        std::string who = label[2];
        if (fields.size() > 2 && !fields[2].empty()) {
            who += " (" + fields[2] + ")";
        }
        return TrFormat(
            "Another Brimlow run (%1 by %2, pid %3, since %4) is writing to this target (%5); "
            "nothing was sent. Start again once it has finished.\n",
            {ModeName(label[1]), who, label[4], fields.size() > 1 ? fields[1] : "?", target,
             JapaneseTargetName(target)});
    }
    return TrFormat(
        "Another Brimlow run is writing to this target (%1); nothing was sent. Start again once "
        "it has finished.\n",
        {target, JapaneseTargetName(target)});
}

void CRunLock::Take(CDatabase& database, const CTargetKind& kind, const CResolvedTarget& target,
                    RunMode mode, CStatementRunner& runner) {
    const CRunLockSession session{
        [&database, &runner](const std::string& statement) {
            runner.Run([&database, &statement] { database.ExecuteSQL(statement); },
                       UnknownOutcome::None);
        },
        [&database, &runner](const std::string& query) {
            std::string answer;
            runner.Run([&database, &query, &answer] { answer = database.QueryValue(query); },
                       UnknownOutcome::None);
            return answer;
        }};
    Take(session, runner.Watch(), kind, target, mode);
}

void CRunLock::Take(const CRunLockSession& session, const std::shared_ptr<CRunWatch>& watch,
                    const CTargetKind& kind, const CResolvedTarget& target, RunMode mode) {
    Release();
    const std::string label = RunLabel(mode);
    if (const std::string statement = kind.SessionLabelStatement(label); !statement.empty()) {
        session.execute(statement);
    }
    if (const std::string query = kind.SessionIdQuery(); !query.empty()) {
        // Without an id the session cannot be ended from elsewhere; the run goes on.
        std::string id;
        try {
            id = session.query(query);
        } catch (const CDBException&) {
            id.clear();
        }
        if (watch && !id.empty()) {
            m_watch = watch;
            m_watch->SetSessionEnder(SessionEnder(target, kind, id));
        }
    }

    // One try: true when the lock is this run's.
    std::function<bool()> tryLock;
    std::function<std::string()> holder;
    const std::string query = kind.TryRunLockQuery();
    if (kind.UsesRunLockFile()) {
        const std::string file = TargetFile(target);
        if (file.empty()) {
            return;
        }
        // Read-write to leave the label, read-only to lock a file another user made. A folder
        // where no lock file can be made is one where SQLite cannot make its journal or WAL
        // files either: the run goes on, and the database's own refusal names the file.
        const std::string path = LockFilePath(file);
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (m_fd < 0) {
            m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (m_fd < 0) {
            return;
        }
        // flock's locks belong to the open file description: two runs of one process, each
        // with its own open, exclude each other as two processes do. The descriptor is not
        // inherited by the file check's child process (O_CLOEXEC).
        tryLock = [this] { return flock(m_fd, LOCK_EX | LOCK_NB) == 0; };
        holder = [this] { return ReadHolder(m_fd); };
    } else if (!query.empty()) {
        tryLock = [&session, &query] { return Granted(session.query(query)); };
        holder = [&session, &kind] {
            std::string text;
            try {
                text = session.query(kind.RunLockHolderQuery());
            } catch (const CDBException&) {
                // Not allowed to look (SQL Server's VIEW SERVER STATE): the refusal says less.
            }
            return text;
        };
    } else {
        return;
    }

    try {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(kRunLockWaitSeconds);
        while (!tryLock()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                throw CTargetBusy(RunLockRefusal(holder(), target.description));
            }
            const auto next = std::chrono::steady_clock::now() + kTryEvery;
            while (std::chrono::steady_clock::now() < next) {
                if (watch && watch->IsStopRequested()) {
                    throw CRunStopped();
                }
                std::this_thread::sleep_for(kStopCheck);
            }
        }
    } catch (const CRunGivenUp&) {
        // The watcher may still need the session's ender.
        CloseFile();
        throw;
    } catch (...) {
        Release();
        throw;
    }
    if (m_fd >= 0) {
        WriteHolder(m_fd, label);
    }
}

void CRunLock::Release() noexcept {
    if (m_watch) {
        m_watch->SetSessionEnder({});
        m_watch.reset();
    }
    CloseFile();
}

CRunLock::~CRunLock() {
    // Without a Close (the run's call was given up, or the run failed): the ender stays with
    // the watch, for the watcher; it is bounded and touches nothing of this object.
    m_watch.reset();
    CloseFile();
}

void CRunLock::CloseFile() noexcept {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}
