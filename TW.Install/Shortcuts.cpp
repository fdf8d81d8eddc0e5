// Settings files, shortcuts, URI schemes: what makes an installation usable.
#include "TWInstall.h"

#include "SError.h"

#include "Names.h"
#include "StagedFile.h"

#include "SLog.h"
#include "SNls.h"
#include "SPath.h"
#include "SShell.h"

#include <string>
#include <vector>

namespace
{
// The text as UTF-8 with the five XML special characters escaped, so the file
// reads back to the same values with any XML parser.
std::string XmlText(const SString& text)
{
    std::vector<char> utf8(static_cast<size_t>(text.Length()) * 3 + 1);
    text.ToUTF8(&utf8[0], static_cast<int>(utf8.size()));
    std::string escaped;
    for (const char* c = &utf8[0]; *c; ++c)
    {
        switch (*c)
        {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '\'': escaped += "&apos;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += *c; break;
        }
    }
    return escaped;
}

std::string SettingsDocument(const SettingsFile& settings)
{
    std::string document = "<?xml version='1.0'?>\n<Setting>\n";
    for (size_t i = 0; i < settings.values.size(); ++i)
        document += "  <String Name='" + XmlText(settings.values[i].first) + "'>" +
                    XmlText(settings.values[i].second) + "</String>\n";
    return document + "</Setting>\n";
}
} // namespace

SString ShortcutFileName() { return GetNLS(L"ShortcutName") + L".lnk"; }

HRESULT TWInstall::WriteSettingsFiles(Run& run)
{
    for (size_t i = 0; i < run.options.settingsFiles.size(); ++i)
    {
        const SettingsFile& settings = run.options.settingsFiles[i];
        SString path = SettingsFilePath(run.folders.data, settings.name);
        S_RETURN_IF_FAILED(m_transaction.CreateFolders(DirectoryPart(path)));
        S_RETURN_IF_FAILED(WriteTextFile(path, SettingsDocument(settings).c_str()));
    }
    return S_OK;
}

HRESULT TWInstall::AddShortcut(const SString& target, const SString& arguments, const SString& icon,
                               const SString& file, const SString& description)
{
    // A shortcut is a convenience: one that cannot be saved (a missing or
    // redirected folder, a name the file system refuses) does not undo an
    // install whose files are all written. Nothing is recorded for it.
    StagedFile shortcut;
    S_RETURN_IF_FAILED(shortcut.Reserve(file, m_transaction));
    if (TWCreateShortcut(target, arguments, icon, shortcut.Staging(), description, AppUserModelId()) != S_OK ||
        shortcut.Commit() != S_OK)
    {
        SLog::Line(L"shortcut not written: " + file + L" | " + SLog::FailureText());
        return S_OK;
    }
    SLog::Line(L"shortcut: " + file + L" -> " + target);
    RecordUndo(L"DeleteFile." + file);
    return S_OK;
}

HRESULT TWInstall::CreateShortcutsAndSchemes(Run& run)
{
    const InstallOptions& options = run.options;
    SString target = run.folders.program + L"\\" + run.module + L".exe";
    SString arguments = GetNLS(L"ShortcutArgs");
    SString icon = run.folders.data + L"\\Icons\\" + GetNLS(L"ShortcutIcon");
    SString description = GetNLS(L"ShortcutDescription");
    SString fileName = ShortcutFileName();
    if ((options.startMenuShortcut || options.desktopShortcut) && run.folders.program != run.folders.low)
    {
        SString copy = IconCopyPath(run.folders.program);
        S_RETURN_IF_FAILED(CopyBestEffort(icon, copy));
        icon = copy;
    }
    run.icon = icon;
    if (options.startMenuShortcut)
        S_RETURN_IF_FAILED(AddShortcut(target, arguments, icon, GetStartMenuFolder() + L"\\" + fileName, description));
    if (options.desktopShortcut)
        S_RETURN_IF_FAILED(AddShortcut(target, arguments, icon, GetDesktopFolder() + L"\\" + fileName, description));
    SString command = L"\"" + target + L"\" /uri \"%1\"";
    for (int i = 0; i < run.package.uriSchemes.Count(); ++i)
        S_RETURN_IF_FAILED(RegisterUri(run.package.uriSchemes[i], command, icon));
    return S_OK;
}
