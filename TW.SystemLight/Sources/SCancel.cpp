#include "SCancel.h"

namespace
{
// The flags are read at every checkpoint, thousands of times in a download,
// without a call into the system; the events are only waited on. "Not
// held" is set while no question is open, "cancelled" once the answer was
// to stop.
volatile LONG g_held = 0;
volatile LONG g_cancelled = 0;

struct CancelEvents
{
    CancelEvents()
        : notHeld(::CreateEventW(NULL, TRUE, TRUE, NULL)), cancelled(::CreateEventW(NULL, TRUE, FALSE, NULL))
    {
    }
    HANDLE notHeld;
    HANDLE cancelled;
};

// Made before the program's threads start: a function-local static would be
// made twice by two threads, since statics are not guarded in this build.
CancelEvents g_events;

CancelEvents& Events() { return g_events; }
} // namespace

void SCancel::Hold()
{
    ::ResetEvent(Events().notHeld);
    ::InterlockedExchange(&g_held, 1);
}

void SCancel::Answer(bool cancel)
{
    if (cancel)
    {
        ::InterlockedExchange(&g_cancelled, 1);
        ::SetEvent(Events().cancelled);
    }
    ::InterlockedExchange(&g_held, 0);
    ::SetEvent(Events().notHeld);
}

bool SCancel::MayGoOn()
{
    if (g_held)
        ::WaitForSingleObject(Events().notHeld, INFINITE);
    return !IsCancelled();
}

bool SCancel::IsCancelled()
{
    return g_cancelled != 0;
}

bool SCancel::Sleep(DWORD milliseconds)
{
    return ::WaitForSingleObject(Events().cancelled, milliseconds) != WAIT_OBJECT_0;
}
