#include "tests/support/SqliteTarget.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"

namespace testtarget {

void UseProjectOdbcinst() {
    ::setenv("ODBCSYSINI", testpaths::Source("odbc").c_str(), 1);
}

namespace {

// Before main, hence before any test's first ODBC call: see UseProjectOdbcinst.
[[maybe_unused]] const bool kOdbcinstChosen = (UseProjectOdbcinst(), true);

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

SqliteTarget::SqliteTarget(bool withSchema) : m_file(m_dir / "Pomvale01") {
    UseProjectOdbcinst();
    if (withSchema) {
        // One transaction: one sync instead of one per table.
        Execute("begin;\n" + ReadFile(testpaths::Source("schema/sqlite.sql")) +
                "commit;\npragma journal_mode=wal;\n");
    }
}

std::string SqliteTarget::ConnectionString() const {
    return "Driver={SQL Server};Database=" + m_file.string();
}

std::string SqliteTarget::Sqlite3(const std::string& sql) const {
    const std::string fieldSeparator = kFieldSeparator;
    const std::string rowSeparator = kRowSeparator;
    const std::string nullMarker = kNullMarker;
    auto result = testsupport::RunCommand(
        {"sqlite3", "-batch", "-bail", "-noheader", "-list", "-separator", fieldSeparator,
         "-newline", rowSeparator, "-nullvalue", nullMarker, m_file.string()},
        sql);
    if (result.exitCode != 0) {
        throw std::runtime_error("sqlite3 failed on " + m_file.string() + ":\n" + result.err);
    }
    return result.out;
}

void SqliteTarget::Execute(const std::string& sql) const {
    Sqlite3(sql);
}

std::ofstream SqliteTarget::HoldWriteLock(const std::filesystem::path& fifo) const {
    if (mkfifo(fifo.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make the FIFO " + fifo.string());
    }
    const std::string holder =
        "sqlite3 '" + m_file.string() + "' < '" + fifo.string() + "' >/dev/null &";
    if (std::system(holder.c_str()) != 0) {
        throw std::runtime_error("cannot start " + holder);
    }
    std::ofstream holding(fifo);
    holding << "begin exclusive;\nselect 1;\n" << std::flush;
    return holding;
}

size_t SqliteTarget::Count(const std::string& table) const {
    return std::stoul(*Query("select count(*) from " + table + ";").at(0).at(0));
}

Rows SqliteTarget::Query(const std::string& sql) const {
    return ParseClientRows(Sqlite3(sql));
}

}  // namespace testtarget
