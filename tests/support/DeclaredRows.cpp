#include "tests/support/DeclaredRows.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

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

std::pair<uint32_t, uint32_t> CopyWithRepeatedDataPage(const std::filesystem::path& from,
                                                       const std::filesystem::path& to,
                                                       const std::string& table) {
    size_t pageSize = 0;
    size_t countAt = 0;
    uint32_t definition = 0;
    {
        MdbDatabase file(from.string());
        const MdbCatalogEntry* entry = file.FindTable(table);
        if (entry == nullptr) {
            throw std::invalid_argument("no table " + table + " in " + from.string());
        }
        pageSize = file.Handle()->fmt->pg_size;
        countAt = file.Handle()->fmt->row_count_offset;
        definition = static_cast<uint32_t>(entry->table_pg);
    }
    std::ifstream in(from, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const auto u8 = [&](size_t at) { return static_cast<uint8_t>(bytes[at]); };
    const auto le = [&](size_t at, int n) {
        uint32_t value = 0;
        for (int i = n - 1; i >= 0; --i) {
            value = value << 8 | u8(at + static_cast<size_t>(i));
        }
        return value;
    };
    std::vector<uint32_t> pages;
    for (size_t page = 1; page < bytes.size() / pageSize; ++page) {
        const size_t at = page * pageSize;
        if (u8(at) == 1 && le(at + 4, 4) == definition) {
            pages.push_back(static_cast<uint32_t>(page));
        }
    }
    for (size_t i = 1; i < pages.size(); ++i) {
        const uint32_t rows = le(pages[0] * pageSize + countAt, 2);
        if (le(pages[i] * pageSize + countAt, 2) != rows) {
            bytes.replace(pages[i] * pageSize, pageSize, bytes, pages[0] * pageSize, pageSize);
            std::ofstream out(to, std::ios::binary | std::ios::trunc);
            out << bytes;
            if (!out.flush()) {
                throw std::runtime_error("cannot write " + to.string());
            }
            return {pages[0], pages[i]};
        }
    }
    throw std::invalid_argument("no two data pages of " + table + " hold different rows");
}

}  // namespace testsupport
