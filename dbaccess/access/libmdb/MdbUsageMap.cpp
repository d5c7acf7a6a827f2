#include "dbaccess/access/libmdb/MdbUsageMap.h"

#include <cstring>

namespace {

constexpr unsigned char kPageList = 1;
constexpr size_t kMapHeader = 5;    // the kind, then a 4-byte start page
constexpr size_t kMapPageHead = 4;  // bytes before a map page's bitmap

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
