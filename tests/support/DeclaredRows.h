#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace testsupport {

// Copies an .mdb file to `to` with one table's definition declaring `declared` rows, as a
// crash or an interrupted write can leave it until Access's next Compact and Repair. The
// count is the 4-byte little-endian integer at offset 16 (12 in Access 97) of the table's
// definition page, the page its catalogue entry names; libmdb knows both and finds the page.
// Only those four bytes differ from the original.
void CopyWithDeclaredRows(const std::filesystem::path& from, const std::filesystem::path& to,
                          const std::string& table, uint32_t declared);

}  // namespace testsupport
