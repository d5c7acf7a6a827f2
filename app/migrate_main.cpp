// brimlow-migrate: the migration run from the command line, for scripts and
// scheduled refreshes.
//
//   brimlow-migrate [--target CONNECTION-STRING] [OPTIONS] FILE.mdb
//   brimlow-migrate --replace [--target CONNECTION-STRING] [OPTIONS] FILE.mdb
//   brimlow-migrate --sql [OPTIONS] FILE.mdb
//   brimlow-migrate --help | --version
//
// Exit status: 0 when every table arrived, 1 when the run failed or its log could
// not be written (the reason on stderr), 2 for a usage error, 128 + the signal
// when SIGINT, SIGTERM or SIGHUP stopped the run.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/ConsoleRun.h"
#include "app/RunEnd.h"
#include "app/StopSignals.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "migration/target/OdbcTarget.h"
#include "migration/target/ReplaceTarget.h"
#include "migration/target/StatementWriter.h"
#include "migration/target/TargetResolution.h"

namespace {

constexpr const char kUsage[] =
    "usage: brimlow-migrate [--target CONNECTION-STRING] [OPTIONS] FILE.mdb\n"
    "       brimlow-migrate --replace [--target CONNECTION-STRING] [OPTIONS] FILE.mdb\n"
    "       brimlow-migrate --sql [OPTIONS] FILE.mdb\n"
    "\n"
    "Copies the eight tables of FILE.mdb into the target database, one "
    "committed\n"
    "insert statement per row, and prints one line per finished table.\n"
    "\n"
    "  --target CONNECTION-STRING  an ODBC connection string to use instead of "
    "the\n"
    "                              built-in one\n"
    "  --sql                       connect to no target; write every statement "
    "to\n"
    "                              stdout, one per line, and the log lines to "
    "stderr\n"
    "  --replace                   replace the contents of the eight tables in one\n"
    "                              transaction: empty them, insert every row, commit\n"
    "                              at the end; on any failure or stop nothing changes\n"
    "  --progress, --no-progress   show the progress line on stderr, or not;\n"
    "                              by default only when stderr is a terminal\n"
    "  --summary FILE              write how the run ended, as JSON, to FILE\n"
    "  --help                      show this text\n"
    "  --version                   show the version\n"
    "\n"
    "SIGINT, SIGTERM and SIGHUP stop the run between two rows; the rows inserted\n"
    "stay in the target (with --replace, nothing is kept).\n"
    "\n"
    "The target, in this order: --target; else the ODBC data source Pomvale01, when\n"
    "unixODBC knows one (~/.odbc.ini, $ODBCINI, /etc/odbc.ini; odbcinst -q -s); else the\n"
    "built-in connection string, whose driver name \"SQL Server\" is the system's when a\n"
    "driver list registers it, and otherwise means the SQLite file\n"
    "$XDG_DATA_HOME/brimlow/Pomvale01 (~/.local/share/brimlow/Pomvale01), created with\n"
    "the eight tables on first use. See brimlow-migrate(1).\n";

struct COptions {
    enum class Progress { Auto, On, Off };

    std::string path;
    std::string target = kTargetConnection;
    bool bSqlOnly = false;
    bool bReplace = false;
    Progress progress = Progress::Auto;
    std::string summary;  // empty: no summary
};

// Parses the arguments; nullopt after a usage error has been reported.
std::optional<COptions> ParseArguments(const std::vector<std::string>& args) {
    COptions options;
    bool bTargetGiven = false;
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
        } else if (arg == "--target") {
            if (i + 1 == args.size()) {
                std::fputs("brimlow-migrate: --target needs a connection string\n", stderr);
                return std::nullopt;
            }
            options.target = args[++i];
            bTargetGiven = true;
        } else if (arg == "--progress" || arg == "--no-progress") {
            options.progress =
                arg == "--progress" ? COptions::Progress::On : COptions::Progress::Off;
        } else if (arg == "--summary") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                std::fputs("brimlow-migrate: --summary needs a file name\n", stderr);
                return std::nullopt;
            }
            options.summary = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "brimlow-migrate: unknown option %s\n", arg.c_str());
            return std::nullopt;
        } else {
            files.push_back(arg);
        }
    }
    if (options.bSqlOnly && options.bReplace) {
        std::fputs("brimlow-migrate: --sql and --replace exclude each other\n", stderr);
        return std::nullopt;
    }
    if (options.bSqlOnly && bTargetGiven) {
        std::fputs("brimlow-migrate: --sql and --target exclude each other\n", stderr);
        return std::nullopt;
    }
    if (files.size() != 1) {
        std::fputs(files.empty() ? "brimlow-migrate: no .mdb file given\n"
                                 : "brimlow-migrate: only one .mdb file may be given\n",
                   stderr);
        return std::nullopt;
    }
    options.path = files.front();
    return options;
}

struct CFileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using StatementOutput = std::unique_ptr<std::FILE, CFileCloser>;

// The statements go to standard output through a stream of their own, on a duplicate of
// descriptor 1. The source layer flushes stdout, points descriptor 1 elsewhere for a moment
// and clears stdout's error flag while it reads a table, which would lose a failed write of
// statements still sitting in stdout's buffer.
StatementOutput OpenStatementOutput() {
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    std::FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (out == nullptr) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        throw CException(std::string("Cannot write the statements: ") + std::strerror(error) + ".");
    }
    // Whole blocks of statements per write instead of one 4 KB block each.
    static char buffer[256 * 1024];
    setvbuf(out, buffer, _IOFBF, sizeof buffer);
    return StatementOutput(out);
}

void RunMigration(const COptions& options, CConsoleRun& console) {
    CDaoWorkspace workspace;
    CDaoDatabase sourceDb;
    CDatabase targetDb;
    CDaoSource source(workspace, sourceDb);

    if (options.bSqlOnly) {
        StatementOutput out = OpenStatementOutput();
        CStatementWriter writer(out.get());
        CMigrationRun(source, writer, console).Run([&] { return options.path; }, options.target);
        const bool bFailed = std::ferror(out.get()) != 0;
        if (std::fclose(out.release()) != 0 || bFailed) {
            throw CException("Cannot write the statements to standard output.");
        }
    } else if (options.bReplace) {
        CReplaceTarget target(targetDb);
        CMigrationRun(source, target, console).Run([&] { return options.path; }, options.target);
    } else {
        COdbcTarget target(targetDb);
        CMigrationRun(source, target, console).Run([&] { return options.path; }, options.target);
    }
}

// The progress line goes to the program's own copy of standard error: while a table is read,
// descriptor 2 points into the pipe that keeps libmdb's output off the terminal.
std::FILE* ProgressStream(COptions::Progress progress) {
    const bool bShow = progress == COptions::Progress::Auto ? isatty(STDERR_FILENO) != 0
                                                            : progress == COptions::Progress::On;
    if (!bShow) {
        return nullptr;
    }
    const int fd = fcntl(OwnStandardError(), F_DUPFD_CLOEXEC, 3);
    std::FILE* stream = fd >= 0 ? fdopen(fd, "w") : nullptr;
    return stream != nullptr ? stream : stderr;
}

// The run, with the log on stdout (on stderr with --sql, where stdout holds the statements),
// and how it ended told on stderr and in the summary.
int Migrate(const COptions& options) {
    InstallStopSignals();
    if (!options.summary.empty()) {
        RemoveStaleSummary(options.summary);
    }
    CConsoleRun console(options.bSqlOnly ? stderr : stdout, ProgressStream(options.progress));
    CRunEnd end;
    try {
        RunMigration(options, console);
    } catch (const CRunStopped&) {
        end.status = CRunEnd::Status::Stopped;
        end.signal = ReceivedStopSignal();
    } catch (const CException& e) {
        end.status = CRunEnd::Status::Failed;
        end.error = e.GetErrorMessage();
    } catch (const std::bad_alloc&) {
        end.status = CRunEnd::Status::Failed;
        end.error = CMemoryException().GetErrorMessage();
    } catch (const std::exception& e) {
        end.status = CRunEnd::Status::Failed;
        end.error = e.what();
    }
    // A replacing run that did not complete was never committed.
    end.rolledBack = options.bReplace && end.status != CRunEnd::Status::Completed;
    if (!options.bSqlOnly && !options.summary.empty()) {
        // The target the run resolved and opened; a run that ended before it got there names
        // the one it would have used.
        end.target =
            console.Target().empty() ? DescribeTargetInUse(options.target) : console.Target();
    }
    console.ClearProgress();
    return FinishRun(end, console, options.summary);
}

}  // namespace

int main(int argc, char** argv) {
    // System texts (strerror, driver messages) in the user's language and character set;
    // numbers and dates stay in the "C" convention. A locale that is not installed leaves
    // "C".
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("brimlow-migrate %s\n", BRIMLOW_VERSION);
            return 0;
        }
    }
    const std::optional<COptions> options = ParseArguments(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        return Migrate(*options);
    } catch (const CException& e) {
        PrintError(e.GetErrorMessage());
    } catch (const std::bad_alloc&) {
        PrintError(CMemoryException().GetErrorMessage());
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return 1;
}
