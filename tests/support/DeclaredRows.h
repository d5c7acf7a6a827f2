#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

namespace testsupport {

// Copies an .mdb file to `to` with one table's definition declaring `declared` rows, as a
// crash or an interrupted write can leave it until Access's next Compact and Repair. The
// count is the 4-byte little-endian integer at offset 16 (12 in Access 97) of the table's
// definition page, the page its catalogue entry names; libmdb knows both and finds the page.
// Only those four bytes differ from the original.
void CopyWithDeclaredRows(const std::filesystem::path& from, const std::filesystem::path& to,
                          const std::string& table, uint32_t declared);

// Copies an .mdb file to `to` with one data page of the table overwritten by another of its
// data pages, as an interrupted copy or a failing sync tool can leave it: the first data page
// (in file order) over the first later one that holds a different number of rows, so that
// the rows read disagree with the declared count. Returns {the page copied, the page
// overwritten}. Throws std::invalid_argument when the table has no such pair.
std::pair<uint32_t, uint32_t> CopyWithRepeatedDataPage(const std::filesystem::path& from,
                                                       const std::filesystem::path& to,
                                                       const std::string& table);

}  // namespace testsupport
