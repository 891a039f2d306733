#pragma once

#include <shared_mutex>

// The language manager's multi-reader/single-writer lock. Unlike a bare std::shared_mutex
// it may be taken again by a thread that already holds it: controller handlers run under
// the read lock and read constants, or register a new form's controller. A thread that
// holds only the read lock and asks for the write lock gives the read lock up while it
// waits, so state read before the upgrade must be read again after it.
class TVexaLangLock {
public:
    TVexaLangLock() = default;
    TVexaLangLock(const TVexaLangLock&) = delete;
    TVexaLangLock& operator=(const TVexaLangLock&) = delete;

    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

    class TReadGuard {
    public:
        explicit TReadGuard(TVexaLangLock& lock) : Lock(lock) { Lock.BeginRead(); }
        ~TReadGuard() { Lock.EndRead(); }
        TReadGuard(const TReadGuard&) = delete;
        TReadGuard& operator=(const TReadGuard&) = delete;

    private:
        TVexaLangLock& Lock;
    };

    class TWriteGuard {
    public:
        explicit TWriteGuard(TVexaLangLock& lock) : Lock(lock) { Lock.BeginWrite(); }
        ~TWriteGuard() { Lock.EndWrite(); }
        TWriteGuard(const TWriteGuard&) = delete;
        TWriteGuard& operator=(const TWriteGuard&) = delete;

    private:
        TVexaLangLock& Lock;
    };

private:
    std::shared_mutex Mutex;
};
