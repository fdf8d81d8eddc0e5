// How the shell knows the application: the file types it opens, its App
// Paths entry (Win+R and "start <name>"), and its AppUserModelID. Every key
// is copied by the transaction before its first change, so a rollback puts
// back exactly what was there; a type the user already opens with another
// program only gains an "Open with" entry.
#include "TWInstall.h"

#include "FileTypes.h"
#include "Names.h"

#include "SError.h"
#include "SLog.h"
#include "SRegistry.h"
#include "SShell.h"

namespace
{
// The user opens the type with a program already: their own choice, or a
// default that another installer set.
bool HasDefault(const SString& extension)
{
    SString current;
    return (GetValue(HKEY_CURRENT_USER, ClassesKeyPath(extension), SString(), current) == S_OK && !current.IsEmpty()) ||
           KeyExists(HKEY_CURRENT_USER, UserChoiceKeyPath(extension));
}
} // namespace

HRESULT CheckFileTypes(const InstallPackage& package)
{
    for (int i = 0; i < package.fileExtensions.Count(); ++i)
        if (!IsValidExtension(package.fileExtensions[i]) || !IsValidProgId(package.fileProgIds[i]))
        {
            SERROR_SET("ReadPackage.FileType")
                .Add(package.fileExtensions[i] + L" " + package.fileProgIds[i])
                .Add(L"An extension is \".\" and 1 to 16 letters, digits, \"-\" or \"_\"; a ProgID is "
                     L"Vendor.Name or Vendor.Name.Version.");
            return E_FAIL;
        }
    return S_OK;
}

HRESULT TWInstall::RegisterFileType(const SString& extension, const SString& progId, const SString& description,
                                    const SString& program, const SString& icon)
{
    SString progIdKey = ClassesKeyPath(progId);
    SString extensionKey = ClassesKeyPath(extension);
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(HKEY_CURRENT_USER, progIdKey));
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(HKEY_CURRENT_USER, extensionKey));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, progIdKey, SString(), description));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, progIdKey + L"\\DefaultIcon", SString(), icon));
    S_RETURN_IF_FAILED(
        SetValue(HKEY_CURRENT_USER, progIdKey + L"\\shell\\open\\command", SString(), L"\"" + program + L"\" \"%1\""));
    bool takeDefault = !HasDefault(extension);
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, extensionKey + L"\\OpenWithProgids", progId, SString()));
    if (takeDefault)
        S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, extensionKey, SString(), progId));
    SLog::Line(L"file type: " + extension + L" -> " + progId +
               (takeDefault ? L" (the default)" : L" (\"Open with\" only: the user opens it with another program)"));
    RecordUndo(L"UnregisterFileType." + FileTypeAction(extension, progId));
    return S_OK;
}

// App Paths are one name space for every program of the user: an entry
// that names another program of the same file name stays its own.
HRESULT TWInstall::RegisterAppPath(const SString& programFile, const SString& program, const SString& folder)
{
    SString key = AppPathKeyPath(programFile);
    SString current;
    if (GetValue(HKEY_CURRENT_USER, key, SString(), current) == S_OK && !current.IsEmpty() && current != program)
    {
        SLog::Line(L"App Paths entry left to the program it names: " + current);
        return S_OK;
    }
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(HKEY_CURRENT_USER, key));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, key, SString(), program));
    S_RETURN_IF_FAILED(SetValue(HKEY_CURRENT_USER, key, L"Path", folder));
    RecordUndo(L"UnregisterAppPath." + programFile);
    return S_OK;
}

HRESULT TWInstall::RegisterWithTheShell(Run& run)
{
    SString programFile = run.module + L".exe";
    SString program = run.folders.program + L"\\" + programFile;
    for (int i = 0; i < run.package.fileExtensions.Count(); ++i)
        S_RETURN_IF_FAILED(RegisterFileType(run.package.fileExtensions[i], run.package.fileProgIds[i],
                                            run.package.fileDescriptions[i], program, run.icon));
    if (run.package.fileExtensions.Count())
        NotifyAssociationsChanged();
    S_RETURN_IF_FAILED(RegisterAppPath(programFile, program, run.folders.program));
    // For the application, which gives its process the same ID.
    S_RETURN_IF_FAILED(m_transaction.ProtectKey(run.folders.recordRoot, run.folders.keyPath));
    return SetValue(run.folders.recordRoot, run.folders.keyPath, appUserModelIdValue, AppUserModelId());
}
