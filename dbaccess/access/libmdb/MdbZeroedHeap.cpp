#include "dbaccess/access/libmdb/MdbZeroedHeap.h"

#include <malloc.h>

#include <mutex>

namespace {

std::recursive_mutex& HeapSettingLock() {
    static std::recursive_mutex lock;
    return lock;
}

// With M_PERTURB set to p, malloc fills what it hands out with ~p, and free fills with p.
constexpr int kFillWithZeros = 0xFF;

}  // namespace

MdbZeroedHeap::MdbZeroedHeap() noexcept {
    HeapSettingLock().lock();
    mallopt(M_PERTURB, kFillWithZeros);
}

MdbZeroedHeap::~MdbZeroedHeap() {
    mallopt(M_PERTURB, 0);
    HeapSettingLock().unlock();
}
