// TW.Remover: undoes the installation it lies in. It shows nothing and always
// exits with 0; failures only fill the error record.
#include "TWInstall.h"

#include "SLibrarySearch.h"
#include "SPath.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictLibrarySearch();
    TWInstall engine;
    engine.Uninstall(Combine(DirectoryPart(GetModulePath()), L"Uninstall"));
    return 0;
}
