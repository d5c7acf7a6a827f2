#include "tests/support/PostgresServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"

namespace testtarget {

namespace {

// The programs themselves: /usr/bin/psql is a Perl wrapper that costs 0.1 s per call.
const std::string kBin = "/usr/lib/postgresql/15/bin/";
const std::string kSchemaTemplate = "brimlow_schema_template";

// A port that was free a moment ago: the kernel's pick for a socket bound to port 0.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!ok) {
        throw std::runtime_error("cannot find a free port");
    }
    return ntohs(address.sin_port);
}

// Runs a PostgreSQL program as user postgres; root may not run initdb or the server.
testsupport::CommandResult RunAsPostgres(std::vector<std::string> argv,
                                         const std::filesystem::path& workdir) {
    argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
    return testsupport::RunCommand(argv, {}, workdir);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The server of a test process that was killed (Ctrl-C, a ctest timeout) outlives it. Each
// server's folder names the process that owns it; servers whose owner is gone are stopped
// and their folders removed before a new one starts.
constexpr const char* kFolderPrefix = "brimlow-pg-";
constexpr const char* kOwnerFile = "owner.pid";

bool ProcessExists(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

void RemoveOrphanedServers() {
    const std::filesystem::path tmp = testsupport::TempBase();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tmp, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0) {
            continue;
        }
        std::ifstream ownerFile(entry.path() / kOwnerFile);
        pid_t owner = 0;
        if (!(ownerFile >> owner) || ProcessExists(owner)) {
            continue;
        }
        if (std::filesystem::exists(entry.path() / "data" / "postmaster.pid")) {
            RunAsPostgres({kBin + "pg_ctl", "-D", (entry.path() / "data").string(), "-m",
                           "immediate", "-w", "stop"},
                          tmp);
        }
        std::filesystem::remove_all(entry.path(), error);
    }
}

}  // namespace

PostgresServer& PostgresServer::Get() {
    static PostgresServer server;
    return server;
}

std::unique_ptr<PostgresServer> PostgresServer::StartPrivate() {
    return std::unique_ptr<PostgresServer>(new PostgresServer);
}

void PostgresServer::StopImmediately() {
    const auto stop = RunAsPostgres(
        {kBin + "pg_ctl", "-D", (*m_dir / "data").string(), "-m", "immediate", "-w", "stop"},
        m_dir->Path());
    if (stop.exitCode != 0) {
        throw std::runtime_error("pg_ctl stop failed:\n" + stop.out + stop.err);
    }
    m_bRunning = false;
}

PostgresServer::PostgresServer() {
    // The server is reached through psqlODBC, like any ODBC target of these tests.
    UseProjectOdbcinst();
    Start();
}

PostgresServer::~PostgresServer() {
    Stop();
}

void PostgresServer::Start() {
    RemoveOrphanedServers();
    m_dir = std::make_unique<testsupport::TempDirectory>("brimlow-pg");
    std::ofstream(*m_dir / kOwnerFile) << ::getpid() << '\n';
    const passwd* postgres = ::getpwnam("postgres");
    if (postgres == nullptr) {
        throw std::runtime_error("no user postgres: install the Debian package postgresql");
    }
    if (::chown(m_dir->Path().c_str(), postgres->pw_uid, postgres->pw_gid) != 0) {
        throw std::runtime_error("cannot give " + m_dir->Path().string() + " to postgres");
    }
    const std::string data = (*m_dir / "data").string();
    const std::string log = (*m_dir / "server.log").string();

    auto initdb = RunAsPostgres({kBin + "initdb", "-D", data, "-U", "postgres", "-A", "trust", "-E",
                                 "UTF8", "--locale=C.UTF-8", "--no-sync"},
                                m_dir->Path());
    if (initdb.exitCode != 0) {
        throw std::runtime_error("initdb failed:\n" + initdb.out + initdb.err);
    }
    // Another process may take the chosen port before the server binds it: try a few.
    std::string failures;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_nPort = FreePort();
        // Durability is of no use to a server that is thrown away; without it creating
        // databases and committing rows is several times faster.
        const std::string options = "-p " + std::to_string(m_nPort) + " -k " +
                                    m_dir->Path().string() +
                                    " -c listen_addresses=127.0.0.1 -c fsync=off"
                                    " -c full_page_writes=off -c wal_level=minimal"
                                    " -c max_wal_senders=0";
        auto start = RunAsPostgres(
            {kBin + "pg_ctl", "-D", data, "-l", log, "-w", "-t", "60", "-o", options, "start"},
            m_dir->Path());
        if (start.exitCode == 0) {
            m_bRunning = true;
            return;
        }
        failures += start.out + start.err;
    }
    const std::string serverLog = ReadFile(log);
    m_dir.reset();
    throw std::runtime_error("PostgreSQL did not start:\n" + failures + serverLog);
}

void PostgresServer::Stop() noexcept {
    if (m_bRunning) {
        try {
            RunAsPostgres(
                {kBin + "pg_ctl", "-D", (*m_dir / "data").string(), "-m", "fast", "-w", "stop"},
                m_dir->Path());
        } catch (...) {
            // Nothing more can be done at exit; the folder is removed below regardless.
        }
        m_bRunning = false;
    }
    m_dir.reset();
}

std::string PostgresServer::ConnectionString(const std::string& database) const {
    return "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=127.0.0.1;Port=" +
           std::to_string(m_nPort) + ";Database=" + database + ";Uid=postgres";
}

std::string PostgresServer::Psql(const std::string& database, const std::string& sql) const {
    const std::string fieldSeparator = kFieldSeparator;
    const std::string rowSeparator = kRowSeparator;
    const std::string nullMarker = kNullMarker;
    auto result = testsupport::RunCommand({"psql",
                                           "-X",
                                           "-q",
                                           "-A",
                                           "-t",
                                           "-v",
                                           "ON_ERROR_STOP=1",
                                           "-h",
                                           "127.0.0.1",
                                           "-p",
                                           std::to_string(m_nPort),
                                           "-U",
                                           "postgres",
                                           "-d",
                                           database,
                                           "-F",
                                           fieldSeparator,
                                           "-R",
                                           rowSeparator,
                                           "-P",
                                           "null=" + nullMarker,
                                           "-f",
                                           "-"},
                                          sql);
    if (result.exitCode != 0) {
        throw std::runtime_error("psql failed in database " + database + ":\n" + result.err);
    }
    return result.out;
}

void PostgresServer::Execute(const std::string& database, const std::string& sql) const {
    Psql(database, sql);
}

Rows PostgresServer::Query(const std::string& database, const std::string& sql) const {
    return ParseClientRows(Psql(database, sql));
}

void PostgresServer::CreateDatabase(const std::string& database, bool withSchema) {
    // Copying a template that already holds the tables is quicker than running the DDL
    // in every new database; file_copy is the quicker strategy with wal_level=minimal.
    if (withSchema && !m_bSchemaTemplate) {
        Execute("postgres", "drop database if exists " + kSchemaTemplate + ";\ncreate database " +
                                kSchemaTemplate + ";\n");
        Execute(kSchemaTemplate, ReadFile(testpaths::Source("schema/postgresql.sql")));
        m_bSchemaTemplate = true;
    }
    Execute("postgres", "drop database if exists " + database + ";\ncreate database " + database +
                            " template " +
                            (withSchema ? kSchemaTemplate : std::string("template0")) +
                            " strategy file_copy;\n");
}

std::string PostgresServer::CreateFreshDatabase(const std::string& prefix, bool withSchema) {
    const std::string database = prefix + "_" + std::to_string(++m_nDatabases);
    CreateDatabase(database, withSchema);
    return database;
}

}  // namespace testtarget
