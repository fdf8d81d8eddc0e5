#pragma once
// The administrator's log: UTF-8 lines, each with a local time stamp, written
// as they come, so that a crash keeps the lines written so far. Process-wide,
// like the error record; until a log is opened, lines cost nothing and go
// nowhere. Callers never log secrets: no credentials, signatures or
// Authorization headers, and URLs through UrlForLog.
#include "SString.h"

namespace SLog
{
// Creates (or empties) the file; false when it cannot be written.
bool Open(const SString& path);
void Line(const SString& text);
// The open log's path; empty when no log is open.
SString Path();
// Moves the open log, with its lines, to path and goes on writing there; it
// stays where it was when it cannot be moved.
void MoveTo(const SString& path);
// "/Log" or "/Log=<path>" anywhere in the command line: true, and the path
// (empty for "/Log" alone, which means the default).
bool Requested(const SString& commandLine, SString& path);
// "%TEMP%\<name> <yyyy-mm-dd hh.mm.ss>.txt".
SString DefaultPath(const SString& name);
// The failure record as one line: its identifier and message lines.
SString FailureText();
} // namespace SLog
