#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// Gives the bytes of one row of a long-value (LVAL) page, addressed as Access stores it:
// page number << 8 | row number. Empty when the row does not exist. The bytes stay valid
// until the next call.
using LvalRowReader = std::function<std::optional<std::span<const uint8_t>>(uint32_t pageRow)>;

// Assembles the whole value of a Memo (or OLE) field from its bytes in the row: a 12-byte
// header (length with storage flags, the first LVAL page/row, 4 unused bytes), then either the
// data inline, or the data in one LVAL row, or a chain of LVAL rows each starting with the
// page/row of the next. An empty field is an empty value. Throws CJetFormatError when the
// header, a length or the chain does not add up.
std::vector<uint8_t> ReadMemoBytes(std::span<const uint8_t> field, const LvalRowReader& readRow);
