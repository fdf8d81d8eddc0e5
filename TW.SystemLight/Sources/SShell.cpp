#include "SShell.h"

#include "SError.h"
#include "SHandle.h"

#include <shlobj.h>
#include <propsys.h>
#include <shobjidl.h>

#include <vector>

namespace
{
// {9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}, 5: PKEY_AppUserModel_ID.
const PROPERTYKEY g_appUserModelId = {{0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

void SetAppUserModelId(IShellLinkW* link, const SString& id)
{
    SComPtr<IPropertyStore> store;
    if (id.IsEmpty() || FAILED(link->QueryInterface(IID_IPropertyStore, store.PutVoid())) || !store.Get())
        return;
    PROPVARIANT value;
    ::ZeroMemory(&value, sizeof(value));
    value.vt = VT_LPWSTR;
    value.pwszVal = const_cast<wchar_t*>(id.CStr());
    if (SUCCEEDED(store->SetValue(g_appUserModelId, value)))
        store->Commit();
}
} // namespace

HRESULT TWCreateShortcut(const SString& target, const SString& arguments, const SString& icon, const SString& file,
                         const SString& description, const SString& appUserModelId)
{
    SComPtr<IShellLinkW> link;
    HRESULT created = ::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid());
    if (FAILED(created) || !link.Get())
    {
        SERROR_SET("TWCreateShortcut.CoCreateInstance").Add(target).Add(file);
        return E_FAIL;
    }
    link->SetPath(target.CStr());
    link->SetIconLocation(icon.CStr(), 0);
    link->SetDescription(description.CStr());
    link->SetArguments(arguments.CStr());
    SetAppUserModelId(link.Get(), appUserModelId);
    SComPtr<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, persist.PutVoid())) || !persist.Get())
    {
        SERROR_SET("TWCreateShortcut.QueryInterface").Add(target).Add(file);
        return E_FAIL;
    }
    // A shortcut that was not written must not be recorded for removal.
    HRESULT saved = persist->Save(file.CStr(), TRUE);
    if (FAILED(saved) || ::GetFileAttributesW(file.CStr()) == INVALID_FILE_ATTRIBUTES)
    {
        SERROR_SET("TWCreateShortcut.Save").Add(target).Add(file);
        return E_FAIL;
    }
    return S_OK;
}

namespace
{
SString ShellFolder(int folder)
{
    wchar_t path[MAX_PATH] = {0};
    ::SHGetFolderPathW(NULL, folder, NULL, 0, path);
    return SString(path);
}
} // namespace

SString GetDesktopFolder() { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }

SString GetStartMenuFolder() { return ShellFolder(CSIDL_STARTMENU); }

SString GetLocalAppDataFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA); }

namespace
{
// False on a shell without known folders; otherwise the folder of that
// FOLDERID, empty where the system has none.
bool LookUpKnownFolder(const wchar_t* folderId, SString& folder)
{
    typedef HRESULT(WINAPI * KnownFolderPath)(REFGUID, DWORD, HANDLE, PWSTR*);
    // Loaded once and kept: the shell stays loaded for the life of the process.
    HMODULE shell = ::LoadLibraryW(L"SHELL32.DLL");
    KnownFolderPath getPath =
        shell ? SGetProc<KnownFolderPath>(shell, "SHGetKnownFolderPath") : NULL;
    if (!getPath)
        return false;
    GUID id = GUID_NULL;
    BSTR text = ::SysAllocString(folderId);
    ::CLSIDFromString(text, &id);
    ::SysFreeString(text);
    SCoTaskMem path;
    bool found = SUCCEEDED(getPath(id, 0, NULL, reinterpret_cast<PWSTR*>(path.Put()))) && path.Get();
    folder = found ? SString(static_cast<const wchar_t*>(path.Get())) : SString();
    return true;
}
} // namespace

SString GetKnownFolder(const wchar_t* folderId)
{
    SString folder;
    LookUpKnownFolder(folderId, folder);
    return folder;
}

SString GetLocalAppDataLowFolder()
{
    SString low;
    return LookUpKnownFolder(L"{A520A1A4-1780-4FF6-BD18-167343C5AF16}", low) ? low : GetLocalAppDataFolder();
}

void NotifyAssociationsChanged() { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL); }

HRESULT StartProcess(const SString& commandLine)
{
    if (commandLine.IsEmpty())
        return S_OK;
    std::vector<wchar_t> writable(commandLine.CStr(), commandLine.CStr() + commandLine.Length() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ::GetStartupInfoW(&startup);
    PROCESS_INFORMATION process = {};
    if (::CreateProcessW(NULL, &writable[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    return S_OK;
}
