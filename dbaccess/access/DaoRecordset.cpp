#include "dbaccess/access/DaoRecordset.h"

#include <cctype>
#include <optional>
#include <vector>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/libmdb/MdbTableReader.h"

namespace {

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Consumes one keyword (any letter case) followed by at least one blank.
bool TakeKeyword(std::string_view& sql, std::string_view keyword) {
    if (sql.size() <= keyword.size()) {
        return false;
    }
    for (size_t i = 0; i < keyword.size(); ++i) {
        if (AsciiLower(sql[i]) != keyword[i]) {
            return false;
        }
    }
    if (!IsBlank(sql[keyword.size()])) {
        return false;
    }
    sql.remove_prefix(keyword.size());
    while (!sql.empty() && IsBlank(sql.front())) {
        sql.remove_prefix(1);
    }
    return true;
}

// The table of "select * from <table>": keywords in any letter case, blanks between them, the
// name bare or in [brackets], an optional ";" at the end. Anything else is not supported.
std::optional<std::string> TableOfQuery(std::string_view sql) {
    while (!sql.empty() && IsBlank(sql.front())) {
        sql.remove_prefix(1);
    }
    while (!sql.empty() && (IsBlank(sql.back()) || sql.back() == ';')) {
        sql.remove_suffix(1);
    }
    if (!TakeKeyword(sql, "select")) {
        return std::nullopt;
    }
    if (sql.empty() || sql.front() != '*') {
        return std::nullopt;
    }
    sql.remove_prefix(1);
    while (!sql.empty() && IsBlank(sql.front())) {
        sql.remove_prefix(1);
    }
    if (!TakeKeyword(sql, "from") || sql.empty()) {
        return std::nullopt;
    }
    if (sql.front() == '[') {
        if (sql.size() < 3 || sql.back() != ']' ||
            sql.substr(1, sql.size() - 2).find(']') != std::string_view::npos) {
            return std::nullopt;
        }
        return std::string(sql.substr(1, sql.size() - 2));
    }
    for (char c : sql) {
        if (IsBlank(c) || c == '[' || c == ']' || c == ';' || c == ',') {
            return std::nullopt;
        }
    }
    return std::string(sql);
}

CDaoMessage NoCurrentRecord(const std::string& table, const std::string& path) {
    return CDaoMessage() << "No current record in the table '" << SourceTable(table)
                         << "' of the database '" << SourceFile(path) << "'.";
}

}  // namespace

struct CDaoRecordset::Impl {
    explicit Impl(MdbDatabase& file, const std::string& table) : reader(file, table) {}

    MdbTableReader reader;
    bool eof = false;
    // The engine asks for the same columns in the same order on every row: remember the
    // column index for each position of that sequence, so a row costs one string comparison
    // per field instead of a search.
    struct Lookup {
        std::string name;
        int column;
    };
    std::vector<Lookup> lookups;
    size_t nextLookup = 0;

    int ColumnIndex(const std::string& name) {
        if (nextLookup < lookups.size() && lookups[nextLookup].name == name) {
            return lookups[nextLookup++].column;
        }
        const int column = reader.FindColumn(name);
        if (column >= 0) {
            if (nextLookup < lookups.size()) {
                lookups[nextLookup] = {name, column};
            } else {
                lookups.push_back({name, column});
            }
            ++nextLookup;
        }
        return column;
    }
};

CDaoRecordset::CDaoRecordset(CDaoDatabase& database) : m_pDatabase(&database) {}
CDaoRecordset::~CDaoRecordset() {
    Close();
}

void CDaoRecordset::Open(int openType, const std::string& sql, int options) {
    if (IsOpen()) {
        return;
    }
    if (openType != dbOpenDynaset || options != dbReadOnly) {
        throw CDaoException(SourceFailureKind::Misuse,
                            "Only read-only dynasets can be opened (open type 2, option 4); "
                            "asked for open type " +
                                std::to_string(openType) + ", options " + std::to_string(options) +
                                ".");
    }
    const std::optional<std::string> table = TableOfQuery(sql);
    if (!table) {
        throw CDaoException(SourceFailureKind::Misuse,
                            "Only queries of the form \"select * from <table>\" can be run; "
                            "asked for \"" +
                                sql + "\".");
    }
    MdbDatabase* file = m_pDatabase->File();
    if (!file) {
        throw CDaoException(SourceFailureKind::Misuse,
                            CDaoMessage() << "The database is not open, so the table '"
                                          << SourceTable(*table) << "' cannot be read.");
    }
    // The check before the open walked only the tables the opener named: another table of the
    // file may be what it never read, and libmdb must not meet that here.
    if (!m_pDatabase->WasChecked(*table)) {
        throw CDaoException(SourceFailureKind::Misuse,
                            CDaoMessage()
                                << "The table '" << SourceTable(*table) << "' in the database '"
                                << SourceFile(m_pDatabase->GetName())
                                << "' was not checked when the database was opened, "
                                   "so it cannot be read.");
    }
    std::unique_ptr<Impl> impl;
    try {
        impl = std::make_unique<Impl>(*file, *table);
        impl->eof = !impl->reader.Next();
    } catch (...) {
        // What seems damaged may be a file written while it was read.
        m_pDatabase->ThrowIfFileChanged();
        throw;
    }
    if (impl->eof) {
        m_pDatabase->ThrowIfFileChanged();
    }
    m_pDatabase->Attach(this);
    m_impl = std::move(impl);
}

bool CDaoRecordset::IsEOF() const {
    if (!m_impl) {
        throw CDaoException(SourceFailureKind::Misuse, "The recordset is not open.");
    }
    return m_impl->eof;
}

CFieldValue CDaoRecordset::GetFieldValue(const std::string& column) {
    if (!m_impl) {
        throw CDaoException(SourceFailureKind::Misuse,
                            CDaoMessage() << "The recordset is not open, so the column '"
                                          << SourceColumn(column) << "' cannot be read.");
    }
    MdbTableReader& reader = m_impl->reader;
    if (m_impl->eof) {
        throw CDaoException(SourceFailureKind::Misuse,
                            NoCurrentRecord(reader.Name(), m_pDatabase->GetName()));
    }
    const int index = m_impl->ColumnIndex(column);
    if (index < 0) {
        ThrowMissingColumn(column);
    }
    try {
        return reader.Value(static_cast<size_t>(index));
    } catch (...) {
        m_pDatabase->ThrowIfFileChanged();
        throw;
    }
}

void CDaoRecordset::CheckColumn(const std::string& column) const {
    if (!m_impl) {
        throw CDaoException(SourceFailureKind::Misuse,
                            CDaoMessage() << "The recordset is not open, so the column '"
                                          << SourceColumn(column) << "' cannot be looked up.");
    }
    if (m_impl->reader.FindColumn(column) < 0) {
        ThrowMissingColumn(column);
    }
}

void CDaoRecordset::ThrowMissingColumn(const std::string& column) const {
    throw CDaoException(
        SourceFailureKind::MissingColumn,
        CDaoMessage::Format(TrNoop("The table '%1' in the database '%2' has no column '%3'."),
                            {SourceTable(m_impl->reader.Name()), SourceFile(m_pDatabase->GetName()),
                             SourceColumn(column)}));
}

void CDaoRecordset::MoveNext() {
    if (!m_impl) {
        throw CDaoException(SourceFailureKind::Misuse, "The recordset is not open.");
    }
    if (m_impl->eof) {
        throw CDaoException(SourceFailureKind::Misuse,
                            NoCurrentRecord(m_impl->reader.Name(), m_pDatabase->GetName()));
    }
    m_impl->nextLookup = 0;
    // A failure, and only a failure, also asks whether the file was written meanwhile: a
    // file overwritten while it is read looks damaged to the reader.
    try {
        m_impl->eof = !m_impl->reader.Next();
    } catch (...) {
        m_pDatabase->ThrowIfFileChanged();
        throw;
    }
    // A table read to its end was read from the file as checked, or is refused now.
    if (m_impl->eof) {
        m_pDatabase->ThrowIfFileChanged();
    }
}

long CDaoRecordset::GetRecordCount() const {
    if (!m_impl) {
        throw CDaoException(SourceFailureKind::Misuse, "The recordset is not open.");
    }
    return static_cast<long>(m_impl->reader.DeclaredRows());
}

void CDaoRecordset::Close() noexcept {
    if (!m_impl) {
        return;
    }
    m_impl.reset();
    m_pDatabase->Detach(this);
}

bool CDaoRecordset::IsOpen() const noexcept {
    return m_impl != nullptr;
}
