#include "dbaccess/access/jet/JetMemo.h"

#include <string>
#include <unordered_set>

#include "dbaccess/access/jet/JetBytes.h"
#include "dbaccess/access/jet/JetFormatError.h"

namespace {

constexpr size_t kHeaderSize = 12;
constexpr uint32_t kInline = 0x80000000;
constexpr uint32_t kSinglePage = 0x40000000;
constexpr uint32_t kFlagMask = 0xC0000000;

std::span<const uint8_t> RequireRow(const LvalRowReader& readRow, uint32_t pageRow) {
    const auto row = readRow(pageRow);
    if (!row) {
        throw CJetFormatError("a memo points to page " + std::to_string(pageRow >> 8) + " row " +
                              std::to_string(pageRow & 0xFF) + ", which does not exist");
    }
    return *row;
}

std::string Shortfall(size_t have, size_t want) {
    return "a memo holds " + std::to_string(have) + " of its " + std::to_string(want) + " bytes";
}

// A chain of LVAL rows: 4 bytes naming the next row, then data. A row seen twice is a loop,
// which only a damaged file holds; without this check the loop would never end.
std::vector<uint8_t> ReadChain(uint32_t pageRow, size_t length, const LvalRowReader& readRow) {
    std::vector<uint8_t> data;
    std::unordered_set<uint32_t> seen;
    while (data.size() < length) {
        if (pageRow == 0) {
            throw CJetFormatError(Shortfall(data.size(), length));
        }
        if (!seen.insert(pageRow).second) {
            throw CJetFormatError("a memo's chain of pages loops back on itself");
        }
        const auto row = RequireRow(readRow, pageRow);
        if (row.size() < 4) {
            throw CJetFormatError("a memo page row is too short to name its successor");
        }
        pageRow = jetbytes::Le32(row, 0);
        const auto chunk = row.subspan(4, std::min(row.size() - 4, length - data.size()));
        data.insert(data.end(), chunk.begin(), chunk.end());
    }
    return data;
}

}  // namespace

std::vector<uint8_t> ReadMemoBytes(std::span<const uint8_t> field, const LvalRowReader& readRow) {
    if (field.empty()) {
        return {};
    }
    if (field.size() < kHeaderSize) {
        throw CJetFormatError("a memo field is " + std::to_string(field.size()) +
                              " bytes, shorter than its 12-byte header");
    }
    const uint32_t lengthAndFlags = jetbytes::Le32(field, 0);
    const size_t length = lengthAndFlags & ~kFlagMask;
    const uint32_t pageRow = jetbytes::Le32(field, 4);
    switch (lengthAndFlags & kFlagMask) {
        case kInline: {
            const auto data = field.subspan(kHeaderSize);
            if (data.size() < length) {
                throw CJetFormatError(Shortfall(data.size(), length));
            }
            return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length)};
        }
        case kSinglePage: {
            const auto row = RequireRow(readRow, pageRow);
            if (row.size() < length) {
                throw CJetFormatError(Shortfall(row.size(), length));
            }
            return {row.begin(), row.begin() + static_cast<std::ptrdiff_t>(length)};
        }
        case 0:
            return ReadChain(pageRow, length, readRow);
        default:
            throw CJetFormatError("a memo field has unknown storage flags");
    }
}
