// brimlow-migrate: the migration run from the command line, for scripts and
// scheduled refreshes.
//
//   brimlow-migrate [--target STRING | --target-file FILE] [OPTIONS] FILE.mdb
//   brimlow-migrate --replace [--target … | --target-file …] [OPTIONS] FILE.mdb
//   brimlow-migrate --sql [OPTIONS] FILE.mdb
//   brimlow-migrate --verify [--replace] [--target … | --target-file …] [OPTIONS] FILE.mdb
//   brimlow-migrate --help | --version
//
// Exit status: 0 when every table arrived (and, with --verify, the copy was not found to
// differ), 1 when the run failed, its copy differs or its log could not be written (the
// reason on stderr), 2 for a usage error, 128 + the signal when SIGINT, SIGTERM or SIGHUP
// stopped the run or its verification.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/ConsoleRun.h"
#include "app/HistoryCommand.h"
#include "app/RunEnd.h"
#include "app/StopSignals.h"
#include "app/SummaryFile.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/OpenFileLimit.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/DriverTextEncoding.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "migration/RunSummary.h"
#include "migration/RunThread.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/StatementWriter.h"
#include "migration/target/TargetResolution.h"

namespace {

constexpr const char* kUsage = TrNoop(
    "usage: brimlow-migrate [--target STRING | --target-file FILE] [OPTIONS] FILE.mdb\n"
    "       brimlow-migrate --replace [--target … | --target-file …] [OPTIONS] FILE.mdb\n"
    "       brimlow-migrate --sql [OPTIONS] FILE.mdb\n"
    "       brimlow-migrate --history [N]\n"
    "\n"
    "Copies the eight tables of FILE.mdb into the target database, one "
    "committed\n"
    "insert statement per row, and prints one line per finished table.\n"
    "\n"
    "  --target CONNECTION-STRING  an ODBC connection string to use instead of "
    "the\n"
    "                              built-in one; it is visible to every local\n"
    "                              user (ps): keep passwords out of it\n"
    "  --target-file FILE          read the connection string from FILE (- for\n"
    "                              standard input), for one with a password; warns\n"
    "                              when other users may read FILE\n"
    "  --sql                       connect to no target; write every statement "
    "to\n"
    "                              stdout, one per line, and the log lines to "
    "stderr\n"
    "  --replace                   replace the contents of the eight tables in one\n"
    "                              transaction: empty them, insert every row, commit\n"
    "                              at the end; on any failure or stop nothing changes\n"
    "  --verify                    after the commit, read the eight tables back and\n"
    "                              compare every value with what was sent; a copy\n"
    "                              that differs fails (status 1, \"differs\"), its\n"
    "                              rows stay and the differing ones are listed in a\n"
    "                              file named on stderr; an append into tables that\n"
    "                              held rows is not verified (\"not run\")\n"
    "  --progress, --no-progress   show the progress line on stderr, or not;\n"
    "                              by default only when stderr is a terminal\n"
    "  --summary FILE              write how the run ended, as JSON, to FILE:\n"
    "                              \"running\" from the start, then \"completed\",\n"
    "                              \"stopped\", \"failed\", \"unknown\" (a row or\n"
    "                              the commit was in flight when the connection\n"
    "                              was lost or the target stopped answering) or\n"
    "                              \"differs\" (a table does not hold what the run\n"
    "                              inserted, or not as it was sent); never a file\n"
    "                              the run reads or a folder\n"
    "  --history [N]               list the last N runs (20 unless given), one line\n"
    "                              each, from the run history (below)\n"
    "  --help                      show this text\n"
    "  --version                   show the version\n"
    "\n"
    "SIGINT, SIGTERM and SIGHUP stop the run between two rows; the rows inserted\n"
    "stay in the target (with --replace, nothing is kept). A statement the target\n"
    "does not answer is cancelled, and given up about 8 s later (at once on a\n"
    "second signal): its outcome is then reported as unknown. Without a signal, a\n"
    "statement unanswered for 16 s is cancelled and given up the same way, and the\n"
    "run fails.\n"
    "\n"
    "A signal during --verify's read-back stops the verification: every row is\n"
    "committed and stays; the exit status is 128 + the signal, and the summary says\n"
    "\"completed\" with the verification \"not run\".\n"
    "\n"
    "Every run that writes to a target is recorded, one JSON line each (its summary\n"
    "with the time, user, host, file and mode), in the run history\n"
    "$XDG_STATE_HOME/brimlow/history.jsonl (~/.local/state/brimlow/history.jsonl).\n"
    "\n"
    "One run at a time per target, whatever its mode: a second run waits up to 15 s\n"
    "for the first one's run lock, then fails before its first row, naming it.\n"
    "\n"
    "The target, in this order: --target or --target-file; else the ODBC data source\n"
    "Pomvale01, when unixODBC knows one (~/.odbc.ini, $ODBCINI, /etc/odbc.ini;\n"
    "odbcinst -q -s); else the built-in connection string, whose driver name\n"
    "\"SQL Server\" is the system's when a driver list registers it, and otherwise\n"
    "means the SQLite file\n"
    "$XDG_DATA_HOME/brimlow/Pomvale01 (~/.local/share/brimlow/Pomvale01), created with\n"
    "the eight tables on first use. See brimlow-migrate(1).\n");

struct COptions {
    enum class Progress { Auto, On, Off };

    std::string path;
    std::string target = kTargetConnection;
    bool bSqlOnly = false;
    bool bReplace = false;
    bool bVerify = false;  // the copy is read back and compared after the commit
    Progress progress = Progress::Auto;
    std::string summary;     // empty: no summary
    std::string targetFile;  // what --target-file named ("-": standard input); empty: none
};

// A connection string is a line; more than this is some other file.
constexpr size_t kTargetFileLimit = 64 * 1024;
// How long a named pipe may keep its writer waiting before it is given up.
constexpr int kTargetFifoWaitMilliseconds = 3000;

// Reports why file gave no connection string; returns nullopt for the caller to pass on.
std::nullopt_t TargetFileProblem(const std::string& file, const std::string& why) {
    std::fprintf(stderr, Tr("brimlow-migrate: cannot read the target file %s: %s\n"), file.c_str(),
                 why.c_str());
    return std::nullopt;
}

// Waits until fd, a named pipe opened without waiting, has something to read or its writer
// closed it; false when no program writes within the wait.
bool WaitForWriter(int fd) {
    pollfd wait{fd, POLLIN, 0};
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kTargetFifoWaitMilliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return ready != 0;
        }
    }
}

// The connection string in file ("-": standard input), without its final line break; nullopt
// after the reason was reported. A named file that other users may read or change is warned
// about: it may hold a password. Nothing here waits without end or reads without limit: a
// named pipe gets a few seconds for its writer, a device or a folder is refused, and more than
// kTargetFileLimit bytes are not a connection string.
std::optional<std::string> ReadTargetFile(const std::string& file) {
    const bool bStdin = file == "-";
    struct stat info {};
    // By name first: opening a device can have effects of its own.
    if (!bStdin && stat(file.c_str(), &info) != 0) {
        return TargetFileProblem(file, SystemErrorText(errno));
    }
    if (!bStdin && S_ISDIR(info.st_mode)) {
        return TargetFileProblem(file, Tr("it is a folder"));
    }
    if (!bStdin && (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
        return TargetFileProblem(file, Tr("it is a device, not a file"));
    }
    // Opened without waiting: a named pipe opens at once, with or without a writer.
    const int fd =
        bStdin ? STDIN_FILENO : open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        return TargetFileProblem(file, SystemErrorText(error));
    }
    const auto closeFile = [&] {
        if (!bStdin) {
            close(fd);
        }
    };
    if (!bStdin && !S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
        closeFile();
        return TargetFileProblem(file, Tr("it is not a regular file"));
    }
    if (!bStdin && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) {
        std::fprintf(
            stderr,
            Tr("brimlow-migrate: warning: the connection string file %s may be read by other users "
               "(mode %04o); a password in it belongs in a file of mode 0600\n"),
            file.c_str(), static_cast<unsigned>(info.st_mode & 07777));
    }
    if (!bStdin && S_ISFIFO(info.st_mode)) {
        if (!WaitForWriter(fd)) {
            closeFile();
            return TargetFileProblem(
                file, TrFormat("no program wrote to it within %1 seconds",
                               {std::to_string(kTargetFifoWaitMilliseconds / 1000)}));
        }
        // Once its writer is there, the rest is read as it comes.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while (text.size() <= kTargetFileLimit &&
           ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
        text.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    const int error = errno;
    closeFile();
    if (text.size() > kTargetFileLimit) {
        return TargetFileProblem(file,
                                 TrFormat("it holds more than %1 KiB: not a connection string",
                                          {std::to_string(kTargetFileLimit / 1024)}));
    }
    if (n < 0) {
        return TargetFileProblem(file, SystemErrorText(error));
    }
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    if (text.empty()) {
        std::fprintf(stderr, Tr("brimlow-migrate: the target file %s holds no connection string\n"),
                     file.c_str());
        return std::nullopt;
    }
    return text;
}

// Parses the arguments; nullopt after a usage error has been reported.
std::optional<COptions> ParseArguments(const std::vector<std::string>& args) {
    COptions options;
    bool bTargetGiven = false;
    std::optional<std::string> targetFile;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg == "--sql") {
            options.bSqlOnly = true;
        } else if (arg == "--replace") {
            options.bReplace = true;
        } else if (arg == "--verify") {
            options.bVerify = true;
        } else if (arg == "--target") {
            if (i + 1 == args.size()) {
                std::fputs(Tr("brimlow-migrate: --target needs a connection string\n"), stderr);
                return std::nullopt;
            }
            options.target = args[++i];
            bTargetGiven = true;
        } else if (arg == "--target-file") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                std::fputs(Tr("brimlow-migrate: --target-file needs a file name\n"), stderr);
                return std::nullopt;
            }
            targetFile = args[++i];
        } else if (arg == "--progress" || arg == "--no-progress") {
            options.progress =
                arg == "--progress" ? COptions::Progress::On : COptions::Progress::Off;
        } else if (arg == "--summary") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                std::fputs(Tr("brimlow-migrate: --summary needs a file name\n"), stderr);
                return std::nullopt;
            }
            options.summary = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, Tr("brimlow-migrate: unknown option %s\n"), arg.c_str());
            return std::nullopt;
        } else {
            files.push_back(arg);
        }
    }
    if (options.bSqlOnly && options.bReplace) {
        std::fputs(Tr("brimlow-migrate: --sql and --replace exclude each other\n"), stderr);
        return std::nullopt;
    }
    if (options.bSqlOnly && options.bVerify) {
        // Statements written out leave nothing to read back.
        std::fputs(Tr("brimlow-migrate: --sql and --verify exclude each other\n"), stderr);
        return std::nullopt;
    }
    if (bTargetGiven && targetFile) {
        std::fputs(Tr("brimlow-migrate: --target and --target-file exclude each other\n"), stderr);
        return std::nullopt;
    }
    if (options.bSqlOnly && (bTargetGiven || targetFile)) {
        std::fprintf(stderr, Tr("brimlow-migrate: --sql and %s exclude each other\n"),
                     bTargetGiven ? "--target" : "--target-file");
        return std::nullopt;
    }
    if (files.size() != 1) {
        std::fputs(files.empty() ? Tr("brimlow-migrate: no .mdb file given\n")
                                 : Tr("brimlow-migrate: only one .mdb file may be given\n"),
                   stderr);
        return std::nullopt;
    }
    options.path = files.front();
    if (targetFile) {
        options.targetFile = *targetFile;
        std::optional<std::string> target = ReadTargetFile(*targetFile);
        if (!target) {
            return std::nullopt;
        }
        options.target = *target;
    }
    return options;
}

struct CFileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using StatementOutput = std::unique_ptr<std::FILE, CFileCloser>;

// The statements go to standard output through a stream of their own, on a duplicate of
// descriptor 1: the source layer flushes stdout and points descriptor 1 elsewhere for a
// moment around each libmdb call that can print, and the statements' large buffer stays out
// of that.
StatementOutput OpenStatementOutput() {
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    std::FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (out == nullptr) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        throw CException(TrFormat("Cannot write the statements: %1.", {SystemErrorText(error)}));
    }
    // Whole blocks of statements per write instead of one 4 KB block each.
    static char buffer[256 * 1024];
    setvbuf(out, buffer, _IOFBF, sizeof buffer);
    return StatementOutput(out);
}

// A connection whose driver is one kind's and whose server says it is another is treated as
// an unknown ODBC database: the user is told, since its failures then get no advice.
void NoteKindDisagreement(const std::string& driverKind, const std::string& dbmsName) {
    std::fprintf(stderr,
                 Tr("brimlow-migrate: note: the driver is %s's, but the server calls itself "
                    "\"%s\"; the target is treated as an unknown ODBC database.\n"),
                 driverKind.c_str(), dbmsName.c_str());
}

// A PostgreSQL or SQLite target whose rows go in as multi-row inserts instead of COPY or bound
// values: the user is told why, since the run is then slower.
void NoteInsertPath(const CBulkUnusable& unusable) {
    if (unusable.path == "copy") {
        std::fprintf(stderr,
                     Tr("brimlow-migrate: note: the rows go into PostgreSQL as inserts, not "
                        "through COPY: %s.\n"),
                     unusable.why.c_str());
        return;
    }
    std::fprintf(stderr,
                 Tr("brimlow-migrate: note: the rows go into SQLite as inserts through the ODBC "
                    "driver, not bound straight into its file: %s.\n"),
                 unusable.why.c_str());
}

// resolved: the target resolved at the run's start, or nullopt when that failed (the open
// then fails with the reason).
// On the run's thread, which owns everything the run touches.
void RunMigration(const COptions& options, const std::optional<CResolvedTarget>& resolved,
                  CConsoleRun& console, const std::shared_ptr<CRunWatch>& watch,
                  std::string& bulk) {
    CDaoWorkspace workspace;
    CDaoDatabase sourceDb;
    CDatabase targetDb;
    CDaoSource source(workspace, sourceDb);
    const auto run = [&](ITargetDatabase& target) {
        CMigrationRun migration(source, target, console);
        migration.SetWatch(watch);
        migration.SetVerify(options.bVerify);
        migration.Run([&] { return options.path; }, options.target);
    };

    if (options.bSqlOnly) {
        StatementOutput out = OpenStatementOutput();
        CStatementWriter writer(out.get());
        run(writer);
        const bool bFailed = std::ferror(out.get()) != 0;
        if (std::fclose(out.release()) != 0 || bFailed) {
            throw CException(Tr("Cannot write the statements to standard output."));
        }
    } else if (options.bReplace) {
        CReplaceTarget target(targetDb, resolved);
        target.SetKindNote(NoteKindDisagreement);
        target.SetBulkNote(NoteInsertPath);
        try {
            run(target);
        } catch (const CRunGivenUp&) {
            throw;  // the run's end was told already: nothing of it is written now
        } catch (...) {
            bulk = target.BulkPath();
            throw;
        }
        bulk = target.BulkPath();
    } else {
        COdbcTarget target(targetDb, resolved);
        target.SetKindNote(NoteKindDisagreement);
        run(target);
    }
}

// The run on a thread of its own, while this thread passes the stop signals on. A call given
// up by a stop ends the run here, as the run itself would have told it.
CRunOutcome RunOnItsThread(const COptions& options, const std::optional<CResolvedTarget>& resolved,
                           CConsoleRun& console, std::string& bulk) {
    std::exception_ptr failure;
    std::optional<CRunOutcome> givenUp;
    CRunThread thread(
        [&](const std::shared_ptr<CRunWatch>& watch) {
            try {
                RunMigration(options, resolved, console, watch, bulk);
            } catch (const CRunGivenUp&) {
                throw;
            } catch (...) {
                failure = std::current_exception();
            }
        },
        [&givenUp](const CRunOutcome& outcome) { givenUp = outcome; });
    while (!thread.WaitForEnd(std::chrono::milliseconds(30))) {
        if (ReceivedStopSignal() != 0) {
            thread.RequestStop(ReceivedSecondStopSignal());
        }
    }
    if (givenUp) {
        console.OnRunEnd(*givenUp);
    }
    const std::optional<CRunOutcome>& told = console.Outcome();
    // A failure outside the run (the statements' output) is not in the run's own account.
    if (failure && (!told || told->status == CRunOutcome::Status::Completed)) {
        return CRunOutcome::Of(failure, nullptr, false);
    }
    return told ? *told : CRunOutcome{};
}

// Standard error when the progress line is to be shown, else null.
std::FILE* ProgressStream(COptions::Progress progress) {
    const bool bShow = progress == COptions::Progress::Auto ? isatty(STDERR_FILENO) != 0
                                                            : progress == COptions::Progress::On;
    return bShow ? stderr : nullptr;
}

// The target, resolved once for the whole run: the summary's checks, the connect, the
// messages and the summary all use this one. Creates nothing; nullopt with --sql, or when it
// cannot be resolved (the run's open then fails with the reason).
std::optional<CResolvedTarget> ResolveRunTarget(const COptions& options) {
    if (options.bSqlOnly) {
        return std::nullopt;
    }
    try {
        return ResolveTarget(options.target);
    } catch (const CException&) {
        return std::nullopt;
    }
}

// The run, with the log on stdout (on stderr with --sql, where stdout holds the statements),
// and how it ended told on stderr and in the summary. Returns 2 after a usage error.
int Migrate(const COptions& options) {
    InstallStopSignals();
    // A key given twice leaves the target to the driver's choice: refused before anything,
    // the summary included, is written.
    if (const std::string problem = options.bSqlOnly ? "" : ConnectionStringProblem(options.target);
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    const std::optional<CResolvedTarget> resolved = ResolveRunTarget(options);
    // A run that writes no target names none; one whose target cannot be resolved names why.
    const std::string target = options.bSqlOnly ? std::string()
                               : resolved       ? resolved->description
                                                : DescribeTargetInUse(options.target);
    if (!options.summary.empty()) {
        const std::string problem =
            SummaryPathProblem(options.summary, options.path, resolved ? TargetFile(*resolved) : "",
                               options.targetFile);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 2;
        }
        // An honest account from the start: a run that dies leaves "running", not an old
        // run's summary. A stream gets the final summary alone.
        if (!SummaryIsStream(options.summary)) {
            CRunSummary running;
            running.SetTarget(target);
            WriteSummary(options.summary, running.ToJson("running", nullptr));
        }
    }
    CConsoleRun console(options.bSqlOnly ? stderr : stdout, ProgressStream(options.progress));
    CRunEnd end;
    end.outcome = RunOnItsThread(options, resolved, console, end.bulk);
    end.signal = ReceivedStopSignal();
    end.target = target;
    end.statementsOnly = options.bSqlOnly;
    end.verify = options.bVerify;
    end.replace = options.bReplace;
    end.file = std::filesystem::absolute(options.path).lexically_normal().string();
    console.ClearProgress();
    return FinishRun(end, console, options.summary);
}

}  // namespace

int main(int argc, char** argv) {
    SayTheDriversTextIsUtf8();
    // System texts (strerror, driver messages) in the user's language and character set;
    // numbers and dates stay in the "C" convention. A locale that is not installed leaves
    // "C".
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    BindMessageCatalogue();
    // Whatever fails before or during the run, reading the arguments and the connection
    // string file included, is reported with its reason and ends with status 1, never with an
    // abort.
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (!args.empty() && args.front() == "--history") {
            // --history [N]: nothing else.
            const bool count = args.size() == 2 && !args[1].empty() && args[1].size() < 7 &&
                               args[1].find_first_not_of("0123456789") == std::string::npos;
            if (args.size() > 2 || (args.size() == 2 && !count)) {
                std::fputs(Tr("brimlow-migrate: --history takes a number of runs and nothing "
                              "else\n"),
                           stderr);
                std::fputs(Tr(kUsage), stderr);
                return 2;
            }
            return PrintRunHistory(count ? std::stoul(args[1]) : 20);
        }
        for (const std::string& arg : args) {
            if (arg == "--") {
                break;
            }
            if (arg == "--help" || arg == "-h") {
                std::fputs(Tr(kUsage), stdout);
                return 0;
            }
            if (arg == "--version") {
                std::printf("brimlow-migrate %s\n", BRIMLOW_VERSION);
                return 0;
            }
        }
        const std::optional<COptions> options = ParseArguments(args);
        if (!options) {
            std::fputs(Tr(kUsage), stderr);
            return 2;
        }
        const int status = Migrate(*options);
        if (status == 2) {
            std::fputs(Tr(kUsage), stderr);
        }
        // A run's thread that is ending is let finish. One given up while its statement blocks
        // may still be waiting: the process then ends without tearing down what it could wake up
        // to.
        if (!CRunThread::WaitForAllRuns(std::chrono::seconds(1))) {
            std::fflush(nullptr);
            std::_Exit(status);
        }
        return status;
    } catch (const CException& e) {
        PrintError(e.GetErrorMessage());
    } catch (const std::bad_alloc&) {
        PrintError(CMemoryException().GetErrorMessage());
    } catch (const std::exception& e) {
        PrintError(e.what());
    } catch (...) {
        PrintError({});
    }
    return 1;
}
