#include "migration/target/SqliteLoad.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <utility>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/CountText.h"
#include "migration/RunWatch.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/TargetFileIdentity.h"
#include "migration/target/WatchedCall.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// The driver's lock wait when the string and its data source give no Timeout=, and the most it
// takes (milliseconds).
constexpr long kDriverDefaultTimeout = 100000;
constexpr long kDriverMaxTimeout = 1000000;

// How long the busy wait sleeps between two tries, as the driver's.
constexpr std::chrono::milliseconds kBusyStep{10};

// The driver's settings that change how its connection writes, as it reads them.
struct CDriverSettings {
    long timeoutMs = kDriverDefaultTimeout;
    std::string synchronous = "NORMAL";
    std::string journalMode;  // empty: the file's own
    bool foreignKeys = false;
};

// The driver's reading of a yes/no attribute: true when it starts with Y, T or a digit 1-9.
bool DriverBool(const std::string& value) {
    return !value.empty() && std::string_view("Yy123456789Tt").find(value[0]) != std::string::npos;
}

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed) {
    const std::string lower = AsciiLower(value);
    for (const char* candidate : allowed) {
        if (lower == candidate) {
            return true;
        }
    }
    return false;
}

CBulkUnusable Unusable(CBulkUnusable::Reason reason, std::string attribute, std::string why) {
    CBulkUnusable unusable;
    unusable.path = "bound";
    unusable.reason = reason;
    unusable.attribute = std::move(attribute);
    unusable.why = std::move(why);
    return unusable;
}

// The settings of connect (the string's value, else its data source's, the string's first
// value where it gives one twice, as the driver reads them); false, with whyNot, when the
// string asks for what a connection of the SQLite library alone would not do alike.
bool MirrorDriverSettings(const std::string& connect, CDriverSettings& settings,
                          CBulkUnusable& whyNot) {
    const CConnectionAttributes attributes = ParseConnectionString(connect);
    const std::string dsn = ConnectionAttribute(attributes, "dsn");
    const auto value = [&](const char* key) {
        const std::string own = ConnectionAttribute(attributes, AsciiLower(key));
        if (!own.empty() || dsn.empty()) {
            return own;
        }
        return DataSourceValue(dsn, key);
    };
    // Extensions loaded into the driver's connection may define functions, collations or
    // virtual tables that the tables' triggers and constraints use; a password is for a build
    // of SQLite that encrypts.
    for (const char* key : {"LoadExt", "PWD"}) {
        if (!value(key).empty()) {
            whyNot = Unusable(CBulkUnusable::Reason::FileSetting, key,
                              TrFormat("the connection string or its data source sets %1, which "
                                       "a connection of the SQLite library alone cannot mirror",
                                       {key}));
            return false;
        }
    }
    if (const std::string timeout = value("Timeout"); !timeout.empty()) {
        char* end = nullptr;
        const long ms = std::strtol(timeout.c_str(), &end, 0);
        if (end != nullptr && *end == '\0' && end != timeout.c_str()) {
            settings.timeoutMs = ms;
        }
        if (settings.timeoutMs < 1 || settings.timeoutMs > kDriverMaxTimeout) {
            settings.timeoutMs = kDriverMaxTimeout;
        }
    }
    // The driver writes the first 8 (16) characters into its pragma unchecked; only the values
    // SQLite knows are taken here.
    if (const std::string sync = value("SyncPragma"); !sync.empty()) {
        if (!OneOf(sync, {"off", "normal", "full", "extra", "0", "1", "2", "3"})) {
            whyNot = Unusable(
                CBulkUnusable::Reason::FileSetting, "SyncPragma",
                TrFormat("its SyncPragma=%1 is not a synchronous setting of SQLite", {sync}));
            return false;
        }
        settings.synchronous = sync;
    }
    if (const std::string journal = value("JournalMode"); !journal.empty()) {
        if (!OneOf(journal, {"delete", "truncate", "persist", "memory", "wal", "off"})) {
            whyNot =
                Unusable(CBulkUnusable::Reason::FileSetting, "JournalMode",
                         TrFormat("its JournalMode=%1 is not a journal mode of SQLite", {journal}));
            return false;
        }
        settings.journalMode = journal;
    }
    settings.foreignKeys = DriverBool(value("FKSupport"));
    return true;
}

}  // namespace

CSqliteLoad::CSqliteLoad(sqlite3* db, const std::string& file) : m_db(db), m_strFile(file) {
    m_cancel = [this] {
        m_bCancel = true;
        sqlite3_interrupt(m_db);
    };
}

CSqliteLoad::~CSqliteLoad() {
    Close();
}

std::unique_ptr<CSqliteLoad> CSqliteLoad::Open(const std::string& file, const std::string& connect,
                                               const CTargetFileIdentity& identity,
                                               CBulkUnusable& whyNot) {
    CDriverSettings settings;
    if (!MirrorDriverSettings(connect, settings, whyNot)) {
        return nullptr;
    }
    struct stat info {};
    if (!identity.Taken() || lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        whyNot = Unusable(
            CBulkUnusable::Reason::File, "",
            TrFormat("the target file %1 is not a regular file (a symbolic link, say)", {file}));
        return nullptr;
    }
    // The path must still name the file the driver opened, before and after this open (which
    // follows no link): the rows go into that file or nowhere.
    identity.Verify();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(
        file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
        nullptr);
    if (rc != SQLITE_OK) {
        whyNot = Unusable(CBulkUnusable::Reason::File, "",
                          TrFormat("SQLite could not open %1: %2",
                                   {file, db != nullptr ? sqlite3_errmsg(db) : "out of memory"}));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<CSqliteLoad> load(new CSqliteLoad(db, file));
    identity.Verify();
    // The driver waits for a busy file twice its Timeout= in all (it retries the statement
    // once its own wait ran out): the same wait here, in one.
    load->m_busyWait = std::chrono::milliseconds(2 * settings.timeoutMs);
    sqlite3_busy_handler(db, &CSqliteLoad::OnBusy, load.get());
    // As the driver does at connect; like it, a setting SQLite refuses is left as it is.
    sqlite3_exec(db, ("PRAGMA synchronous = " + settings.synchronous + ";").c_str(), nullptr,
                 nullptr, nullptr);
    if (!settings.journalMode.empty()) {
        sqlite3_exec(db, ("PRAGMA journal_mode = " + settings.journalMode + ";").c_str(), nullptr,
                     nullptr, nullptr);
    }
    sqlite3_exec(db,
                 settings.foreignKeys ? "PRAGMA foreign_keys = on;" : "PRAGMA foreign_keys = off;",
                 nullptr, nullptr, nullptr);
    return load;
}

int CSqliteLoad::OnBusy(void* self, int count) {
    CSqliteLoad& load = *static_cast<CSqliteLoad*>(self);
    if (load.m_bCancel || (load.m_watch && load.m_watch->IsStopRequested())) {
        return 0;
    }
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        load.m_busySince = now;
    }
    if (now - load.m_busySince >= load.m_busyWait) {
        return 0;
    }
    std::this_thread::sleep_for(kBusyStep);
    return 1;
}

void CSqliteLoad::Watched(const std::function<void()>& work, UnknownOutcome ifGivenUp) {
    m_bCancel = false;
    RunWatchedCall(m_watch.get(), m_cancel, m_abandon, ifGivenUp, work);
}

CDBException CSqliteLoad::Failure(const std::string& rows) const {
    CDiagnosticRecord record;
    record.state = "HY000";
    record.native = sqlite3_errcode(m_db);
    record.message = std::string(sqlite3_errmsg(m_db)) + " (" + std::to_string(record.native) + ")";
    return CDBException(rows.empty()
                            ? record.message
                            : TrFormat("The target refused %1: %2", {rows, record.message}),
                        {record});
}

void CSqliteLoad::ThrowIfStopped() const {
    if (m_watch && m_watch->IsStopRequested()) {
        throw CRunStopped();
    }
}

void CSqliteLoad::Execute(const std::string& statement) {
    Watched(
        [this, &statement] {
            if (sqlite3_exec(m_db, statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                throw Failure("");
            }
        },
        UnknownOutcome::None);
}

void CSqliteLoad::Begin(const std::vector<std::string>& statements) {
    // The write lock at once: a transaction that read first would be refused at once in WAL
    // mode, instead of waiting, when another writer holds the file.
    Execute("BEGIN IMMEDIATE");
    for (const std::string& statement : statements) {
        Execute(statement);
    }
}

void CSqliteLoad::AddRow(const CInsertItemList& row) {
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
    if (m_pInsert == nullptr || row.m_strTable != m_strTable) {
        EndTable();
        std::string statement = "insert into " + row.m_strTable + "(";
        for (std::size_t i = 0; i < row.m_items.size(); ++i) {
            statement += (i ? "," : "") + row.m_items[i].m_strColumn;
        }
        statement += ") values (";
        for (std::size_t i = 0; i < row.m_items.size(); ++i) {
            statement += i ? ",?" : "?";
        }
        statement += ")";
        if (sqlite3_prepare_v2(m_db, statement.c_str(), static_cast<int>(statement.size()),
                               &m_pInsert, nullptr) != SQLITE_OK) {
            m_failure = std::make_exception_ptr(Failure(row.m_strTable + " row 1"));
            std::rethrow_exception(m_failure);
        }
        m_strTable = row.m_strTable;
        m_nRows = 0;
    }
    ++m_nRows;
    const std::size_t columns = row.m_items.size();
    for (std::size_t i = 0; i < columns; ++i) {
        const CInsertItem& item = row.m_items[i];
        const int index = static_cast<int>(i + 1);
        switch (item.m_nKind) {
            case COLKIND_TEXT:
            case COLKIND_DATETIME:
                // A quoted literal: text, whatever the column's affinity then makes of it.
                sqlite3_bind_text(m_pInsert, index, item.m_strValue.data(),
                                  static_cast<int>(item.m_strValue.size()), SQLITE_STATIC);
                break;
            case COLKIND_NULL:
                sqlite3_bind_null(m_pInsert, index);
                break;
            default: {
                // An unquoted decimal literal: an integer.
                std::int64_t number = 0;
                const char* first = item.m_strValue.data();
                const char* last = first + item.m_strValue.size();
                const auto parsed = std::from_chars(first, last, number);
                if (parsed.ec != std::errc() || parsed.ptr != last) {
                    sqlite3_reset(m_pInsert);
                    m_failure = std::make_exception_ptr(CDBException(TrFormat(
                        "The target refused %1: %2 is not an integer",
                        {m_strTable + " row " + std::to_string(m_nRows), item.m_strValue})));
                    std::rethrow_exception(m_failure);
                }
                sqlite3_bind_int64(m_pInsert, index, number);
            }
        }
    }
    const int rc = sqlite3_step(m_pInsert);
    if (rc != SQLITE_DONE) {
        // The step's own failure, before the reset repeats it.
        const CDBException failure = Failure(m_strTable + " row " + std::to_string(m_nRows));
        sqlite3_reset(m_pInsert);
        if ((rc == SQLITE_BUSY || rc == SQLITE_INTERRUPT) && m_watch &&
            m_watch->IsStopRequested()) {
            throw CRunStopped();
        }
        m_failure = std::make_exception_ptr(failure);
        std::rethrow_exception(m_failure);
    }
    sqlite3_reset(m_pInsert);
    if (sqlite3_changes(m_db) != 1) {
        m_failure = std::make_exception_ptr(CDBException(
            TrFormat("The target accepted row %1 of %2 without storing it: a trigger or a "
                     "rule on the table discarded it.",
                     {GroupThousands(m_nRows), m_strTable}) +
            "\n"));
        std::rethrow_exception(m_failure);
    }
}

void CSqliteLoad::FinishStatement() noexcept {
    sqlite3_finalize(m_pInsert);
    m_pInsert = nullptr;
    m_strTable.clear();
    m_nRows = 0;
}

void CSqliteLoad::EndTable() {
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
    FinishStatement();
}

void CSqliteLoad::Commit() {
    EndTable();
    try {
        Execute("COMMIT");
    } catch (const CRunStopped&) {
        // A stop that ended the commit's wait for a lock: SQLite did not commit.
        throw CRunStopped();
    }
    m_bCommitted = true;
}

std::size_t CSqliteLoad::CountRows(const std::string& table) {
    std::size_t rows = 0;
    Watched(
        [this, &table, &rows] {
            sqlite3_stmt* count = nullptr;
            const std::string query = "select count(*) from " + table;
            if (sqlite3_prepare_v2(m_db, query.c_str(), -1, &count, nullptr) != SQLITE_OK) {
                throw Failure("");
            }
            const int rc = sqlite3_step(count);
            if (rc != SQLITE_ROW) {
                const CDBException failure = Failure("");
                sqlite3_finalize(count);
                throw failure;
            }
            rows = static_cast<std::size_t>(sqlite3_column_int64(count, 0));
            sqlite3_finalize(count);
        },
        UnknownOutcome::None);
    return rows;
}

std::vector<bool> CSqliteLoad::ReadBackPadding(const std::string& table,
                                               const std::vector<std::string>& columns) {
    std::string query = "select ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        query += (i ? ", " : "") + columns[i];
    }
    query += " from " + table + " where 1=0";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, query.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        throw Failure("");
    }
    sqlite3_finalize(statement);
    return std::vector<bool>(columns.size(), false);
}

void CSqliteLoad::Close() noexcept {
    if (m_db == nullptr) {
        return;
    }
    FinishStatement();
    // Closing with a transaction open rolls it back.
    if (!sqlite3_get_autocommit(m_db)) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}
