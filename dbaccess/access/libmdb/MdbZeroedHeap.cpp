#include "dbaccess/access/libmdb/MdbZeroedHeap.h"

#include <malloc.h>

namespace {

std::recursive_mutex& HeapSettingLock() {
    static std::recursive_mutex lock;
    return lock;
}

// With M_PERTURB set to p, malloc fills what it hands out with ~p, and free fills with p.
constexpr int kFillWithZeros = 0xFF;

}  // namespace

MdbZeroedHeap::MdbZeroedHeap() noexcept : m_hold(HeapSettingLock()) {
    mallopt(M_PERTURB, kFillWithZeros);
}

MdbZeroedHeap::~MdbZeroedHeap() {
    // Before m_hold lets the next section in.
    mallopt(M_PERTURB, 0);
}
