#include "tests/support/TdsServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Paths.h"

extern char** environ;

namespace testtarget {

namespace {

// The login of the data source the server starts with.
constexpr const char kUser[] = "brimlow";
constexpr const char kPassword[] = "Pw-s3cret-4711";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The handles of one query's connection, freed in reverse order.
struct OdbcHandles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;

    OdbcHandles() = default;
    OdbcHandles(const OdbcHandles&) = delete;
    OdbcHandles& operator=(const OdbcHandles&) = delete;
    ~OdbcHandles() {
        if (stmt != SQL_NULL_HSTMT) {
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        }
        if (connected) {
            SQLDisconnect(dbc);
        }
        if (dbc != SQL_NULL_HDBC) {
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, env);
        }
    }

    // Throws the diagnostics of handle when result is a failure.
    void Check(SQLRETURN result, SQLSMALLINT type, SQLHANDLE handle, const char* what) const {
        if (SQL_SUCCEEDED(result)) {
            return;
        }
        std::string message = std::string(what) + " failed:";
        SQLCHAR state[6];
        SQLCHAR text[1024];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text,
                                              &length) == SQL_SUCCESS;
             ++i) {
            message += std::string(" ") + reinterpret_cast<char*>(state) + " " +
                       reinterpret_cast<char*>(text);
        }
        throw std::runtime_error(message);
    }
};

// The value of column in the current row as text (SQL_C_CHAR, read in pieces), or NULL.
std::optional<std::string> TextValue(const OdbcHandles& odbc, SQLUSMALLINT column) {
    std::string value;
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result =
            SQLGetData(odbc.stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (result == SQL_NO_DATA) {
            return value;
        }
        odbc.Check(result, SQL_HANDLE_STMT, odbc.stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        if (result == SQL_SUCCESS) {
            return value + buffer;
        }
        value += buffer;  // truncated: the rest follows in the next call
    }
}

std::optional<std::string> TimestampValue(const OdbcHandles& odbc, SQLUSMALLINT column) {
    SQL_TIMESTAMP_STRUCT stamp{};
    SQLLEN indicator = 0;
    odbc.Check(
        SQLGetData(odbc.stmt, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator),
        SQL_HANDLE_STMT, odbc.stmt, "SQLGetData");
    if (indicator == SQL_NULL_DATA) {
        return std::nullopt;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%d/%02u/%02u %02u:%02u:%02u", stamp.year, stamp.month,
                  stamp.day, stamp.hour, stamp.minute, stamp.second);
    return std::string(text);
}

}  // namespace

TdsServer::TdsServer(const std::vector<std::string>& options) : m_folder(m_dir.Path().string()) {
    std::vector<std::string> argv{
        "python3",     testpaths::Source("tests/support/tds_server.py").string(),
        "--port",      "0",
        "--port-file", m_folder + "/port",
        "--record",    m_folder + "/record.jsonl",
        "--state",     m_folder + "/state.json"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<char*> args;
    for (std::string& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    // Its stdout says where it listens: the port file says it too.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&m_pid, "python3", &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("python3 cannot be started for the TDS test server");
    }
    // The server writes the port it listens on once it listens.
    for (int i = 0; i < 200 && !std::filesystem::exists(m_dir / "port"); ++i) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the TDS test server ended at its start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_nPort = std::stoi("0" + ReadFile(m_dir / "port"));
    if (m_nPort == 0) {
        throw std::runtime_error("the TDS test server did not start listening");
    }
    std::ofstream(m_dir / "freetds.conf")
        << "[brimlowtest]\n\thost = 127.0.0.1\n\tport = " << m_nPort
        << "\n\ttds version = 7.4\n\tencryption = off\n";
    DefineDataSource(std::string("UID=") + kUser + "\nPWD=" + kPassword + "\n");
}

TdsServer::~TdsServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

bool TdsServer::DriverInstalled() {
    return std::filesystem::exists(Driver());
}

void TdsServer::DefineDataSource(const std::string& extraLines) const {
    std::ofstream(m_dir / "odbc.ini")
        << "[Pomvale01]\nDriver=" << Driver() << "\nServername=brimlowtest\nDatabase=Pomvale01\n"
        << extraLines;
}

std::vector<std::string> TdsServer::MigrateCommand(
    const std::vector<std::string>& arguments, const std::vector<std::string>& environment) const {
    std::vector<std::string> argv{"env", "FREETDSCONF=" + m_folder + "/freetds.conf",
                                  "ODBCINI=" + m_folder + "/odbc.ini"};
    argv.insert(argv.end(), environment.begin(), environment.end());
    argv.push_back(testpaths::Build("brimlow-migrate").string());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

std::vector<JsonValue> TdsServer::Records() const {
    std::vector<JsonValue> records;
    std::istringstream lines(ReadFile(m_dir / "record.jsonl"));
    for (std::string line; std::getline(lines, line);) {
        records.push_back(ParseJson(line));
    }
    return records;
}

std::vector<std::string> TdsServer::Batches() const {
    std::vector<std::string> batches;
    for (const JsonValue& record : Records()) {
        if (record["kind"].text == "batch") {
            batches.push_back(record["text"].text);
        }
    }
    return batches;
}

std::map<std::string, std::vector<std::string>> TdsServer::Committed() const {
    std::map<std::string, std::vector<std::string>> tables;
    if (!std::filesystem::exists(m_dir / "state.json")) {
        return tables;
    }
    for (const auto& [table, rows] : ParseJson(ReadFile(m_dir / "state.json")).members) {
        std::vector<std::string>& kept = tables[table];  // a table emptied stays
        for (const JsonValue& row : rows.items) {
            kept.push_back(row.text);
        }
    }
    return tables;
}

std::string TdsServer::ConnectString() const {
    return std::string("Driver=") + Driver() + ";Server=127.0.0.1;Port=" + std::to_string(m_nPort) +
           ";TDS_Version=7.4;Database=Pomvale01;UID=" + kUser + ";PWD=" + kPassword +
           ";ClientCharset=UTF-8";
}

TdsServer::Result TdsServer::Query(const std::string& query, std::size_t maxRows) const {
    OdbcHandles odbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &odbc.env);
    SQLSetEnvAttr(odbc.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, odbc.env, &odbc.dbc);
    const std::string connect = ConnectString();
    odbc.Check(SQLDriverConnect(odbc.dbc, nullptr,
                                reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                                SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
               SQL_HANDLE_DBC, odbc.dbc, "SQLDriverConnect");
    odbc.connected = true;
    SQLAllocHandle(SQL_HANDLE_STMT, odbc.dbc, &odbc.stmt);
    odbc.Check(SQLExecDirect(odbc.stmt,
                             reinterpret_cast<SQLCHAR*>(const_cast<char*>(query.c_str())), SQL_NTS),
               SQL_HANDLE_STMT, odbc.stmt, "SQLExecDirect");
    SQLSMALLINT columns = 0;
    SQLNumResultCols(odbc.stmt, &columns);
    Result result;
    for (SQLUSMALLINT i = 1; i <= columns; ++i) {
        SQLCHAR name[256];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        odbc.Check(SQLDescribeCol(odbc.stmt, i, name, sizeof name, &nameLength, &type, &size,
                                  &digits, &nullable),
                   SQL_HANDLE_STMT, odbc.stmt, "SQLDescribeCol");
        result.types.push_back(type);
    }
    while (result.rows.size() < maxRows) {
        const SQLRETURN fetched = SQLFetch(odbc.stmt);
        if (fetched == SQL_NO_DATA) {
            break;
        }
        odbc.Check(fetched, SQL_HANDLE_STMT, odbc.stmt, "SQLFetch");
        Row row;
        for (SQLUSMALLINT i = 1; i <= columns; ++i) {
            row.push_back(result.types[i - 1] == SQL_TYPE_TIMESTAMP ? TimestampValue(odbc, i)
                                                                    : TextValue(odbc, i));
        }
        result.rows.push_back(std::move(row));
    }
    odbc.Check(SQLFreeStmt(odbc.stmt, SQL_CLOSE), SQL_HANDLE_STMT, odbc.stmt, "SQLFreeStmt");
    return result;
}

}  // namespace testtarget
