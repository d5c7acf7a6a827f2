#include "migration/verify/RowDigest.h"

#include <cstdint>
#include <cstring>

#include <xxhash.h>

#include "migration/statement/ColumnKind.h"

namespace {

// A value's length goes in before its bytes, so that no two rows share an encoding.
void AppendLength(std::string& out, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    char bytes[sizeof length];
    std::memcpy(bytes, &length, sizeof length);
    out.append(bytes, sizeof bytes);
}

}  // namespace

void CRowHasher::AddNull() {
    m_buffer.push_back('\0');
    ++m_nColumn;
}

void CRowHasher::AddValue(const char* data, std::size_t size) {
    if (Padded()) {
        while (size > 0 && data[size - 1] == ' ') {
            --size;
        }
    }
    m_buffer.push_back('\1');
    AppendLength(m_buffer, size);
    m_buffer.append(data, size);
    ++m_nColumn;
}

RowHash CRowHasher::Finish() const {
    const XXH128_hash_t hash = XXH3_128bits(m_buffer.data(), m_buffer.size());
    return (static_cast<RowHash>(hash.high64) << 64) | hash.low64;
}

RowHash CRowHasher::HashRow(const CInsertItemList& row) {
    Begin();
    for (const CInsertItem& item : row.m_items) {
        if (item.m_nKind == COLKIND_NULL) {
            AddNull();
        } else {
            AddValue(item.m_strValue.data(), item.m_strValue.size());
        }
    }
    return Finish();
}
