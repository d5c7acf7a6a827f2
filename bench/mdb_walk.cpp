// bench-mdb-walk: the floor under the engine's reading cost. Walks every row of the eight
// tables with libmdb alone, the way the engine's reader does (fetch the row, find it on its
// page, split it into fields), and decodes nothing.
//
// Usage: bench-mdb-walk FILE.mdb
// Standard output: one line per table, "<table> <rows>", then "total <rows> <seconds>", the
// seconds being the walk alone (the file opened and its catalogue read before the clock
// starts). Exit status 1, with the reason on standard error, when the file or a table cannot
// be read.
#include <glib.h>
// glib.h first: mdbtools.h includes it inside extern "C".
#include <mdbtools.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr const char* kTables[] = {"KEN_ALL",    "KEN_ALL_Version", "Mst01", "Mst02",
                                   "Mst02Error", "Mst03",           "Mst04", "Mst04Error"};

struct CloseFile {
    void operator()(MdbHandle* handle) const noexcept { mdb_close(handle); }
};
struct FreeTable {
    void operator()(MdbTableDef* table) const noexcept { mdb_free_tabledef(table); }
};

// The rows of one table, or -1 (with the reason on standard error) when it cannot be read.
long WalkTable(MdbHandle* handle, const char* name) {
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(handle, name);
    if (entry == nullptr) {
        std::fprintf(stderr, "bench-mdb-walk: no table %s\n", name);
        return -1;
    }
    std::unique_ptr<MdbTableDef, FreeTable> table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get())) {
        std::fprintf(stderr, "bench-mdb-walk: cannot read the definition of %s\n", name);
        return -1;
    }
    std::vector<MdbField> fields(table->num_cols);
    mdb_rewind_table(table.get());
    long rows = 0;
    while (mdb_fetch_row(table.get())) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(handle, static_cast<int>(table->cur_row) - 1, &start, &size) != 0 ||
            mdb_crack_row(table.get(), start & 0x1fff, size, fields.data()) < 0) {
            std::fprintf(stderr, "bench-mdb-walk: row %ld of %s cannot be split\n", rows + 1, name);
            return -1;
        }
        ++rows;
    }
    if (rows < static_cast<long>(table->num_rows)) {
        std::fprintf(stderr, "bench-mdb-walk: %s ends after %ld of its %u rows\n", name, rows,
                     table->num_rows);
        return -1;
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-mdb-walk FILE.mdb\n");
        return 2;
    }
    std::unique_ptr<MdbHandle, CloseFile> handle(mdb_open(argv[1], MDB_NOFLAGS));
    if (!handle || !mdb_read_catalog(handle.get(), MDB_TABLE)) {
        std::fprintf(stderr, "bench-mdb-walk: cannot open %s\n", argv[1]);
        return 1;
    }
    const auto begin = std::chrono::steady_clock::now();
    long total = 0;
    std::vector<long> counts;
    for (const char* name : kTables) {
        const long rows = WalkTable(handle.get(), name);
        if (rows < 0) {
            return 1;
        }
        counts.push_back(rows);
        total += rows;
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    for (size_t i = 0; i < counts.size(); ++i) {
        std::printf("%s %ld\n", kTables[i], counts[i]);
    }
    std::printf("total %ld %.3f\n", total, seconds.count());
    return 0;
}
