// What inventory tools read from the uninstall entry beyond its first values:
// the version, the size on disk, the install date and a quiet removal command.
#include "TWInstall.h"

#include "SError.h"

#include "Names.h"

#include "SFolderWalk.h"
#include "SRegistry.h"

namespace
{
// Bytes of every file below the folder but the replaced files that the
// transaction keeps until its commit; links are not followed.
class ByteCounter : public SFolderVisitor
{
public:
    explicit ByteCounter(const InstallTransaction& transaction) : m_transaction(transaction) {}
    ULONGLONG total = 0;
    bool Visit(Kind kind, const SString& path, const WIN32_FIND_DATAW& entry) override
    {
        if (kind == File && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            !m_transaction.IsKeptAside(path))
            total += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        return true;
    }

private:
    const InstallTransaction& m_transaction;
};

ULONGLONG FolderBytes(const SString& folder, const InstallTransaction& transaction)
{
    ByteCounter counter(transaction);
    WalkFolder(folder, counter);
    return counter.total;
}

SString TodayAsNumber()
{
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    wchar_t text[16] = {0};
    ::wsprintfW(text, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    return text;
}
} // namespace

HRESULT TWInstall::DescribeInstall(Run& run)
{
    HKEY root = run.PerMachine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    SString path = SetupUninstallEntryPath();
    SString version = run.package.version.IsEmpty() ? ProductVersion() : run.package.version;
    if (!version.IsEmpty())
        S_RETURN_IF_FAILED(SetValue(root, path, L"DisplayVersion", version));
    // The folders hold what this install wrote, the downloads and the action
    // file included; the low copy only when it is a folder of its own (by
    // default it is the data folder).
    ULONGLONG bytes = FolderBytes(run.folders.program, m_transaction) + FolderBytes(run.folders.data, m_transaction);
    if (run.folders.low != run.folders.program && run.folders.low != run.folders.data)
        bytes += FolderBytes(run.folders.low, m_transaction);
    S_RETURN_IF_FAILED(SetValue(root, path, L"EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024)));
    S_RETURN_IF_FAILED(SetValue(root, path, L"InstallDate", TodayAsNumber()));
    return SetValue(root, path, L"QuietUninstallString",
                    L"\"" + run.folders.program + L"\\TW.Remover.exe\" /Silent");
}
