#include "SCancel.h"

namespace
{
// Manual-reset events, made while the program starts: "not held" is set
// while no question is open, "cancelled" once the answer was to stop.
struct CancelEvents
{
    CancelEvents()
        : notHeld(::CreateEventW(NULL, TRUE, TRUE, NULL)), cancelled(::CreateEventW(NULL, TRUE, FALSE, NULL))
    {
    }
    HANDLE notHeld;
    HANDLE cancelled;
};

CancelEvents& Events()
{
    static CancelEvents events;
    return events;
}
} // namespace

void SCancel::Hold()
{
    ::ResetEvent(Events().notHeld);
}

void SCancel::Answer(bool cancel)
{
    if (cancel)
        ::SetEvent(Events().cancelled);
    ::SetEvent(Events().notHeld);
}

bool SCancel::MayGoOn()
{
    ::WaitForSingleObject(Events().notHeld, INFINITE);
    return !IsCancelled();
}

bool SCancel::IsCancelled()
{
    return ::WaitForSingleObject(Events().cancelled, 0) == WAIT_OBJECT_0;
}

bool SCancel::Sleep(DWORD milliseconds)
{
    return ::WaitForSingleObject(Events().cancelled, milliseconds) != WAIT_OBJECT_0;
}
