#include "migration/target/SqliteFileReadBack.h"

#include <sqlite3.h>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/target/TargetResolution.h"

namespace {

class CSqliteFileReader final : public ITableReader {
public:
    CSqliteFileReader(const std::string& file, const std::string& table,
                      const std::vector<std::string>& columns, std::function<bool()> stop)
        : m_strFile(file), m_nColumns(columns.size()), m_stop(std::move(stop)) {
        if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            Fail();
        }
        // A writer holding the file (there should be none: the run lock is held) is waited for
        // as long as a run waits for the file's lock.
        sqlite3_busy_timeout(m_db, static_cast<int>(kEmbeddedLockWaitSeconds * 1000));
        std::string query = "select ";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            query += (i == 0 ? "" : ", ") + columns[i];
        }
        query += " from " + table;
        if (sqlite3_prepare_v2(m_db, query.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
            Fail();
        }
    }
    ~CSqliteFileReader() override {
        sqlite3_finalize(m_stmt);
        sqlite3_close(m_db);
    }
    CSqliteFileReader(const CSqliteFileReader&) = delete;
    CSqliteFileReader& operator=(const CSqliteFileReader&) = delete;

    bool Next() override {
        if ((++m_nRows & 1023u) == 0 && m_stop && m_stop()) {
            throw CRunStopped();
        }
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            Fail();
        }
        return false;
    }
    CReadValue Value(std::size_t index) const override {
        const int column = static_cast<int>(index);
        if (index >= m_nColumns || sqlite3_column_type(m_stmt, column) == SQLITE_NULL) {
            return {};
        }
        // The text first, then its length in bytes, as SQLite asks.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        const int bytes = sqlite3_column_bytes(m_stmt, column);
        return {text != nullptr ? text : "", static_cast<std::size_t>(bytes), false};
    }

private:
    [[noreturn]] void Fail() const {
        throw CDBException(TrFormat("The target file %1 cannot be read back: %2",
                                    {m_strFile, m_db ? sqlite3_errmsg(m_db) : "out of memory"}));
    }

    std::string m_strFile;
    std::size_t m_nColumns;
    std::function<bool()> m_stop;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    unsigned m_nRows = 0;
};

}  // namespace

std::unique_ptr<ITableReader> ReadSqliteFileBack(const std::string& file, const std::string& table,
                                                 const std::vector<std::string>& columns,
                                                 std::function<bool()> stopRequested) {
    return std::make_unique<CSqliteFileReader>(file, table, columns, std::move(stopRequested));
}
