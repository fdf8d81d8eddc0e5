#include "FileTypes.h"

#include "SError.h"
#include "SRegistry.h"

namespace
{
bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
} // namespace

bool IsValidExtension(const SString& extension)
{
    if (extension.Length() < 2 || extension.Length() > 17 || extension[0] != L'.')
        return false;
    for (int i = 1; i < extension.Length(); ++i)
        if (!IsLetter(extension[i]) && !IsDigit(extension[i]) && extension[i] != L'-' && extension[i] != L'_')
            return false;
    return true;
}

bool IsValidProgId(const SString& progId)
{
    SStringList parts = progId.Split(L'.');
    if (progId.Length() > 39 || parts.Count() < 2 || parts.Count() > 3 || !IsLetter(progId[0]))
        return false;
    for (int p = 0; p < parts.Count(); ++p)
    {
        if (parts[p].IsEmpty())
            return false;
        for (int i = 0; i < parts[p].Length(); ++i)
        {
            wchar_t c = parts[p][i];
            if (p == 2 ? !IsDigit(c) : !IsLetter(c) && !IsDigit(c) && c != L'_')
                return false;
        }
    }
    return true;
}

SString ClassesKeyPath(const SString& name) { return L"Software\\Classes\\" + name; }

SString UserChoiceKeyPath(const SString& extension)
{
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension + L"\\UserChoice";
}

SString AppPathKeyPath(const SString& programFile)
{
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + programFile;
}

SString FileTypeAction(const SString& extension, const SString& progId) { return extension + L"|" + progId; }

bool ParseFileTypeAction(const SString& argument, SString& extension, SString& progId)
{
    int bar = argument.Find(L'|');
    if (bar < 0)
        return false;
    extension = argument.Mid(0, bar);
    progId = argument.Mid(bar + 1);
    return IsValidExtension(extension) && IsValidProgId(progId);
}

HRESULT UnregisterFileType(const SString& extension, const SString& progId)
{
    SString extensionKey = ClassesKeyPath(extension);
    S_RETURN_IF_FAILED(DeleteKeyTree(HKEY_CURRENT_USER, ClassesKeyPath(progId)));
    S_RETURN_IF_FAILED(DeleteValue(HKEY_CURRENT_USER, extensionKey + L"\\OpenWithProgids", progId));
    SString current;
    if (GetValue(HKEY_CURRENT_USER, extensionKey, SString(), current) == S_OK && current == progId)
        S_RETURN_IF_FAILED(DeleteValue(HKEY_CURRENT_USER, extensionKey, SString()));
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, extensionKey + L"\\OpenWithProgids");
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, extensionKey);
    return S_OK;
}
