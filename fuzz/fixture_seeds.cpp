// Writes seed inputs for source_decode_fuzzer from real .mdb files: every field of the first
// rows of each user table, in the harness's field format (memo chains included, their LVAL
// rows renumbered to the harness's addressing), and every text field as a text input.
//
// Usage: source_fixture_seeds <output folder> <file.mdb>...
#include <glib.h>

#include <mdbtools.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kRowsPerTable = 6;
constexpr size_t kMaxChain = 64;

void Le16(std::string& s, size_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void SetLe32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

uint32_t GetLe32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    }
    return v;
}

// The LVAL rows of a memo stored outside its row, renumbered 1..k so that the harness, which
// resolves page/row p to its row p % k, follows the same chain.
std::vector<std::string> MemoRows(MdbHandle* db, std::string& field) {
    const uint32_t flags = static_cast<uint8_t>(field[3]) & 0xC0;
    if (flags == 0x80) {
        return {};
    }
    std::vector<std::string> chain;
    for (uint32_t pageRow = GetLe32(field, 4); pageRow != 0 && chain.size() < kMaxChain;) {
        void* page = nullptr;
        int start = 0;
        size_t length = 0;
        if (mdb_find_pg_row(db, static_cast<int>(pageRow), &page, &start, &length) != 0) {
            break;
        }
        chain.emplace_back(static_cast<const char*>(page) + start, length);
        if (flags == 0x40 || length < 4) {
            break;
        }
        pageRow = GetLe32(chain.back(), 0);
    }
    const size_t k = chain.size();
    std::vector<std::string> rows(k);
    for (size_t j = 0; j < k; ++j) {
        if (flags == 0 && chain[j].size() >= 4) {
            SetLe32(chain[j], 0, j + 1 < k ? static_cast<uint32_t>(j + 2) : 0);
        }
        rows[(j + 1) % k] = chain[j];
    }
    SetLe32(field, 4, 1);
    return rows;
}

class SeedWriter {
public:
    explicit SeedWriter(std::string folder) : m_folder(std::move(folder)) {}
    void Write(const std::string& kind, const std::string& bytes) {
        if (!m_seen.insert(bytes).second) {
            return;
        }
        std::ofstream(m_folder + "/fixture-" + kind + "-" + std::to_string(m_seen.size()),
                      std::ios::binary)
            << bytes;
    }
    size_t Count() const { return m_seen.size(); }

private:
    std::string m_folder;
    std::set<std::string> m_seen;
};

void WriteTableSeeds(MdbHandle* db, MdbTableDef* table, SeedWriter& out) {
    const bool jet3 = IS_JET3(db);
    std::vector<MdbField> fields(table->num_cols);
    mdb_rewind_table(table);
    for (int row = 0; row < kRowsPerTable && mdb_fetch_row(table); ++row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(db, static_cast<int>(table->cur_row) - 1, &start, &size) != 0 ||
            mdb_crack_row(table, start & 0x1FFF, size, fields.data()) < 0) {
            continue;
        }
        for (unsigned c = 0; c < table->num_cols; ++c) {
            const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            const MdbField& f = fields[c];
            std::string field(reinterpret_cast<char*>(db->pg_buf) + f.start, f.siz > 0 ? f.siz : 0);
            std::vector<std::string> rows;
            if (column->col_type == MDB_MEMO && !f.is_null && field.size() >= 12) {
                rows = MemoRows(db, field);
            }
            std::string seed(1, '\3');
            seed += static_cast<char>(column->col_type);
            seed += static_cast<char>((f.is_null ? 1 : 0) | (jet3 ? 2 : 0));
            Le16(seed, field.size());
            seed += field;
            for (const auto& r : rows) {
                Le16(seed, r.size());
                seed += r;
            }
            out.Write("field", seed);
            if (column->col_type == MDB_TEXT && !f.is_null) {
                out.Write("text", std::string(1, jet3 ? '\2' : '\1') + field);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: source_fixture_seeds <output folder> <file.mdb>...\n");
        return 2;
    }
    SeedWriter out(argv[1]);
    for (int a = 2; a < argc; ++a) {
        MdbHandle* db = mdb_open(argv[a], MDB_NOFLAGS);
        if (!db || !mdb_read_catalog(db, MDB_TABLE)) {
            std::fprintf(stderr, "skipped %s: libmdb cannot read it\n", argv[a]);
            if (db) {
                mdb_close(db);
            }
            continue;
        }
        for (guint i = 0; i < db->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(db->catalog, i));
            if (mdb_is_system_table(entry)) {
                continue;
            }
            MdbTableDef* table = mdb_read_table(entry);
            if (table && mdb_read_columns(table)) {
                WriteTableSeeds(db, table, out);
            }
            if (table) {
                mdb_free_tabledef(table);
            }
        }
        mdb_close(db);
    }
    std::printf("%zu seeds written to %s\n", out.Count(), argv[1]);
    return 0;
}
