#pragma once
// What every allocation of the programs does when memory runs out: one line
// into the administrator's log, written without allocating, then the end of
// the program with ERROR_NOT_ENOUGH_MEMORY (8), a documented exit code. The
// log defines it (SLog.cpp), since only the log knows where the line goes.
[[noreturn]] void SEndOutOfMemory();
