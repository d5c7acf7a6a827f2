#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dbaccess/access/libmdb/MdbApi.h"

// A table's usage map names its data pages. The large tables' maps are of the second kind: a
// list of map pages, each a bitmap of (page size - 4) * 8 pages. libmdb reads the map page
// again for every data page it moves to, which doubles the reads of a table walk. The same
// bits laid end to end form a map of the first kind (a start page and one bitmap), which
// libmdb walks without reading anything.
//
// Returns that map, starting at page 0, for a map of the second kind whose map pages can all
// be read whole; an empty vector otherwise (a map of the first kind, or one libmdb should
// keep walking itself, so that it reports a damaged map page in its own way).
std::vector<unsigned char> FlattenUsageMap(MdbHandle* handle, const unsigned char* map,
                                           size_t size);

// What keeps a usage map from being walked to its end in a file of a given number of pages.
struct UsageMapFault {
    enum class Kind {
        None,
        Empty,              // no map at all: libmdb would read through a null pointer
        UnknownKind,        // neither kind: libmdb would read every page of the file instead
        MapPageUnreadable,  // page: a map page past the end of the file or cut short
        PagePastEnd,        // page: the last data page named, which the file does not hold whole
    };
    Kind kind = Kind::None;
    uint64_t page = 0;
};

// Checks every page number the map names against a file of pageCount whole pages. libmdb's
// table walk answers the same at the end of the map and when a page cannot be read, so a
// truncated file is told from a short table here, before the walk. Reads the map pages of a
// map of the second kind into libmdb's second page buffer.
UsageMapFault CheckUsageMap(MdbHandle* handle, const unsigned char* map, size_t size,
                            uint64_t pageCount);
