#pragma once

#include <cstddef>
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
