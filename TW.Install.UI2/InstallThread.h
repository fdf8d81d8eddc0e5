#pragma once
// One install attempt: the engine with options from the localized settings,
// reporting to the installing page.
#include <windows.h>

// Bar position (range 0..256) for an engine fraction: not-finite gives 0,
// the result is clamped to the range.
int ProgressPosition(float fraction);
// Runs one attempt and posts msgThreadEnd or msgThreadError to the frame.
// Returns 0; the attempt's result is left in lastInstallResult.
DWORD WINAPI InstallThread(LPVOID parameter);
extern volatile HRESULT lastInstallResult;
