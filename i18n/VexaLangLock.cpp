#include "i18n/VexaLangLock.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace {

enum class THeldMode { Shared, Exclusive };

// What the current thread holds of one lock.
struct THeldLock {
    const TVexaLangLock* Lock;
    THeldMode Mode;
    int Reads;
    int Writes;
};

thread_local std::vector<THeldLock> HeldLocks;

THeldLock* FindHeld(const TVexaLangLock* lock) {
    auto it = std::find_if(HeldLocks.begin(), HeldLocks.end(),
                           [lock](const THeldLock& held) { return held.Lock == lock; });
    return it != HeldLocks.end() ? &*it : nullptr;
}

void ForgetHeld(const TVexaLangLock* lock) {
    std::erase_if(HeldLocks, [lock](const THeldLock& held) { return held.Lock == lock; });
}

} // namespace

void TVexaLangLock::BeginRead() {
    if (THeldLock* held = FindHeld(this)) {
        ++held->Reads;
        return;
    }
    Mutex.lock_shared();
    HeldLocks.push_back({this, THeldMode::Shared, 1, 0});
}

void TVexaLangLock::EndRead() {
    THeldLock* held = FindHeld(this);
    assert(held != nullptr && held->Reads > 0);
    if (--held->Reads > 0 || held->Writes > 0)
        return;
    Mutex.unlock_shared();
    ForgetHeld(this);
}

void TVexaLangLock::BeginWrite() {
    THeldLock* held = FindHeld(this);
    if (held == nullptr) {
        Mutex.lock();
        HeldLocks.push_back({this, THeldMode::Exclusive, 0, 1});
        return;
    }
    if (held->Mode == THeldMode::Shared) {
        Mutex.unlock_shared();
        Mutex.lock();
        held = FindHeld(this);
        held->Mode = THeldMode::Exclusive;
    }
    ++held->Writes;
}

void TVexaLangLock::EndWrite() {
    THeldLock* held = FindHeld(this);
    assert(held != nullptr && held->Writes > 0);
    if (--held->Writes > 0)
        return;
    Mutex.unlock();
    if (held->Reads > 0) {
        Mutex.lock_shared();
        held = FindHeld(this);
        held->Mode = THeldMode::Shared;
    } else {
        ForgetHeld(this);
    }
}
