#pragma once
// The setup program's exit codes, which deployment tools and package
// managers tell apart: 0 installed, 1 failed with no more specific code, and
// the codes below, each after the rollback. Callers that test for non-zero
// see no change.
#include "SString.h"

const int exitInstalled = 0;
const int exitFailed = 1;
const int exitInUse = 32;        // ERROR_SHARING_VIOLATION: a program of the install runs
const int exitDiskFull = 112;    // ERROR_DISK_FULL
const int exitCancelled = 1602;  // ERROR_INSTALL_USEREXIT
const int exitBusy = 1618;       // ERROR_INSTALL_ALREADY_RUNNING
const int exitDowngrade = 1638;  // ERROR_PRODUCT_VERSION: a newer version is installed

// The code for the failure that the error record holds.
int ExitCodeForFailure();
