#include "tests/support/DeclaredRows.h"

#include <fstream>
#include <stdexcept>

#include "dbaccess/access/libmdb/MdbDatabase.h"

namespace testsupport {

void CopyWithDeclaredRows(const std::filesystem::path& from, const std::filesystem::path& to,
                          const std::string& table, uint32_t declared) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::streamoff at = 0;
    {
        MdbDatabase file(to.string());
        const MdbCatalogEntry* entry = file.FindTable(table);
        if (entry == nullptr) {
            throw std::invalid_argument("no table " + table + " in " + from.string());
        }
        const MdbFormatConstants* format = file.Handle()->fmt;
        at = static_cast<std::streamoff>(entry->table_pg) * format->pg_size +
             format->tab_num_rows_offset;
    }
    const char bytes[4] = {static_cast<char>(declared), static_cast<char>(declared >> 8),
                           static_cast<char>(declared >> 16), static_cast<char>(declared >> 24)};
    std::fstream out(to, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(at);
    out.write(bytes, sizeof bytes);
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + to.string());
    }
}

}  // namespace testsupport
