// The install procedure: the fixed order of the steps, the placement of the
// package entries and the file writers.
#include "InstallRun.h"

#include "SError.h"
#include "SLog.h"
#include "SNls.h"
#include "SPath.h"

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

bool WriteChunk(HANDLE file, const void* bytes, DWORD remaining, DWORD& written)
{
    written = 0;
    if (!::WriteFile(file, bytes, remaining < 4096 ? remaining : 4096, &written, NULL))
        return false;
    if (!written)
        ::SetLastError(ERROR_WRITE_FAULT); // a write that makes no progress would loop forever
    return written != 0;
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

// Creates (replacing) the file and writes it in chunks, reporting progress
// before each chunk when the text is not empty. A failed write deletes the
// file and raises writeFailure with the system text and the path.
HRESULT TWInstall::WriteChunked(const SString& path, const BYTE* bytes, DWORD size, const char* writeFailure,
                                const SString& text, DWORD* done, DWORD total)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    if (!file.IsValid())
    {
        SERROR_SET_SYSTEM("CreateFile").Add(path);
        return E_FAIL;
    }
    for (DWORD offset = 0; offset < size;)
    {
        if (!text.IsEmpty())
            ReportProgress(text, *done, total);
        DWORD written = 0;
        if (!WriteChunk(file.Get(), bytes + offset, size - offset, written))
        {
            SERROR_SET_SYSTEM(writeFailure).Add(path);
            file.Reset();
            ::DeleteFileW(path.CStr());
            return E_FAIL;
        }
        offset += written;
        if (!text.IsEmpty())
            *done += written;
    }
    SLog::Line(L"file: " + path + L" | " + SString::FromInt(static_cast<int>(size)) + L" bytes");
    return S_OK;
}

HRESULT TWInstall::WriteFileWithProgress(const SString& path, const BYTE* bytes, DWORD size, const SString& text,
                                         DWORD* done, DWORD total)
{
    ::CreateDirectoryW(DirectoryPart(path).CStr(), NULL);
    return WriteChunked(path, bytes, size, "WriteFile", text, done, total);
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
        SString path = run.programFolder + L"\\" + entry.name;
        S_RETURN_IF_FAILED(WriteFileWithProgress(path, inflated.Get(), entry.uncompressedSize,
                                                 GetNLS(L"Install.Copy"), &run.done, run.total));
        SString lowPath = run.lowProgramFolder + L"\\" + entry.name;
        bool isApplication = entry.name == run.module + L".exe" || entry.name == run.module + L".Plugin.dll";
        if (isApplication && lowPath != path && ::CopyFileW(path.CStr(), lowPath.CStr(), FALSE))
            SLog::Line(L"file: " + lowPath + L" | copy of " + path);
    }
    return S_OK;
}

HRESULT TWInstall::WriteCacheEntries(Run& run)
{
    SString cacheFolder = run.dataFolder + L"\\Cache";
    for (size_t i = 0; i < run.package.cacheEntries.size(); ++i)
    {
        const StoredEntry& entry = run.package.cacheEntries[i];
        ::CreateDirectoryW(cacheFolder.CStr(), NULL);
        S_RETURN_IF_FAILED(WriteFileWithProgress(cacheFolder + L"\\" + entry.name + L".TWP", entry.bytes, entry.size,
                                                 GetNLS(L"Install.Copy"), &run.done, run.total));
    }
    return S_OK;
}

HRESULT TWInstall::WriteDataFiles(Run& run)
{
    for (size_t i = 0; i < run.package.dataFiles.size(); ++i)
    {
        const StoredEntry& entry = run.package.dataFiles[i];
        SString path = run.dataFolder + L"\\" + entry.name;
        CreateDir(DirectoryPart(path));
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
        if (name == L"NPTW3D.dll" || name == L"TW.Plugin.IE.dll")
            S_RETURN_IF_FAILED(TWDLLInstall(run.programFolder + L"\\" + name, run.PerMachine()));
    }
    return S_OK;
}

HRESULT TWInstall::Install(const InstallOptions& options)
{
    m_reported = 0.0f;
    ReportProgress(GetNLS(L"Install.Prepare"), 0, 0);
    Run run(options);
    S_RETURN_IF_FAILED(ReadPackage(run.package));
    run.total = run.package.TotalSize();
    run.module = options.moduleName.IsEmpty() ? SString(L"TW.3D.Modeller") : options.moduleName;
    ReportProgress(GetNLS(L"Install.CreateDir"), 0, 0);
    S_RETURN_IF_FAILED(PrepareFolders(options, run.package, run.dataFolder, run.programFolder, run.lowProgramFolder));
    S_RETURN_IF_FAILED(WriteCompressedEntries(run));
    S_RETURN_IF_FAILED(WriteCacheEntries(run));
    for (int i = 0; i < run.package.downloadUrls.Count(); ++i)
        S_RETURN_IF_FAILED(Download(run, i));
    S_RETURN_IF_FAILED(WriteDataFiles(run));
    S_RETURN_IF_FAILED(WriteSettingsFiles(run));
    if (run.package.usageApplication)
        S_RETURN_IF_FAILED(CreateShortcutsAndSchemes(run));
    startCommand = L"\"" + run.programFolder + L"\\" + run.module + L".exe\" " + GetNLS(L"ShortcutArgs");
    S_RETURN_IF_FAILED(InstallPlugins(run));
    SString displayName = options.displayName.IsEmpty() ? GetNLS(L"DisplayName") : options.displayName;
    RecordUndo(L"UnRegisterCookie." + run.package.unregisterCookie);
    S_RETURN_IF_FAILED(RegisterInstall(displayName, run.dataFolder + L"\\Icons\\" + GetNLS(L"ShortcutIcon"),
                                       run.programFolder, run.PerMachine()));
    S_RETURN_IF_FAILED(DescribeInstall(run));
    SString complete = GetNLS(L"Install.Complete");
    OnProgress(complete, 1.0f);
    return S_OK;
}
