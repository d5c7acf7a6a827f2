#include "dbaccess/access/libmdb/MdbTableReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "dbaccess/AsciiCase.h"
#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetValue.h"
#include "dbaccess/access/libmdb/MdbQuiet.h"
#include "dbaccess/access/libmdb/MdbUsageMap.h"
#include "dbaccess/access/libmdb/MdbZeroedHeap.h"

namespace {

constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kDeletedRow = 0x4000;
constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kDefinitionPage = 0x02;
constexpr uint8_t kUserTable = 'N';
constexpr size_t kJet3TableTypeAt = 0x14;
constexpr size_t kJet4TableTypeAt = 0x28;
// In a column's entry of an Access 2010+ table definition: the extra flags, whose two high bits
// mark a calculated column.
constexpr size_t kColumnExtraFlagsAt = 16;
constexpr uint8_t kCalculatedFlags = 0xC0;
// A table definition's pages after the first continue its bytes after their own 8-byte head.
constexpr size_t kDefinitionPageHead = 8;
// No real table definition runs over more pages (Access allows 255 columns).
constexpr int kMostDefinitionPages = 64;

// The whole pages the open file holds now; 0 when that cannot be told. Asked as libmdb asks
// before each page it reads, through its stream (which need not be a file descriptor's), and
// libmdb seeks to each page before reading it.
uint64_t WholePages(MdbHandle* handle) {
    std::FILE* stream = handle->f->stream;
    if (fseeko(stream, 0, SEEK_END) != 0) {
        return 0;
    }
    const off_t size = ftello(stream);
    return size > 0 ? static_cast<uint64_t>(size) / static_cast<uint64_t>(handle->fmt->pg_size) : 0;
}

// The column's "ResultType" property as a type code, or 0 when it has none.
int ResultType(const MdbColumn& column) {
    if (!column.props || !column.props->hash) {
        return 0;
    }
    const auto* text =
        static_cast<const char*>(g_hash_table_lookup(column.props->hash, "ResultType"));
    if (!text) {
        return 0;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && value > 0 && value < 256 ? static_cast<int>(value) : 0;
}

bool AsciiIEquals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

MdbTableReader::MdbTableReader(MdbDatabase& file, const std::string& tableName) : m_file(file) {
    MdbCatalogEntry* entry = file.FindTable(tableName);
    if (!entry) {
        throw CDaoException(
            SourceFailureKind::MissingTable,
            CDaoMessage::Format(TrNoop("The table '%1' does not exist in the database '%2'."),
                                {SourceTable(tableName), SourceFile(file.Path())}));
    }
    m_name = entry->object_name;
    MdbQuiet quiet;
    m_opening = &quiet;
    MdbZeroedHeap zeroedHeap;
    CheckDefinitionPage(*entry);
    m_table = mdb_read_table(entry);
    if (!m_table || !mdb_read_columns(m_table)) {
        if (m_table) {
            mdb_free_tabledef(m_table);
            m_table = nullptr;
        }
        ThrowDamaged(CDaoMessage()
                     << "the table definition cannot be read" << LibraryDetail(LibraryOutput()));
    }
    // From here on the table is ours to free: a destructor does not run for a constructor
    // that throws.
    try {
        m_flatMap = FlattenUsageMap(file.Handle(), m_table->usage_map, m_table->map_sz);
        if (!m_flatMap.empty()) {
            m_libmdbMap = m_table->usage_map;
            m_libmdbMapSize = m_table->map_sz;
            m_table->usage_map = m_flatMap.data();
            m_table->map_sz = m_flatMap.size();
        }
        CheckUsageMapPages();
        mdb_rewind_table(m_table);

        for (guint i = 0; i < m_table->num_cols; ++i) {
            const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, i));
            // libmdb reads a Decimal column's precision into col_scale and its scale into col_prec
            // (it takes the two bytes of the definition the other way round).
            m_columns.push_back({column->name, column->col_type, column->col_prec});
        }
        m_fields.resize(m_columns.size());
        if (file.Version() == JetVersion::Jet4) {
            FindCalculatedColumns();
        }
        // Memo data outside the row: libmdb reads the LVAL page into its second page buffer,
        // so the current row in the first one stays where it is.
        m_lval = [this, handle = file.Handle()](
                     uint32_t pageRow) -> std::optional<std::span<const uint8_t>> {
            void* page = nullptr;
            int start = 0;
            size_t length = 0;
            if (mdb_find_pg_row(handle, static_cast<int>(pageRow), &page, &start, &length) != 0) {
                Retell([&] {
                    mdb_find_pg_row(handle, static_cast<int>(pageRow), &page, &start, &length);
                });
                return std::nullopt;
            }
            if (start < 0 ||
                static_cast<size_t>(start) + length > static_cast<size_t>(handle->fmt->pg_size)) {
                return std::nullopt;
            }
            // Long values live on data pages marked "LVAL" where a table's data page names its
            // table: a memo that points to any other page points into a damaged file.
            const auto* bytes = static_cast<const uint8_t*>(page);
            if (bytes[0] != kDataPage || std::memcmp(bytes + 4, "LVAL", 4) != 0) {
                return std::nullopt;
            }
            return std::span<const uint8_t>(static_cast<const uint8_t*>(page) + start, length);
        };
    } catch (...) {
        FreeTable();
        throw;
    }
    Heard(quiet.End(MdbQuiet::kKeptBytes));
    m_opening = nullptr;
}

void MdbTableReader::CheckDefinitionPage(const MdbCatalogEntry& entry) const {
    // A user table's definition page is marked 'N' (a system table's mostly 'S'). Another
    // table's definition in its place, after pages were swapped, would read as that table,
    // often empty, and lose every row without a word.
    if (mdb_is_system_table(const_cast<MdbCatalogEntry*>(&entry))) {
        return;
    }
    MdbHandle* handle = m_file.Handle();
    const size_t typeAt =
        m_file.Version() == JetVersion::Jet3 ? kJet3TableTypeAt : kJet4TableTypeAt;
    if (mdb_read_pg(handle, entry.table_pg) <= 0) {
        ThrowDamaged(CDaoMessage()
                     << "the table definition cannot be read" << LibraryDetail(LibraryOutput()));
    }
    if (handle->pg_buf[0] != kDefinitionPage || handle->pg_buf[typeAt] != kUserTable) {
        ThrowDamaged(CDaoMessage() << "page " << std::to_string(entry.table_pg)
                                   << ", where its definition should be, holds something else"
                                   << LibraryDetail(LibraryOutput()));
    }
}

void MdbTableReader::CheckUsageMapPages() const {
    MdbHandle* handle = m_file.Handle();
    const uint64_t pages = WholePages(handle);
    // libmdb copies the map from a row of another page without checking that the row is
    // there: past the end of the file it takes what its page buffer held, often a map that
    // names no page, which would read as an empty table.
    const size_t pageSize = handle->fmt->pg_size;
    if (mdb_read_pg(handle, m_table->entry->table_pg) != static_cast<ssize_t>(pageSize)) {
        ThrowDamaged(CDaoMessage()
                     << "the table definition cannot be read" << LibraryDetail(LibraryOutput()));
    }
    const guint32 mapRow = mdb_get_int32(handle->pg_buf, handle->fmt->tab_usage_map_offset);
    const guint32 mapPage = mapRow >> 8;
    if (mapPage >= pages || mdb_read_alt_pg(handle, mapPage) != static_cast<ssize_t>(pageSize) ||
        (mapRow & 0xFF) >= static_cast<guint32>(
                               mdb_get_int16(handle->alt_pg_buf, handle->fmt->row_count_offset))) {
        ThrowDamaged(CDaoMessage()
                     << "its usage map should be on page " << std::to_string(mapPage) << " row "
                     << std::to_string(mapRow & 0xFF) << ", which does not exist");
    }
    const UsageMapFault fault = CheckUsageMap(handle, m_table->usage_map, m_table->map_sz, pages);
    switch (fault.kind) {
        case UsageMapFault::Kind::None:
            return;
        case UsageMapFault::Kind::Empty:
            ThrowDamaged("its usage map is empty");
        case UsageMapFault::Kind::UnknownKind:
            ThrowDamaged("its usage map is of no known kind");
        case UsageMapFault::Kind::MapPageUnreadable:
            ThrowDamaged(CDaoMessage() << "its usage map page " << std::to_string(fault.page)
                                       << " cannot be read" << LibraryDetail(LibraryOutput()));
        case UsageMapFault::Kind::PagePastEnd:
            ThrowDamaged(CDaoMessage() << "its data page " << std::to_string(fault.page)
                                       << " lies past the end of the file, which holds "
                                       << std::to_string(pages) << " whole pages");
    }
}

void MdbTableReader::FindCalculatedColumns() {
    MdbHandle* handle = m_file.Handle();
    const MdbFormatConstants& fmt = *handle->fmt;
    const size_t pageSize = fmt.pg_size;
    const size_t first =
        fmt.tab_cols_start_offset + m_table->num_real_idxs * fmt.tab_ridx_entry_size;
    const size_t end = first + m_table->num_cols * fmt.tab_col_entry_size;
    // The definition's bytes up to the end of the column entries.
    std::vector<uint8_t> bytes;
    uint32_t page = m_table->entry->table_pg;
    for (int pages = 0; bytes.size() < end && page != 0 && pages < kMostDefinitionPages; ++pages) {
        if (mdb_read_pg(handle, page) != static_cast<ssize_t>(pageSize)) {
            return;  // the table reader's own checks name a definition that cannot be read
        }
        const size_t from = pages == 0 ? 0 : kDefinitionPageHead;
        bytes.insert(bytes.end(), handle->pg_buf + from, handle->pg_buf + pageSize);
        page = mdb_get_int32(handle->pg_buf, 4);
    }
    if (bytes.size() < end) {
        return;
    }
    for (size_t at = first; at < end; at += fmt.tab_col_entry_size) {
        if ((bytes[at + kColumnExtraFlagsAt] & kCalculatedFlags) == 0) {
            continue;
        }
        const unsigned number =
            bytes[at + fmt.col_num_offset] | (bytes[at + fmt.col_num_offset + 1] << 8);
        for (guint i = 0; i < m_table->num_cols; ++i) {
            const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, i));
            if (static_cast<unsigned>(column->row_col_num) != number) {
                continue;
            }
            m_columns[i].calculated = true;
            // The stored value has the type of the expression's result, which the column's
            // "ResultType" property names with the same codes; the column's own type code
            // can differ (a Double column holding a Currency result, a Text one a Memo).
            const int result = ResultType(*column);
            if (result > 0) {
                m_columns[i].type = result;
            }
        }
    }
}

MdbTableReader::~MdbTableReader() {
    FreeTable();
}

void MdbTableReader::FreeTable() noexcept {
    if (m_table) {
        if (m_libmdbMap) {
            m_table->usage_map = m_libmdbMap;
            m_table->map_sz = m_libmdbMapSize;
            m_libmdbMap = nullptr;
        }
        mdb_free_tabledef(m_table);
        m_table = nullptr;
    }
}

int MdbTableReader::FindColumn(std::string_view name) const noexcept {
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (AsciiIEquals(m_columns[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool MdbTableReader::FetchRow(int& start, size_t& size) {
    // libmdb's mdb_fetch_row for a table scan, without the second split of every row it makes
    // for bound columns (the row is split once, by Next), and whatever the row count of the
    // table's definition says: that count is not kept up to date after a crash.
    MdbHandle* handle = m_file.Handle();
    if (m_table->cur_pg_num == 0) {
        m_table->cur_pg_num = 1;
        m_table->cur_row = 0;
        if (!NextDataPage()) {
            return false;
        }
    }
    const size_t pageSize = handle->fmt->pg_size;
    const size_t countAt = handle->fmt->row_count_offset;
    for (;;) {
        const size_t rows = mdb_get_int16(handle->pg_buf, countAt);
        if (m_table->cur_row >= rows) {
            m_table->cur_row = 0;
            if (!NextDataPage()) {
                return false;
            }
            continue;
        }
        // The offsets table follows the row count; rows are stored from the end of the page
        // down to it, row 0 last, each ending where the one before it starts.
        const size_t rowArea = countAt + 2 + 2 * rows;
        if (rowArea > pageSize) {
            ThrowDamaged(CDaoMessage()
                         << "page " << std::to_string(m_table->cur_phys_pg) << " lists "
                         << std::to_string(rows) << " rows, more than a page holds");
        }
        const unsigned row = m_table->cur_row++;
        const size_t entryAt = countAt + 2 + 2 * row;
        const unsigned entry = mdb_get_int16(handle->pg_buf, entryAt);
        if ((entry & kDeletedRow) != 0) {
            continue;
        }
        // A raised row count on a data page makes libmdb take whatever follows the offsets
        // table as rows of its own: such an entry is zero, lies outside the row area or
        // overlaps its neighbour.
        const size_t rowStart = entry & kRowOffsetMask;
        const size_t rowEnd =
            row == 0 ? pageSize : mdb_get_int16(handle->pg_buf, entryAt - 2) & kRowOffsetMask;
        if (rowStart < rowArea || rowStart >= pageSize) {
            ThrowDamaged(CDaoMessage() << "page " << std::to_string(m_table->cur_phys_pg)
                                       << " places its row " << std::to_string(row) << " at offset "
                                       << std::to_string(rowStart) << ", outside its row area");
        }
        if (rowEnd <= rowStart || rowEnd > pageSize) {
            ThrowDamaged(CDaoMessage()
                         << "page " << std::to_string(m_table->cur_phys_pg) << " places its row "
                         << std::to_string(row) << " at offset " << std::to_string(rowStart)
                         << ", where it overlaps the row before it");
        }
        start = static_cast<int>(rowStart);
        size = rowEnd - rowStart;
        return true;
    }
}

bool MdbTableReader::NextDataPage() {
    // libmdb's mdb_read_next_dpg answers the same at the end of the usage map and when a page
    // cannot be read, and passes over a page of the map that is not one of the table's data
    // pages with a warning. Pages past the end of a file cut short after the map was checked
    // come back from its reads as zeros, so passing over them would end the table early
    // without a word: each page the map names must be one of the table's data pages.
    MdbHandle* handle = m_file.Handle();
    const gint32 next = mdb_map_find_next(
        handle, m_table->usage_map, static_cast<unsigned>(m_table->map_sz), m_table->cur_phys_pg);
    if (next == 0) {
        return false;
    }
    if (next < 0 || mdb_read_pg(handle, static_cast<unsigned long>(next)) != handle->fmt->pg_size) {
        Retell([&] {
            if (next < 0) {
                (void)mdb_map_find_next(handle, m_table->usage_map,
                                        static_cast<unsigned>(m_table->map_sz),
                                        m_table->cur_phys_pg);
            } else {
                handle->cur_pg = 0;  // else libmdb answers from the page it took as read
                (void)mdb_read_pg(handle, static_cast<unsigned long>(next));
            }
        });
        ThrowDamaged(CDaoMessage() << "page " << std::to_string(next < 0 ? 0 : next)
                                   << " cannot be read" << LibraryDetail(LibraryOutput()));
    }
    m_table->cur_phys_pg = static_cast<guint32>(next);
    if (handle->pg_buf[0] != kDataPage || static_cast<uint32_t>(mdb_get_int32(handle->pg_buf, 4)) !=
                                              static_cast<uint32_t>(m_table->entry->table_pg)) {
        ThrowDamaged(CDaoMessage() << "page " << std::to_string(next)
                                   << ", named in its usage map, does not hold its rows");
    }
    return true;
}

std::optional<MdbTableReader::RepeatedPage> MdbTableReader::FindRepeatedDataPage() {
    MdbHandle* handle = m_file.Handle();
    const size_t pageSize = handle->fmt->pg_size;
    const auto table = static_cast<uint32_t>(m_table->entry->table_pg);
    std::unordered_multimap<uint64_t, uint32_t> seen;  // a page's hash, the page
    // The walk has checked every page the map names.
    for (gint32 page = mdb_map_find_next(handle, m_table->usage_map,
                                         static_cast<unsigned>(m_table->map_sz), 0);
         page > 0; page = mdb_map_find_next(handle, m_table->usage_map,
                                            static_cast<unsigned>(m_table->map_sz),
                                            static_cast<guint32>(page))) {
        if (mdb_read_pg(handle, static_cast<unsigned long>(page)) !=
                static_cast<ssize_t>(pageSize) ||
            handle->pg_buf[0] != kDataPage ||
            static_cast<uint32_t>(mdb_get_int32(handle->pg_buf, 4)) != table) {
            continue;
        }
        uint64_t hash = 0x9E3779B97F4A7C15ull;
        for (size_t at = 0; at + 8 <= pageSize; at += 8) {
            uint64_t word;
            std::memcpy(&word, handle->pg_buf + at, sizeof word);
            hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
            hash ^= hash >> 29;
        }
        const auto [first, last] = seen.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            if (mdb_read_alt_pg(handle, it->second) == static_cast<ssize_t>(pageSize) &&
                std::memcmp(handle->alt_pg_buf, handle->pg_buf, pageSize) == 0) {
                return RepeatedPage{static_cast<uint32_t>(page), it->second};
            }
        }
        seen.emplace(hash, static_cast<uint32_t>(page));
    }
    return std::nullopt;
}

bool MdbTableReader::Next() {
    m_hasRow = false;
    RestorePage();
    int start = 0;
    size_t size = 0;
    if (!FetchRow(start, size)) {
        return false;
    }
    ++m_rowsRead;
    if (mdb_crack_row(m_table, start, size, m_fields.data()) < 0) {
        Retell([&] { (void)mdb_crack_row(m_table, start, size, m_fields.data()); });
        ThrowDamaged(CDaoMessage()
                     << "row " << SourceRow(m_rowsRead) << " cannot be split into its fields"
                     << LibraryDetail(LibraryOutput()));
    }
    CheckRowFields(start, size);
    m_page = m_file.Handle()->cur_pg;
    m_hasRow = true;
    return true;
}

void MdbTableReader::CheckRowFields(int rowStart, size_t rowSize) const {
    const size_t pageSize = m_file.Handle()->fmt->pg_size;
    const size_t rowEnd = static_cast<size_t>(rowStart) + rowSize;
    if (rowEnd > pageSize) {
        ThrowDamaged(CDaoMessage()
                     << "row " << SourceRow(m_rowsRead) << " reaches past the end of its page");
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const MdbField& field = m_fields[i];
        if (field.siz == 0) {
            continue;
        }
        // libmdb takes a variable field's size as the difference of two offsets: an offset
        // that goes backwards shows as a negative size.
        if (field.siz < 0 || field.start < rowStart ||
            static_cast<size_t>(field.start) + static_cast<size_t>(field.siz) > rowEnd) {
            ThrowDamaged(CDaoMessage()
                         << "row " << SourceRow(m_rowsRead) << ", column '"
                         << SourceColumn(m_columns[i].name)
                         << "': the field's offsets are out of order or outside the row");
        }
    }
}

void MdbTableReader::RestorePage() const {
    MdbHandle* handle = m_file.Handle();
    if (m_page == 0 || handle->cur_pg == m_page) {
        return;
    }
    if (mdb_read_pg(handle, m_page) <= 0) {
        Retell([&] {
            handle->cur_pg = 0;  // else libmdb answers from the page it took as read
            (void)mdb_read_pg(handle, m_page);
        });
        ThrowDamaged(CDaoMessage() << "page " << std::to_string(m_page) << " cannot be read again"
                                   << LibraryDetail(LibraryOutput()));
    }
}

CFieldValue MdbTableReader::Value(size_t column) {
    if (!m_hasRow || column >= m_fields.size()) {
        throw CDaoException(SourceFailureKind::Misuse,
                            CDaoMessage::Format(TrNoop("No current record in the table '%1'."),
                                                {SourceTable(m_name)}));
    }
    RestorePage();
    // Next has checked that the field lies inside the row, and the row inside its page.
    const MdbField& field = m_fields[column];
    std::span<const uint8_t> bytes;
    if (field.siz > 0) {
        bytes = {m_file.Handle()->pg_buf + field.start, static_cast<size_t>(field.siz)};
    }
    const Column& col = m_columns[column];
    try {
        const CJetFieldFormat format{&m_file.Jet3Text(), col.scale};
        if (col.calculated) {
            return DecodeCalculatedJetField(m_file.Version(), col.type, field.is_null != 0, bytes,
                                            m_lval, format);
        }
        return DecodeJetField(m_file.Version(), col.type, field.is_null != 0, bytes, m_lval,
                              format);
    } catch (const CJetFormatError& e) {
        const bool unknown = std::string_view(JetTypeName(col.type)) == "unknown";
        const CSourcePiece type =
            SourceReason(unknown ? std::to_string(col.type) : JetTypeName(col.type));
        const CSourcePiece columnName = SourceColumn(col.name);
        const CSourcePiece file = SourceFile(m_file.Path());
        // A damaged catalogue can give a table no name.
        const auto refuse = [&](SourceFailureKind kind, const char* named, const char* nameless) {
            throw CDaoException(
                kind, m_name.empty() ? CDaoMessage::Format(nameless, {columnName, file, type})
                                     : CDaoMessage::Format(
                                           named, {columnName, SourceTable(m_name), file, type}));
        };
        if (unknown) {
            refuse(SourceFailureKind::Damaged,
                   TrNoop("The column '%1' of the table '%2' in '%3' has a type this program does "
                          "not know (type code %4); the file may be damaged."),
                   TrNoop("The column '%1' of a table without a name in '%2' has a type this "
                          "program does not know (type code %3); the file may be damaged."));
        }
        if (!IsReadableJetType(col.type)) {
            refuse(SourceFailureKind::UnreadableColumnType,
                   TrNoop("The column '%1' of the table '%2' in '%3' is of the type %4, which this "
                          "program cannot read."),
                   TrNoop("The column '%1' of a table without a name in '%2' is of the type %3, "
                          "which this program cannot read."));
        }
        ThrowDamaged(CDaoMessage()
                     << "row " << SourceRow(m_rowsRead) << ", column '" << SourceColumn(col.name)
                     << "': " << e.what() << LibraryDetail(LibraryOutput()));
    }
}

std::string MdbTableReader::LibraryOutput() const noexcept {
    try {
        std::string said = m_said;
        if (m_opening) {
            said += ' ' + m_opening->Said(MdbQuiet::kKeptBytes);
        }
        return OneLine(said, MdbQuiet::kShortBytes);
    } catch (...) {
        return {};
    }
}

template <typename Call>
void MdbTableReader::Retell(Call call) const {
    MdbQuiet quiet;
    call();
    Heard(quiet.End(MdbQuiet::kKeptBytes));
}

void MdbTableReader::Heard(const std::string& said) const {
    if (!said.empty() && m_said.size() < MdbQuiet::kKeptBytes) {
        m_said += m_said.empty() ? said : ' ' + said;
    }
}

void MdbTableReader::ThrowDamaged(const CDaoMessage& what) const {
    // What is damaged stays in English, as one reason; what libmdb said goes after it.
    CDaoMessage reason;
    std::string said;
    for (const CSourcePiece& piece : what.Pieces()) {
        if (piece.part == SourcePart::LibraryDetail) {
            said = piece.text;
        } else {
            reason << CSourcePiece{SourcePart::Text, piece.text};
        }
    }
    CDaoMessage message =
        m_name.empty()
            ? CDaoMessage::Format(
                  TrNoop("The database '%1' is damaged: in a table without a name, %2."),
                  {SourceFile(m_file.Path()), SourceReason(reason.Text())})
            : CDaoMessage::Format(
                  TrNoop("The database '%1' is damaged: in the table '%2', %3."),
                  {SourceFile(m_file.Path()), SourceTable(m_name), SourceReason(reason.Text())});
    message.AddLibraryDetail(said);
    throw CDaoException(SourceFailureKind::Damaged, message);
}
