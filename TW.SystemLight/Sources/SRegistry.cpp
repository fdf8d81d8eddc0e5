#include "SRegistry.h"

#include "SError.h"
#include "SHandle.h"
#include "SLog.h"

namespace
{
// Opens or creates every component of the path below the root. On failure
// raises "SetValue" with the component and the path.
HRESULT OpenPath(HKEY root, const SString& path, SKey& key)
{
    HKEY current = root;
    SKey owner;
    SStringList components = path.Split(L'\\');
    for (int i = 0; i < components.Count(); ++i)
    {
        HKEY next = NULL;
        if (::RegOpenKeyW(current, components[i].CStr(), &next) != ERROR_SUCCESS &&
            ::RegCreateKeyW(current, components[i].CStr(), &next) != ERROR_SUCCESS)
        {
            SERROR_SET("SetValue").Add(components[i]).Add(path);
            return E_FAIL;
        }
        owner.Reset(next);
        current = next;
    }
    key = static_cast<SKey&&>(owner);
    return S_OK;
}

SString RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"HKEY";
}

HRESULT WriteValue(HKEY root, const SString& path, const SString& name, const wchar_t* valueName, DWORD type,
                   const BYTE* data, DWORD size)
{
    SKey key;
    S_RETURN_IF_FAILED(OpenPath(root, path, key));
    HKEY target = key.IsValid() ? key.Get() : root;
    if (::RegSetValueExW(target, valueName, 0, type, data, size) != ERROR_SUCCESS)
    {
        SERROR_SET("SetValue").Add(name).Add(path);
        return E_FAIL;
    }
    SLog::Line(L"registry value: " + RootName(root) + L"\\" + path + L" | " + (name.IsEmpty() ? SString(L"(default)") : name) +
               L" | " + (type == REG_DWORD ? L"REG_DWORD" : L"REG_SZ"));
    return S_OK;
}
} // namespace

HRESULT SetValue(HKEY root, const SString& path, const SString& name, const SString& text)
{
    // With its terminating zero, as the platform documents: readers that copy
    // the value into a zeroless buffer, and "reg export", rely on it.
    return WriteValue(root, path, name, name.Data(), REG_SZ, reinterpret_cast<const BYTE*>(text.CStr()),
                      static_cast<DWORD>((text.Length() + 1) * sizeof(wchar_t)));
}

HRESULT SetValue(HKEY root, const SString& path, const SString& name, DWORD number)
{
    return WriteValue(root, path, name, name.CStr(), REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                      sizeof(number));
}

HRESULT GetValue(HKEY root, const SString& path, const SString& name, SString& text)
{
    SKey key;
    if (::RegOpenKeyW(root, path.CStr(), key.Put()) != ERROR_SUCCESS)
    {
        SERROR_SET("RegOpenKey").Add(path);
        return E_FAIL;
    }
    // Room for 259 units and a terminator, stored or not, and a zero after.
    wchar_t buffer[MAX_PATH + 1] = {0};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    DWORD type = 0;
    LONG result = ::RegQueryValueExW(key.Get(), name.CStr(), NULL, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS || wcslen(buffer) >= MAX_PATH)
    {
        SERROR_SET("RegGetValue").Add(path).Add(name);
        return E_FAIL;
    }
    text = buffer;
    return S_OK;
}

HRESULT ListKeys(HKEY root, const SString& path, SStringList& names)
{
    SKey key;
    if (::RegOpenKeyW(root, path.CStr(), key.Put()) != ERROR_SUCCESS)
    {
        SERROR_SET("ListKeys").Add(path);
        return E_FAIL;
    }
    wchar_t name[MAX_PATH];
    for (DWORD index = 0; ::RegEnumKeyW(key.Get(), index, name, MAX_PATH) == ERROR_SUCCESS; ++index)
        names.Append(name);
    return S_OK;
}

HRESULT DeleteKeyTree(HKEY root, const SString& path)
{
    SStringList subkeys;
    S_RETURN_IF_FAILED(ListKeys(root, path, subkeys));
    for (int i = 0; i < subkeys.Count(); ++i)
        S_RETURN_IF_FAILED(DeleteKeyTree(root, path + L"\\" + subkeys[i]));
    ::RegDeleteKeyW(root, path.CStr());
    return S_OK;
}

HRESULT DeleteValue(HKEY root, const SString& path, const SString& name)
{
    SKey key;
    LONG opened = ::RegOpenKeyExW(root, path.CStr(), 0, KEY_SET_VALUE, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return S_OK;
    LONG deleted = opened == ERROR_SUCCESS ? ::RegDeleteValueW(key.Get(), name.CStr()) : opened;
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND)
        return S_OK;
    ::SetLastError(static_cast<DWORD>(deleted));
    SERROR_SET_SYSTEM("DeleteValue").Add(path).Add(name);
    return E_FAIL;
}

bool KeyExists(HKEY root, const SString& path)
{
    SKey key;
    return ::RegOpenKeyExW(root, path.CStr(), 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS;
}

void DeleteKeyIfEmpty(HKEY root, const SString& path)
{
    DWORD subkeys = 1;
    DWORD values = 1;
    {
        SKey key;
        if (::RegOpenKeyExW(root, path.CStr(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS ||
            ::RegQueryInfoKeyW(key.Get(), NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL) !=
                ERROR_SUCCESS)
            return;
    }
    if (!subkeys && !values)
        ::RegDeleteKeyW(root, path.CStr());
}
