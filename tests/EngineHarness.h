#pragma once
// Runs the real engine against packages made by the package builder, on the
// real registry and file system of the test prefix.
#include "FileTypes.h"
#include "Names.h"
#include "SError.h"
#include "SPath.h"
#include "SHandle.h"
#include "SRegistry.h"
#include "SShell.h"
#include "TWInstall.h"

#include <string>
#include <utility>
#include <vector>

#include "TestFolder.h"

// A copy of the empty resource-holder library that carries the given bytes
// as its PACK resource, loaded as data.
class PackageModule
{
public:
    explicit PackageModule(const std::string& pack, const wchar_t* name = L"Package")
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_path = SString(temp) + L"tw-tests-" + name + L".dll";
        SString holder = DirectoryPart(GetModulePath());
        holder = DirectoryPart(DirectoryPart(holder)) + L"\\bin\\PackageHolder.dll";
        ::CopyFileW(holder.CStr(), m_path.CStr(), FALSE);
        HANDLE update = ::BeginUpdateResourceW(m_path.CStr(), FALSE);
        ::UpdateResourceW(update, L"PACK", L"PACK", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                          const_cast<char*>(pack.data()), static_cast<DWORD>(pack.size()));
        ::EndUpdateResourceW(update, FALSE);
        m_module.Reset(::LoadLibraryExW(m_path.CStr(), NULL, LOAD_LIBRARY_AS_DATAFILE));
    }
    ~PackageModule()
    {
        m_module.Reset();
        ::DeleteFileW(m_path.CStr());
    }
    HMODULE Get() const { return m_module.Get(); }

private:
    SString m_path;
    SModule m_module;
};

inline std::string TestPack(const wchar_t* name)
{
    return TestFolder::ReadFile(SString(TW_TEST_DATA) + L"\\" + name + L".pack");
}

inline SString BinFolder()
{
    return DirectoryPart(DirectoryPart(DirectoryPart(GetModulePath()))) + L"\\bin";
}

// An engine that remembers every progress report.
class RecordingInstaller : public TWInstall
{
public:
    void OnProgress(SString& text, float fraction) override { reports.push_back(std::make_pair(SString(text), fraction)); }

    std::vector<std::pair<SString, float> > reports;
};

// The folders and keys of the test build's default install.
struct InstallPlace
{
    InstallPlace()
    {
        SString id;
        bool hasId = SetupDeploymentId(id);
        suffix = InstanceSuffix(ReleaseChannel(), hasId, id);
        keyName = UninstallKeyName(ReleaseChannel(), id);
        dataFolder = GetLocalAppDataLowFolder() + L"\\" + DefaultFolderName(suffix);
        programFolder = GetLocalAppDataFolder() + L"\\" + DefaultFolderName(suffix);
    }

    // Removes whatever an earlier test left, so every test starts clean.
    void Clear() const
    {
        TestFolder::RemoveTree(dataFolder);
        TestFolder::RemoveTree(programFolder);
        ::DeleteFileW((programFolder + L".journal").CStr());
        DeleteKeyTree(HKEY_CURRENT_USER, UninstallEntryPath(keyName));
        DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(keyName));
        DeleteKeyTree(HKEY_LOCAL_MACHINE, DeploymentKeyPath(suffix));
        DeleteKeyTree(HKEY_CURRENT_USER, DeploymentKeyPath(suffix));
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tarnwick");
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Classes\\tw3d");
        DeleteKeyTree(HKEY_CURRENT_USER, ClassesKeyPath(L".tw3d"));
        DeleteKeyTree(HKEY_CURRENT_USER, ClassesKeyPath(L"Tarnwick.Model"));
        DeleteKeyTree(HKEY_CURRENT_USER, AppPathKeyPath(L"TW.3D.Modeller.exe"));
        DeleteKeyTree(HKEY_CURRENT_USER, AppPathKeyPath(L"Viewer.exe")); // the module of an options test
        ::DeleteFileW((GetStartMenuFolder() + L"\\Tarnwick 3D.lnk").CStr());
        ::DeleteFileW((GetDesktopFolder() + L"\\Tarnwick 3D.lnk").CStr());
    }

    SString suffix;
    SString keyName;
    SString dataFolder;
    SString programFolder;
};

// Reads a value with its type and size, as the registry holds it.
inline bool ReadRawValue(HKEY root, const SString& path, const wchar_t* name, DWORD& type, std::string& data)
{
    SKey key;
    if (::RegOpenKeyExW(root, path.CStr(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), name, NULL, &type, NULL, &size) != ERROR_SUCCESS)
        return false;
    data.assign(size, '\0');
    return ::RegQueryValueExW(key.Get(), name, NULL, &type, size ? reinterpret_cast<BYTE*>(&data[0]) : NULL, &size) ==
           ERROR_SUCCESS;
}

inline std::string Utf16Bytes(const SString& text)
{
    return std::string(reinterpret_cast<const char*>(text.CStr()), text.Length() * 2);
}

// The "Uninstall" file the engine must write for these actions, newest first.
inline std::string ActionFileBytes(const std::vector<SString>& recordedOrder)
{
    std::string bytes;
    DWORD count = static_cast<DWORD>(recordedOrder.size());
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    for (size_t i = recordedOrder.size(); i-- > 0;)
    {
        DWORD length = static_cast<DWORD>(recordedOrder[i].Length());
        bytes.append(reinterpret_cast<const char*>(&length), 4);
        bytes += Utf16Bytes(recordedOrder[i]);
    }
    return bytes;
}

inline std::string ToNarrow(const SString& text)
{
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.CStr(), -1, NULL, 0, NULL, NULL);
    std::string result(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        ::WideCharToMultiByte(CP_ACP, 0, text.CStr(), -1, &result[0], bytes, NULL, NULL);
    return result;
}
