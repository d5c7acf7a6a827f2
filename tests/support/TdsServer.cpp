#include "tests/support/TdsServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Paths.h"

extern char** environ;

namespace testtarget {

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
    DefineDataSource("UID=brimlow\nPWD=Pw-s3cret-4711\n");
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

}  // namespace testtarget
