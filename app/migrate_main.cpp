// brimlow-migrate: the migration run from the command line, for scripts and
// scheduled refreshes.
//
//   brimlow-migrate [--target CONNECTION-STRING] FILE.mdb
//   brimlow-migrate --sql FILE.mdb
//   brimlow-migrate --help | --version
//
// Exit status: 0 when every table arrived, 1 when the run failed (the reason on
// stderr), 2 for a usage error.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "dbaccess/DaoDatabase.h"
#include "dbaccess/DaoWorkspace.h"
#include "dbaccess/Database.h"
#include "dbaccess/Exceptions.h"
#include "migration/DaoSource.h"
#include "migration/MigrationRun.h"
#include "migration/OdbcTarget.h"
#include "migration/RunSettings.h"
#include "migration/StatementWriter.h"

namespace {

constexpr const char kUsage[] =
    "usage: brimlow-migrate [--target CONNECTION-STRING] FILE.mdb\n"
    "       brimlow-migrate --sql FILE.mdb\n"
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
    "  --help                      show this text\n"
    "  --version                   show the version\n"
    "\n"
    "The target, in this order: --target; else the ODBC data source Pomvale01, when\n"
    "unixODBC knows one (~/.odbc.ini, $ODBCINI, /etc/odbc.ini; odbcinst -q -s); else the\n"
    "built-in connection string, whose driver name \"SQL Server\" is the system's when a\n"
    "driver list registers it, and otherwise means the SQLite file\n"
    "$XDG_DATA_HOME/brimlow/Pomvale01 (~/.local/share/brimlow/Pomvale01), created with\n"
    "the eight tables on first use. See brimlow-migrate(1).\n";

struct Options {
    std::string path;
    std::string target = kTargetConnection;
    bool bSqlOnly = false;
};

// Parses the arguments; nullopt after a usage error has been reported.
std::optional<Options> ParseArguments(const std::vector<std::string>& args) {
    Options options;
    bool bTargetGiven = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg == "--sql") {
            options.bSqlOnly = true;
        } else if (arg == "--target") {
            if (i + 1 == args.size()) {
                std::fputs("brimlow-migrate: --target needs a connection string\n", stderr);
                return std::nullopt;
            }
            options.target = args[++i];
            bTargetGiven = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "brimlow-migrate: unknown option %s\n", arg.c_str());
            return std::nullopt;
        } else {
            files.push_back(arg);
        }
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

// Prints each log line as soon as it is appended.
class CPrintedLog final : public IRunObserver {
public:
    explicit CPrintedLog(std::FILE* out) : m_out(out) {}
    void AppendLog(const std::string& line) override {
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
    }

private:
    std::FILE* m_out;
};

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using StatementOutput = std::unique_ptr<std::FILE, FileCloser>;

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
    return StatementOutput(out);
}

int Migrate(const Options& options) {
    CDaoWorkspace workspace;
    CDaoDatabase sourceDb;
    CDatabase targetDb;
    CDaoSource source(workspace, sourceDb);

    if (options.bSqlOnly) {
        StatementOutput out = OpenStatementOutput();
        CStatementWriter writer(out.get());
        CPrintedLog log(stderr);
        CMigrationRun(source, writer, log).Run([&] { return options.path; }, options.target);
        const bool bFailed = std::ferror(out.get()) != 0;
        if (std::fclose(out.release()) != 0 || bFailed) {
            throw CException("Cannot write the statements to standard output.");
        }
    } else {
        COdbcTarget target(targetDb);
        CPrintedLog log(stdout);
        CMigrationRun(source, target, log).Run([&] { return options.path; }, options.target);
    }
    return 0;
}

void ReportFailure(const std::string& message) {
    const std::string text = message.empty() ? "Internal application error." : message;
    std::fprintf(stderr, "%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
}

}  // namespace

int main(int argc, char** argv) {
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
    const std::optional<Options> options = ParseArguments(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        return Migrate(*options);
    } catch (const CException& e) {
        ReportFailure(e.GetErrorMessage());
    } catch (const std::bad_alloc&) {
        ReportFailure(CMemoryException().GetErrorMessage());
    } catch (const std::exception& e) {
        ReportFailure(e.what());
    }
    return 1;
}
