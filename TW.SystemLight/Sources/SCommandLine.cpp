#include "SCommandLine.h"

bool FindSwitch(const SString& commandLine, const wchar_t* name, SString& value)
{
    int at = commandLine.Find(name);
    if (at < 0)
        return false;
    value = SString();
    SString rest = commandLine.Mid(at + lstrlenW(name));
    if (rest.Length() == 0 || rest[0] != L'=')
        return true;
    rest = rest.Mid(1);
    bool quoted = (at > 0 && commandLine[at - 1] == L'"') || (rest.Length() > 0 && rest[0] == L'"');
    if (rest.Length() > 0 && rest[0] == L'"')
        rest = rest.Mid(1);
    int end = rest.Find(quoted ? L'"' : L' ');
    value = end < 0 ? rest : rest.Mid(0, end);
    return true;
}
