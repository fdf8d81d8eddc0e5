#pragma once
// A fresh folder under the test run's temporary folder, removed with all it
// holds when the test ends.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "SHandle.h"
#include "SString.h"

class TestFolder
{
public:
    explicit TestFolder(const wchar_t* name)
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_path = SString(temp) + L"tw-tests\\" + name;
        Remove();
        ::CreateDirectoryW((SString(temp) + L"tw-tests").CStr(), NULL);
        ::CreateDirectoryW(m_path.CStr(), NULL);
    }
    ~TestFolder() { Remove(); }

    const SString& Path() const { return m_path; }
    SString operator/(const wchar_t* name) const { return m_path + L"\\" + name; }

    void WriteFile(const wchar_t* name, const std::string& bytes) const { WritePath(*this / name, bytes); }

    static void WritePath(const SString& path, const std::string& bytes)
    {
        HANDLE file = ::CreateFileW(path.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
        ::CloseHandle(file);
    }

    static std::string ReadFile(const SString& path)
    {
        HANDLE file = ::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return "<missing>";
        std::string bytes(::GetFileSize(file, NULL), '\0');
        DWORD read = 0;
        if (!bytes.empty())
            ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL);
        ::CloseHandle(file);
        return bytes;
    }

    static bool Exists(const SString& path) { return ::GetFileAttributesW(path.CStr()) != INVALID_FILE_ATTRIBUTES; }

    // Removes a tree with the shell, which also removes read-only files.
    static void RemoveTree(const SString& path)
    {
        std::wstring doubleNull(path.CStr());
        doubleNull.push_back(0);
        SHFILEOPSTRUCTW operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = doubleNull.c_str();
        operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
        ::SHFileOperationW(&operation);
    }

    // A link to a folder, which the system reports as a reparse point. Wine's
    // CreateSymbolicLinkW answers TRUE and makes nothing, and Wine cannot
    // remove a Unix link either: under Wine both are done by Unix programs.
    static bool LinkFolder(const SString& link, const SString& target)
    {
        if (!IsWine())
            return ::CreateSymbolicLinkW(link.CStr(), target.CStr(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
        Unlink(link); // one that an earlier run left
        RunUnix("Z:\\bin\\ln -s \"" + UnixName(target) + "\" \"" + UnixName(link) + "\"");
        return WaitForLink(link, true);
    }
    static void Unlink(const SString& link)
    {
        if (!IsWine())
            ::RemoveDirectoryW(link.CStr());
        else
        {
            RunUnix("Z:\\bin\\rm -f \"" + UnixName(link) + "\"");
            WaitForLink(link, false);
        }
    }
    static bool IsWine() { return UnixNamer() != NULL; }

private:
    void Remove() const { RemoveTree(m_path); }

    typedef char*(CDECL* UnixNameFunction)(const wchar_t*);
    static UnixNameFunction UnixNamer()
    {
        return SGetProc<UnixNameFunction>(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    }
    static std::string UnixName(const SString& path)
    {
        char* name = UnixNamer()(path.CStr());
        std::string text = name ? name : "";
        ::HeapFree(::GetProcessHeap(), 0, name);
        return text;
    }
    // Wine does not wait for a Unix program to end: its effect is.
    static bool WaitForLink(const SString& link, bool present)
    {
        for (int i = 0; i < 100; ++i)
        {
            DWORD attributes = ::GetFileAttributesW(link.CStr());
            bool isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (isLink == present)
                return true;
            ::Sleep(50);
        }
        return false;
    }
    // Wine starts Unix programs named by their Z: path.
    static void RunUnix(std::string command)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
            return;
        ::WaitForSingleObject(process.hProcess, 10000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }

    SString m_path;
};
