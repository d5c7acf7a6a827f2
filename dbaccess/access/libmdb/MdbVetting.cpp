#include "dbaccess/access/libmdb/MdbVetting.h"

#include <algorithm>
#include <map>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/jet/JetValue.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"
#include "dbaccess/access/libmdb/MdbTableReader.h"

namespace {

// No page number beyond this is remembered (a 2 GB file of 2 KB pages has a million).
constexpr uint32_t kMostPagesTracked = 1u << 21;

// What libmdb said is what this sentence reports, so it is part of the sentence, not library
// detail given up first when the message is too long.
void ThrowIfLibmdbSpoke(const std::string& path, const std::string& said) {
    if (!said.empty()) {
        throw CDaoException(
            SourceFailureKind::Damaged,
            CDaoMessage::Format(
                TrNoop(
                    "The database '%1' is damaged: libmdb reported problems while reading it: %2"),
                {SourceFile(path), SourceReason(said)}));
    }
}

// A table's definition page copied over another's makes the second table read as the first
// (often empty) without a word from libmdb. Two tables never share a definition's bytes: each
// names usage-map rows of its own. A table read is compared with every user table, read or
// not: the original of a copied definition may be a table the run leaves alone. Two tables
// the run leaves alone are none of its business.
void ThrowIfDefinitionsRepeat(const MdbDatabase& file, const std::vector<std::string>& read) {
    std::vector<std::string> names = read;
    for (std::string& name : file.TableNames(false)) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    MdbQuiet quiet;
    MdbHandle* handle = file.Handle();
    std::map<std::string, size_t> owners;  // a definition's bytes, and the first table in names
    for (size_t i = 0; i < names.size(); ++i) {
        const MdbCatalogEntry* entry = file.FindTable(names[i]);
        if (!entry || mdb_read_pg(handle, entry->table_pg) <= 0) {
            continue;  // the table's own reader gives the precise message
        }
        std::string page(reinterpret_cast<const char*>(handle->pg_buf),
                         static_cast<size_t>(handle->fmt->pg_size));
        const auto [it, added] = owners.emplace(std::move(page), i);
        if (!added && it->second < read.size()) {
            throw CDaoException(
                SourceFailureKind::Damaged,
                CDaoMessage::Format(
                    TrNoop("The database '%1' is damaged: the tables '%2' and '%3' have the same "
                           "definition, one page copied over the other."),
                    {SourceFile(file.Path()), SourceTable(names[it->second]),
                     SourceTable(names[i])}));
        }
    }
}

// A data page copied over another of the same table reads the copied rows twice and loses
// the rows of the page it replaced, without a word from libmdb. Two pages of identical rows
// are byte for byte the same as well, so a repeat alone proves nothing: it is damage when the
// rows read disagree with the count the definition declares. A stale count alone stays a
// note for the run.
void ThrowIfPageCopiedOver(const MdbDatabase& file, MdbTableReader& reader) {
    // A count that agrees costs nothing more; one that disagrees has the table's pages read
    // again to look for a repeat.
    if (reader.RowsRead() == reader.DeclaredRows()) {
        return;
    }
    const auto repeated = reader.FindRepeatedDataPage();
    if (!repeated) {
        return;
    }
    throw CDaoException(
        SourceFailureKind::Damaged,
        CDaoMessage::Format(
            TrNoop("The database '%1' is damaged: in the table '%2', the data page %3 repeats "
                   "the data page %4, one copied over the other, and the table holds %5 rows "
                   "where it declares %6."),
            {SourceFile(file.Path()), SourceTable(reader.Name()),
             SourceReason(std::to_string(repeated->page)),
             SourceReason(std::to_string(repeated->original)),
             SourceReason(std::to_string(reader.RowsRead())),
             SourceReason(std::to_string(reader.DeclaredRows()))}));
}

// The catalogue's names of the tables asked for, each once (names match in any letter case),
// those the file lacks left out; every user table when none is asked for.
std::vector<std::string> TablesToRead(const MdbDatabase& file,
                                      const std::vector<std::string>& asked) {
    if (asked.empty()) {
        return file.TableNames(false);
    }
    std::vector<std::string> names;
    for (const std::string& name : asked) {
        const MdbCatalogEntry* entry = file.FindTable(name);
        if (entry && std::find(names.begin(), names.end(), entry->object_name) == names.end()) {
            names.emplace_back(entry->object_name);
        }
    }
    return names;
}

}  // namespace

void VetProgress::Watch(const uint32_t* currentPage) noexcept {
    std::lock_guard<std::mutex> hold(m_lock);
    m_currentPage = currentPage;
}

void VetProgress::Unwatch() noexcept {
    std::lock_guard<std::mutex> hold(m_lock);
    m_currentPage = nullptr;
}

uint64_t VetProgress::Sample() noexcept {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_currentPage) {
        // libmdb writes the number on the reading thread; a torn or stale read only costs a
        // sample.
        const uint32_t page = __atomic_load_n(m_currentPage, __ATOMIC_RELAXED);
        if (page < kMostPagesTracked) {
            if (page >= m_seen.size()) {
                m_seen.resize(std::max<size_t>(page + 1, 2 * m_seen.size()));
            }
            if (!m_seen[page]) {
                m_seen[page] = true;
                ++m_pages;
            }
        }
    }
    return m_pages + m_rows.load(std::memory_order_relaxed);
}

std::vector<VetTableCount> ReadTables(const VetScope& scope, VetProgress* progress) {
    const std::string& path = scope.path;
    MdbDatabase file(path, progress, scope.fd, PasswordFromConnect(scope.connect.value_or("")));
    ThrowIfLibmdbSpoke(path, file.OpeningOutput());
    std::vector<VetTableCount> counts;
    uint64_t rowsBefore = 0;
    const std::vector<std::string> names = TablesToRead(file, scope.tables);
    ThrowIfDefinitionsRepeat(file, names);
    for (const std::string& name : names) {
        MdbTableReader reader(file, name);
        // Next has checked that every field of the row lies inside the row and the row inside
        // its page. Beyond that, only what reaches into libmdb again, or can be invalid in
        // itself, is decoded here: a Memo follows its LVAL pages through libmdb, and Access 97
        // text can be invalid in its code page. Every other field is decoded by our own code,
        // which calls no libmdb, when the run reads it.
        std::vector<size_t> readable;
        for (size_t i = 0; i < reader.ColumnCount(); ++i) {
            const int type = reader.ColumnType(i);
            const bool jet3Text = type == jettype::kText && file.Version() == JetVersion::Jet3;
            if (type == jettype::kMemo || jet3Text) {
                readable.push_back(i);
            }
        }
        while (reader.Next()) {
            for (size_t column : readable) {
                (void)reader.Value(column);
            }
            if (progress) {
                progress->SetRows(rowsBefore + reader.RowsRead());
            }
        }
        ThrowIfLibmdbSpoke(path, reader.LibraryOutput());
        ThrowIfPageCopiedOver(file, reader);
        rowsBefore += reader.RowsRead();
        counts.push_back({reader.Name(), reader.RowsRead()});
    }
    return counts;
}
