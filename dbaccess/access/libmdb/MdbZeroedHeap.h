#pragma once

#include <mutex>

// libmdb reads past the data in some of its buffers: on a damaged file, the property parser
// inside mdb_read_catalog reads the unfilled part of the 1 MB buffer that mdb_ole_read_full
// mallocs. What it then does (finish, or loop for ever) depends on whatever the heap held
// before, so brimlow-vet and this process could take different paths through the same file.
// While an MdbZeroedHeap lives, glibc fills fresh allocations (other than those it recycles
// from its small per-thread cache) with zero bytes, in both processes alike, and the check
// predicts the real read. Sections are serialised with one lock, as the setting is global.
class MdbZeroedHeap {
public:
    MdbZeroedHeap() noexcept;
    ~MdbZeroedHeap();

private:
    std::unique_lock<std::recursive_mutex> m_hold;  // not copyable: neither is a section
};
