#pragma once
// Where a download's time goes, for the log: a clock adds the time of its
// scope to a stage's counter. Each counter belongs to one thread.
#include "SString.h"

#include <windows.h>

class StageClock
{
public:
    explicit StageClock(LONGLONG& stage) : m_stage(stage) { m_start = Now(); }
    ~StageClock() { m_stage += Now() - m_start; }
    StageClock(const StageClock&) = delete;
    StageClock& operator=(const StageClock&) = delete;

    static LONGLONG Now()
    {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
    static SString Milliseconds(LONGLONG ticks)
    {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return SString::FromUnsigned(static_cast<DWORD>(ticks * 1000 / frequency.QuadPart)) + L" ms";
    }

private:
    LONGLONG& m_stage;
    LONGLONG m_start;
};
