#pragma once
// A fresh folder under the test run's temporary folder, removed with all it
// holds when the test ends.
#include <windows.h>
#include <shellapi.h>

#include <string>

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

private:
    void Remove() const { RemoveTree(m_path); }

    SString m_path;
};
