// The install procedure: the fixed order of the steps, the placement of the
// package entries and the file writers.
#include "TWInstall.h"

#include "FileTypes.h"
#include "FilesInUse.h"
#include "InflateStream.h"
#include "Names.h"
#include "StagedFile.h"

#include "SCancel.h"
#include "SError.h"
#include "SNls.h"
#include "SPath.h"
#include "SShell.h"

HRESULT TWInstall::ReadPackage(InstallPackage& package)
{
    HMODULE module = packageModule ? packageModule : ::GetModuleHandleW(NULL);
    HRSRC resource = ::FindResourceW(module, L"PACK", L"PACK");
    HGLOBAL loaded = resource ? ::LoadResource(module, resource) : NULL;
    const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : NULL;
    if (!data)
    {
        SERROR_SET_SYSTEM("ReadPackage.FindResource").Add(L"The program carries no install package (PACK).");
        return E_FAIL;
    }
    return ParsePackage(data, ::SizeofResource(module, resource), package);
}

namespace
{
float ProgressFraction(DWORD done, DWORD total)
{
    // A package with nothing to count reports 0 until the end, never NaN. Data
    // files are written but not in the total, so done can pass it: the
    // fraction stays at 1 rather than falling back to 1.0 at the end.
    if (!total)
        return 0.0f;
    float fraction = static_cast<float>(done) / static_cast<float>(total);
    return fraction < 1.0f ? fraction : 1.0f;
}
} // namespace

void TWInstall::ReportProgress(const SString& text, DWORD done, DWORD total)
{
    float fraction = ProgressFraction(done, total);
    if (fraction > m_reported)
        m_reported = fraction;
    SString status(text);
    OnProgress(status, m_reported);
}

// Stages the file and writes it in chunks, reporting progress before each
// chunk when the text is not empty, then puts it in place. A failed write
// raises writeFailure with the system text and the path, and leaves no file.
HRESULT TWInstall::WriteChunked(const SString& path, const BYTE* bytes, DWORD size, const char* writeFailure,
                                const SString& text, DWORD* done, DWORD total)
{
    StagedFile file;
    S_RETURN_IF_FAILED(file.Create(path, m_transaction));
    for (DWORD offset = 0; offset < size;)
    {
        if (!text.IsEmpty())
            ReportProgress(text, *done, total);
        S_RETURN_IF_FAILED(CheckNotCancelled());
        DWORD chunk = size - offset < 4096 ? size - offset : 4096;
        S_RETURN_IF_FAILED(file.Write(bytes + offset, chunk, writeFailure));
        offset += chunk;
        if (!text.IsEmpty())
            *done += chunk;
    }
    // A file that cannot take the target's place (a folder in the way, a
    // file in use) could not be created there.
    return file.Commit("CreateFile");
}

HRESULT TWInstall::WriteFileWithProgress(const SString& path, const BYTE* bytes, DWORD size, const SString& text,
                                         DWORD* done, DWORD total)
{
    S_RETURN_IF_FAILED(m_transaction.CreateFolders(DirectoryPart(path)));
    return WriteChunked(path, bytes, size, "WriteFile", text, done, total);
}

HRESULT TWInstall::CopyBestEffort(const SString& source, const SString& target)
{
    StagedFile copy;
    S_RETURN_IF_FAILED(copy.Reserve(target, m_transaction));
    if (::CopyFileW(source.CStr(), copy.Staging().CStr(), FALSE))
        copy.Commit(); // which logs the file
    return S_OK;
}

// Every file, plug-in and key that this package, in these folders, can
// write: what a journal left on disk may make this run undo.
JournalScope TWInstall::ScopeOf(const Run& run)
{
    JournalScope scope;
    const Folders& folders = run.folders;
    const InstallPackage& package = run.package;
    for (size_t i = 0; i < package.compressedEntries.size(); ++i)
    {
        const SString& name = package.compressedEntries[i].name;
        scope.AddFile(folders.program + L"\\" + name);
        scope.AddFile(folders.low + L"\\" + name);
        if (IsPluginLibrary(name))
            scope.AddPlugin(folders.program + L"\\" + name);
    }
    for (size_t i = 0; i < package.cacheEntries.size(); ++i)
        scope.AddFile(CacheFilePath(folders.data, package.cacheEntries[i].name));
    for (int i = 0; i < package.downloadTargets.Count(); ++i)
    {
        scope.AddFile(ExpandTarget(package.downloadTargets[i], folders.program, folders.data));
        scope.AddFile(ExpandTarget(package.downloadTargets[i], folders.low, folders.data));
    }
    for (size_t i = 0; i < package.dataFiles.size(); ++i)
        scope.AddFile(folders.data + L"\\" + package.dataFiles[i].name);
    for (size_t i = 0; i < run.options.settingsFiles.size(); ++i)
        scope.AddFile(SettingsFilePath(folders.data, run.options.settingsFiles[i].name));
    scope.AddFile(IconCopyPath(folders.program));
    scope.AddFile(UninstallFilePath(folders.program));
    scope.AddFile(GetStartMenuFolder() + L"\\" + ShortcutFileName());
    scope.AddFile(GetDesktopFolder() + L"\\" + ShortcutFileName());
    scope.AddKey(run.PerMachine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, SetupUninstallEntryPath());
    for (int i = 0; i < package.uriSchemes.Count(); ++i)
        scope.AddKey(HKEY_CURRENT_USER, UriSchemeKeyPath(package.uriSchemes[i]));
    for (int i = 0; i < package.fileExtensions.Count(); ++i)
    {
        scope.AddKey(HKEY_CURRENT_USER, ClassesKeyPath(package.fileExtensions[i]));
        scope.AddKey(HKEY_CURRENT_USER, ClassesKeyPath(package.fileProgIds[i]));
    }
    scope.AddKey(HKEY_CURRENT_USER, AppPathKeyPath(run.module + L".exe"));
    scope.AddKey(folders.recordRoot, folders.keyPath);
    return scope;
}

// A running program of the install would be moved aside and stay there:
// nothing changes while one runs.
// The programs that run from the install's folders.
SStringList TWInstall::ProgramsInUse(const Folders& folders)
{
    SStringList places;
    places.Append(folders.program);
    if (folders.low != folders.program)
        places.Append(folders.low);
    return ProgramsUsingFiles(places);
}

HRESULT TWInstall::CheckNothingInUse(const Folders& folders)
{
    SStringList programs = ProgramsInUse(folders);
    if (!programs.Count())
        return S_OK;
    SError& error = SERROR_SET("Install.InUse");
    error.Add(L"Close these programs, then run the setup again:");
    for (int i = 0; i < programs.Count(); ++i)
        error.Add(programs[i]);
    return E_FAIL;
}

HRESULT TWInstall::CheckNotCancelled()
{
    if (SCancel::MayGoOn())
        return S_OK;
    SERROR_SET("Install.Cancelled").Add(L"The install was cancelled.");
    return E_FAIL;
}

HRESULT TWInstall::WriteTextFile(const SString& path, const char* text)
{
    // Both a failed creation and a failed write report "CreateFile" here.
    return WriteChunked(path, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text)), "CreateFile",
                        SString(), NULL, 0);
}

HRESULT TWInstall::WriteCompressedEntries(Run& run)
{
    for (size_t i = 0; i < run.package.compressedEntries.size(); ++i)
    {
        const PackageEntry& entry = run.package.compressedEntries[i];
        SMallocBytes inflated;
        S_RETURN_IF_FAILED(
            InflateExactly(entry.stream, entry.blockLength - 4, entry.uncompressedSize, entry.name, inflated));
        SString path = run.folders.program + L"\\" + entry.name;
        S_RETURN_IF_FAILED(WriteFileWithProgress(path, inflated.Get(), entry.uncompressedSize,
                                                 GetNLS(L"Install.Copy"), &run.done, run.total));
        SString lowPath = run.folders.low + L"\\" + entry.name;
        if (IsApplicationFile(entry.name, run.module) && lowPath != path)
            S_RETURN_IF_FAILED(CopyBestEffort(path, lowPath));
    }
    return S_OK;
}

HRESULT TWInstall::WriteCacheEntries(Run& run)
{
    for (size_t i = 0; i < run.package.cacheEntries.size(); ++i)
    {
        const StoredEntry& entry = run.package.cacheEntries[i];
        S_RETURN_IF_FAILED(WriteFileWithProgress(CacheFilePath(run.folders.data, entry.name), entry.bytes, entry.size,
                                                 GetNLS(L"Install.Copy"), &run.done, run.total));
    }
    return S_OK;
}

HRESULT TWInstall::WriteDataFiles(Run& run)
{
    for (size_t i = 0; i < run.package.dataFiles.size(); ++i)
    {
        const StoredEntry& entry = run.package.dataFiles[i];
        SString path = run.folders.data + L"\\" + entry.name;
        S_RETURN_IF_FAILED(WriteFileWithProgress(path, entry.bytes, entry.size, GetNLS(L"Install.Copy"), &run.done,
                                                 run.total));
    }
    return S_OK;
}

HRESULT TWInstall::InstallPlugins(Run& run)
{
    for (size_t i = 0; i < run.package.compressedEntries.size(); ++i)
    {
        const SString& name = run.package.compressedEntries[i].name;
        if (IsPluginLibrary(name))
            S_RETURN_IF_FAILED(TWDLLInstall(run.folders.program + L"\\" + name, run.PerMachine()));
    }
    return S_OK;
}

HRESULT TWInstall::Install(const InstallOptions& options)
{
    m_reported = 0.0f;
    ReportProgress(GetNLS(L"Install.Prepare"), 0, 0);
    Run run(options);
    S_RETURN_IF_FAILED(ReadPackage(run.package));
    S_RETURN_IF_FAILED(CheckFileTypes(run.package));
    run.total = run.package.TotalSize();
    run.module = options.moduleName.IsEmpty() ? SString(L"TW.3D.Modeller") : options.moduleName;
    S_RETURN_IF_FAILED(CheckVersion(run));
    ReportProgress(GetNLS(L"Install.CreateDir"), 0, 0);
    S_RETURN_IF_FAILED(ChooseFolders(options, run.package, run.folders));
    SString journal = run.folders.program + L".journal";
    S_RETURN_IF_FAILED(InstallTransaction::CheckNoOtherSetup(journal));
    S_RETURN_IF_FAILED(PrefetchDownloads(run));
    S_RETURN_IF_FAILED(WaitForApplication(run));
    S_RETURN_IF_FAILED(CheckNothingInUse(run.folders));
    // An install that was killed is rolled back before this one starts.
    if (m_transaction.Begin(journal, ScopeOf(run)) != S_OK ||
        PlaceEverything(run) != S_OK)
    {
        m_transaction.Rollback();
        return E_FAIL;
    }
    m_transaction.Commit();
    SString complete = GetNLS(L"Install.Complete");
    OnProgress(complete, 1.0f);
    return S_OK;
}

// Every change of these steps goes through the transaction, which undoes
// them all when one step fails.
HRESULT TWInstall::PlaceEverything(Run& run)
{
    S_RETURN_IF_FAILED(MakeFolders(run.folders));
    S_RETURN_IF_FAILED(WriteCompressedEntries(run));
    S_RETURN_IF_FAILED(WriteCacheEntries(run));
    for (int i = 0; i < run.package.downloadUrls.Count(); ++i)
        S_RETURN_IF_FAILED(Download(run, i));
    S_RETURN_IF_FAILED(WriteDataFiles(run));
    S_RETURN_IF_FAILED(WriteSettingsFiles(run));
    if (run.package.usageApplication)
    {
        S_RETURN_IF_FAILED(CreateShortcutsAndSchemes(run));
        S_RETURN_IF_FAILED(RegisterWithTheShell(run));
    }
    startCommand = L"\"" + run.folders.program + L"\\" + run.module + L".exe\" " + GetNLS(L"ShortcutArgs");
    S_RETURN_IF_FAILED(InstallPlugins(run));
    SString displayName = run.options.displayName.IsEmpty() ? GetNLS(L"DisplayName") : run.options.displayName;
    RecordUndo(L"UnRegisterCookie." + run.package.unregisterCookie);
    S_RETURN_IF_FAILED(RecordFoundFolderEntries(run));
    S_RETURN_IF_FAILED(RecordUpdateFolder(run));
    S_RETURN_IF_FAILED(RegisterInstall(displayName, run.folders.data + L"\\Icons\\" + GetNLS(L"ShortcutIcon"),
                                       run.folders.program, run.PerMachine()));
    S_RETURN_IF_FAILED(DescribeInstall(run));
    return CheckNotCancelled(); // the last moment for a cancel: the commit follows
}
