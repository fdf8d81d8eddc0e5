#pragma once
// The installer engine: one object per install attempt (or per removal in the
// remover). It records, while installing, every action that the remover must
// undo, and hands them over in the file "Uninstall".
#include "DownloadCaller.h"
#include "InstallOptions.h"
#include "Package.h"
#include "Run.h"
#include "Transaction.h"

class TWInstall : private DownloadCaller
{
public:
    TWInstall() : packageModule(NULL), m_reported(0.0f) {}

    // Progress of the run, on the thread that runs Install; the fraction is
    // 0 at the start and exactly 1.0 at the end.
    virtual void OnProgress(SString& text, float fraction) {}

    // --- install (setup program) ---
    HRESULT Install(const InstallOptions& options);
    // Reads the PACK resource of packageModule (the program itself when null).
    HRESULT ReadPackage(InstallPackage& package);
    HRESULT PrepareFolders(const InstallOptions& options, const InstallPackage& package, SString& dataFolder,
                           SString& programFolder, SString& lowProgramFolder);
    // Fails with "Install.Cancelled" once the user has cancelled the install;
    // waits while the user is asked whether to.
    HRESULT CheckNotCancelled() override;
    // Writes in chunks of 4096 bytes, reporting done / total before each one
    // when the text is not empty. A failed write deletes the partial file.
    HRESULT WriteFileWithProgress(const SString& path, const BYTE* bytes, DWORD size, const SString& text,
                                  DWORD* done, DWORD total);
    HRESULT WriteTextFile(const SString& path, const char* text);
    HRESULT AddShortcut(const SString& target, const SString& arguments, const SString& icon, const SString& file,
                        const SString& description);
    HRESULT TWDLLInstall(const SString& path, DWORD perMachine);
    HRESULT RegisterInstall(const SString& displayName, const SString& iconPath, const SString& installFolder,
                            DWORD perMachine);
    HRESULT RegisterUri(const SString& scheme, const SString& command, const SString& iconPath);
    HRESULT WriteUninstallActions(const SString& path);
    // OnProgress with done / total (0 for a zero total), never below an
    // earlier report of this run: a download counts its received bytes and
    // then the file it writes, and the bar must not run backwards.
    void ReportProgress(const SString& text, DWORD done, DWORD total) override;

    SString startCommand;
    SStringList UninstallActions;
    // Module whose PACK resource is installed; null for the running program.
    HMODULE packageModule;

private:
    StagingPlace& Staging() override { return m_transaction; }
    typedef InstallRun Run;
    typedef InstallFolders Folders;
    HRESULT CheckVersion(Run& run);
    HRESULT ChooseFolders(const InstallOptions& options, const InstallPackage& package, Folders& folders);
    HRESULT MakeFolders(const Folders& folders);
    HRESULT RecordFoundFolderEntries(const Run& run);
    static JournalScope ScopeOf(const Run& run);
    static SStringList ProgramsInUse(const Folders& folders);
    static HRESULT CheckNothingInUse(const Folders& folders);
    HRESULT PlaceEverything(Run& run);
    // Copies the file through a staging name; a copy that fails is left out.
    HRESULT CopyBestEffort(const SString& source, const SString& target);
    HRESULT WriteChunked(const SString& path, const BYTE* bytes, DWORD size, const char* writeFailure,
                         const SString& text, DWORD* done, DWORD total);
    HRESULT WriteCompressedEntries(Run& run);
    HRESULT WriteCacheEntries(Run& run);
    struct DownloadJob;
    DownloadJob JobFor(Run& run, int index);
    HRESULT Download(Run& run, int index);
    static bool HasDeclaredSize(const DownloadJob& job);
    HRESULT KeepHeldDownload(const DownloadJob& job, bool& placed);
    HRESULT DownloadChunks(const DownloadJob& job, bool& rebuilt);
    HRESULT DownloadWhole(const InstallPackage& package, const DownloadJob& job);
    // The update mode: downloads staged while the application runs, then
    // its end awaited, then the staged files placed by the transaction.
    HRESULT PrefetchDownloads(Run& run);
    HRESULT Prefetch(Run& run, int index);
    HRESULT WaitForApplication(const Run& run);
    HRESULT PlacePrefetched(const Run& run, int index, const DownloadJob& job, bool& placed);
    HRESULT RecordUpdateFolder(const Run& run);
    HRESULT WriteDataFiles(Run& run);
    HRESULT WriteSettingsFiles(Run& run);
    HRESULT DescribeInstall(Run& run);
    // Appends an action for the remover, and logs it.
    void RecordUndo(const SString& action);
    HRESULT CreateShortcutsAndSchemes(Run& run);
    HRESULT RegisterWithTheShell(Run& run);
    HRESULT RegisterAppPath(const SString& programFile, const SString& program, const SString& folder);
    HRESULT RegisterFileType(const SString& extension, const SString& progId, const SString& description,
                             const SString& program, const SString& icon);
    HRESULT InstallPlugins(Run& run);

    float m_reported; // the highest fraction reported in this run
    InstallTransaction m_transaction;
};
