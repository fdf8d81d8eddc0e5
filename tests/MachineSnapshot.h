#pragma once
// What an install can touch, written out as text so that two snapshots
// compare byte for byte and key for key: every folder and file below the
// given folders (with a digest of each file's bytes), and every key and
// value below the given keys (with type and data).
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "EngineHarness.h"

class MachineSnapshot
{
public:
    // The places of a per-user install: the application-data folders (but
    // the system's own WinINet store, which a download touches), the
    // Start menu and the desktop's shortcuts (under Wine the desktop is the
    // user's home, which others write to), the uninstall entries, the
    // user's URI schemes and the per-deployment keys.
    MachineSnapshot()
    {
        Folder(GetLocalAppDataFolder());
        Folder(GetLocalAppDataLowFolder());
        Folder(GetStartMenuFolder());
        Folder(GetDesktopFolder(), false, L"*.lnk");
        const wchar_t* uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
        Key(HKEY_CURRENT_USER, uninstall);
        Key(HKEY_LOCAL_MACHINE, uninstall);
        Key(HKEY_CURRENT_USER, L"Software\\Classes");
        Key(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths");
        Key(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
        Key(HKEY_CURRENT_USER, KeyCopiesPath());
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        {
            SStringList software;
            ListKeys(root, L"Software", software);
            for (int i = 0; i < software.Count(); ++i)
                if (software[i].StartsWith(VendorName().CStr()) && SString(L"Software\\" + software[i]) != KeyCopiesPath())
                    Key(root, L"Software\\" + software[i]);
        }
    }

    MachineSnapshot& Folder(const SString& root, bool deep = true, const wchar_t* pattern = L"*")
    {
        m_folders.push_back(Place{root, deep, pattern});
        return *this;
    }
    MachineSnapshot& Key(HKEY root, const SString& path)
    {
        m_keys.push_back(std::make_pair(root, path));
        return *this;
    }

    std::string Take() const
    {
        std::vector<std::string> lines;
        for (const Place& folder : m_folders)
            AddFolder(folder.root, folder.deep, lines, folder.pattern);
        for (const std::pair<HKEY, SString>& key : m_keys)
            AddKey(key.first, key.second, (key.first == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + ToNarrow(key.second),
                   lines);
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }

    // The files below the folder whose names end so: what a transaction
    // must never leave behind.
    static std::vector<std::string> Leftovers(const SString& folder)
    {
        std::vector<std::string> lines;
        AddFolder(folder, true, lines);
        std::vector<std::string> found;
        for (const std::string& line : lines)
            for (const char* ending : {".partial|", ".rollback|", ".journal|"})
                if (line.find(ending) != std::string::npos)
                    found.push_back(line);
        return found;
    }

private:
    static std::string Digest(const SString& path)
    {
        std::string bytes = TestFolder::ReadFile(path);
        unsigned long long hash = 14695981039346656037ull;
        for (unsigned char c : bytes)
            hash = (hash ^ c) * 1099511628211ull;
        char text[64];
        wsprintfA(text, "%u bytes %08x%08x", static_cast<unsigned>(bytes.size()), static_cast<unsigned>(hash >> 32),
                  static_cast<unsigned>(hash));
        return text;
    }

    static void AddFolder(const SString& folder, bool deep, std::vector<std::string>& lines,
                          const wchar_t* pattern = L"*")
    {
        WIN32_FIND_DATAW found = {};
        HANDLE search = ::FindFirstFileW((folder + L"\\" + pattern).CStr(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do
        {
            SString name(found.cFileName);
            SString path = folder + L"\\" + name;
            if (name == L"." || name == L".." || path == GetLocalAppDataFolder() + L"\\Microsoft")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            {
                lines.push_back(ToNarrow(path) + "\\");
                if (deep)
                    AddFolder(path, true, lines);
            }
            else
                lines.push_back(ToNarrow(path) + "|" + Digest(path));
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }

    static void AddKey(HKEY root, const SString& path, const std::string& shown, std::vector<std::string>& lines)
    {
        SKey key;
        if (::RegOpenKeyExW(root, path.CStr(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return;
        lines.push_back(shown + "\\");
        for (DWORD index = 0;; ++index)
        {
            wchar_t name[16384];
            DWORD nameLength = 16384;
            BYTE data[8192];
            DWORD size = sizeof(data);
            DWORD type = 0;
            if (::RegEnumValueW(key.Get(), index, name, &nameLength, NULL, &type, data, &size) != ERROR_SUCCESS)
                break;
            std::string line = shown + "\\@" + ToNarrow(name) + "|" + std::to_string(type) + "|";
            for (DWORD i = 0; i < size; ++i)
                line += "0123456789abcdef"[data[i] >> 4] + std::string(1, "0123456789abcdef"[data[i] & 15]);
            if ((type == REG_SZ || type == REG_EXPAND_SZ) && size >= 2)
                line += "|" + ToNarrow(SString(reinterpret_cast<const wchar_t*>(data), static_cast<int>(size / 2 - 1)));
            lines.push_back(line);
        }
        SStringList subkeys;
        ListKeys(root, path, subkeys);
        for (int i = 0; i < subkeys.Count(); ++i)
            AddKey(root, path + L"\\" + subkeys[i], shown + "\\" + ToNarrow(subkeys[i]), lines);
    }

    struct Place
    {
        SString root;
        bool deep;
        const wchar_t* pattern;
    };
    std::vector<Place> m_folders;
    std::vector<std::pair<HKEY, SString> > m_keys;
};
