#pragma once
// Holds a slim reader/writer lock exclusively for its scope.
#include <windows.h>

class SLocked
{
public:
    explicit SLocked(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~SLocked() { ::ReleaseSRWLockExclusive(&m_lock); }
    SLocked(const SLocked&) = delete;
    SLocked& operator=(const SLocked&) = delete;

private:
    SRWLOCK& m_lock;
};
