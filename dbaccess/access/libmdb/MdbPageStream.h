#pragma once

#include "dbaccess/access/libmdb/MdbApi.h"

// libmdb reads each page through its stdio stream with four system calls: a seek to the end
// and a tell (to refuse a page beyond the end), a seek to the page and a read. Replaces the
// stream of an open file with one that answers the same calls with one positioned read, and
// a size query at most every 100 ms. libmdb sees the same bytes, the same end of file and
// the same errors. Leaves the stream as it was and returns false when the replacement cannot
// be made.
bool UsePositionedReads(MdbHandle* handle) noexcept;
