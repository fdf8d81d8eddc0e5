#include "OrphanEntry.h"

#include "Names.h"
#include "ProtectedFolder.h"

#include "SPath.h"
#include "SRegistry.h"

#include <initializer_list>

namespace
{
bool IsMissing(const SString& path) { return ::GetFileAttributesW(path.CStr()) == INVALID_FILE_ATTRIBUTES; }

// The path that a command line starts, quoted or not.
SString CommandProgram(const SString& command)
{
    if (!command.StartsWith(L"\""))
        return command;
    int end = command.Mid(1).Find(L'"');
    return end < 0 ? command.Mid(1) : command.Mid(1, end);
}
} // namespace

bool StartsThisRemover(const SString& command) { return IsSameFolder(CommandProgram(command), GetModulePath()); }

bool FindOrphanEntry(const SString& ownFolder, HKEY& root, SString& path)
{
    if (!IsMissing(Combine(ownFolder, L"Uninstall")) || !IsMissing(Combine(ownFolder, L".deployment")))
        return false;
    SString entries = UninstallEntriesPath();
    for (HKEY candidate : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        SStringList names;
        if (ListKeys(candidate, entries, names) != S_OK)
            continue;
        for (int i = 0; i < names.Count(); ++i)
        {
            SString command;
            if (GetValue(candidate, entries + L"\\" + names[i], L"UninstallString", command) == S_OK &&
                StartsThisRemover(command))
            {
                root = candidate;
                path = entries + L"\\" + names[i];
                return true;
            }
        }
    }
    return false;
}
