#include "dbaccess/access/libmdb/MdbUsageMap.h"

#include <cstring>

namespace {

constexpr unsigned char kInlineBitmap = 0;
constexpr unsigned char kPageList = 1;
constexpr size_t kMapHeader = 5;    // the kind, then a 4-byte start page
constexpr size_t kMapPageHead = 4;  // bytes before a map page's bitmap

// The index of the last bit set in the bitmap, or -1 when none is.
int64_t LastBitSet(const unsigned char* bitmap, size_t bytes) {
    for (size_t i = bytes; i-- > 0;) {
        if (bitmap[i] != 0) {
            int bit = 7;
            while ((bitmap[i] & (1u << bit)) == 0) {
                --bit;
            }
            return static_cast<int64_t>(i) * 8 + bit;
        }
    }
    return -1;
}

}  // namespace

std::vector<unsigned char> FlattenUsageMap(MdbHandle* handle, const unsigned char* map,
                                           size_t size) {
    if (map == nullptr || size < kMapHeader || map[0] != kPageList) {
        return {};
    }
    const size_t pageSize = handle->fmt->pg_size;
    const size_t bitmapBytes = pageSize - kMapPageHead;
    const size_t mapPages = (size - 1) / 4;
    std::vector<unsigned char> flat(kMapHeader, 0);  // kind 0, start page 0
    for (size_t i = 0; i < mapPages; ++i) {
        const guint32 mapPage = mdb_get_int32(const_cast<unsigned char*>(map), 1 + 4 * i);
        if (mapPage == 0) {
            continue;
        }
        if (mdb_read_alt_pg(handle, mapPage) != static_cast<ssize_t>(pageSize)) {
            return {};
        }
        const size_t at = kMapHeader + i * bitmapBytes;
        flat.resize(at + bitmapBytes, 0);
        std::memcpy(flat.data() + at, handle->alt_pg_buf + kMapPageHead, bitmapBytes);
    }
    return flat;
}

UsageMapFault CheckUsageMap(MdbHandle* handle, const unsigned char* map, size_t size,
                            uint64_t pageCount) {
    using Kind = UsageMapFault::Kind;
    if (map == nullptr || size == 0) {
        return {Kind::Empty, 0};
    }
    // The highest page named is checked: the walk visits the pages in increasing order.
    uint64_t lastPage = 0;
    if (map[0] == kInlineBitmap) {
        if (size < kMapHeader) {
            return {};  // libmdb reads such a map as naming no page
        }
        const int64_t bit = LastBitSet(map + kMapHeader, size - kMapHeader);
        if (bit < 0) {
            return {};
        }
        lastPage = mdb_get_int32(const_cast<unsigned char*>(map), 1) + static_cast<uint64_t>(bit);
    } else if (map[0] == kPageList) {
        const size_t pageSize = handle->fmt->pg_size;
        const size_t bitmapBytes = pageSize - kMapPageHead;
        const size_t mapPages = size >= kMapHeader ? (size - 1) / 4 : 0;
        for (size_t i = 0; i < mapPages; ++i) {
            const guint32 mapPage = mdb_get_int32(const_cast<unsigned char*>(map), 1 + 4 * i);
            if (mapPage == 0) {
                continue;
            }
            if (mapPage >= pageCount ||
                mdb_read_alt_pg(handle, mapPage) != static_cast<ssize_t>(pageSize)) {
                return {Kind::MapPageUnreadable, mapPage};
            }
            const int64_t bit = LastBitSet(handle->alt_pg_buf + kMapPageHead, bitmapBytes);
            if (bit >= 0) {
                lastPage = static_cast<uint64_t>(i) * bitmapBytes * 8 + static_cast<uint64_t>(bit);
            }
        }
    } else {
        return {Kind::UnknownKind, 0};
    }
    if (lastPage >= pageCount) {
        return {Kind::PagePastEnd, lastPage};
    }
    return {};
}
