#pragma once
// The user's wish to stop the work of this process. The window thread asks
// the question and gives the answer; the working thread meets checkpoints,
// where it waits while the question is open and learns whether to go on.
#include <windows.h>

namespace SCancel
{
// The question is open: checkpoints wait for the answer.
void Hold();
// The answer: go on, or stop at the next checkpoint.
void Answer(bool cancel);
// Waits while the question is open; false once the work is cancelled.
bool MayGoOn();
bool IsCancelled();
// Sleeps, ending early when the work is cancelled; false then.
bool Sleep(DWORD milliseconds);
} // namespace SCancel
