// The built setup program carries its package, texts, dialogs, icon and
// manifest, read back with the Win32 resource functions.
#include "InflateStream.h"
#include "Package.h"
#include "Run.h"
#include "SPath.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"

namespace
{
class SetupResources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        module.Reset(::LoadLibraryExW((BinFolder() + L"\\TW.Install.UI2.exe").CStr(), NULL, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module.IsValid());
    }

    bool Has(const wchar_t* type, const wchar_t* name, WORD language) const
    {
        return ::FindResourceExW(module.Get(), type, name, language) != NULL;
    }

    SModule module;
};
} // namespace

TEST_F(SetupResources, EveryResourceIsThere)
{
    EXPECT_TRUE(Has(L"PACK", L"PACK", 0));
    for (WORD language : {0, 4, 7, 12, 19})
    {
        HRSRC nls = ::FindResourceExW(module.Get(), L"NLS", L"NLS", language);
        ASSERT_TRUE(nls != NULL) << language;
        const BYTE* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module.Get(), nls)));
        DWORD size = ::SizeofResource(module.Get(), nls);
        EXPECT_NE(0xFF, bytes[0]) << "no byte-order mark";
        EXPECT_EQ(0, memcmp(bytes + size - 4, "\r\0\n\0", 4)) << language; // CR LF, no terminator
    }
    for (WORD dialog : {136, 137, 140})
        EXPECT_TRUE(Has(RT_DIALOG, MAKEINTRESOURCEW(dialog), 0)) << dialog;
    EXPECT_TRUE(Has(RT_GROUP_ICON, MAKEINTRESOURCEW(131), 0));
    HRSRC manifest = ::FindResourceExW(module.Get(), RT_MANIFEST, MAKEINTRESOURCEW(1), 0);
    ASSERT_TRUE(manifest != NULL);
    std::string text(static_cast<const char*>(::LockResource(::LoadResource(module.Get(), manifest))),
                     ::SizeofResource(module.Get(), manifest));
    for (const char* needle : {"level=\"asInvoker\"", "uiAccess=\"false\"", "Microsoft.Windows.Common-Controls",
                               "version=\"6.0.0.0\"", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                               "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "name=\"Tarnwick3D\"",
                               // Windows 8, 8.1 and 10/11, and drawn sharp at every DPI
                               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true/pm</dpiAware>",
                               ">PerMonitorV2</dpiAwareness>"})
        EXPECT_NE(std::string::npos, text.find(needle)) << needle;
}

TEST_F(SetupResources, DialogTemplatesAreExtendedWithTheShellFont)
{
    struct Expected
    {
        WORD id;
        DWORD style;
        short cx, cy;
        WORD controls;
    };
    const Expected dialogs[] = {
        {136, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS, 327, 117, 3},
        {137, WS_CHILD | DS_SETFONT | DS_FIXEDSYS, 327, 80, 5},
        {140, WS_CHILD | DS_SETFONT | DS_FIXEDSYS, 327, 90, 3}};
    for (const Expected& expected : dialogs)
    {
        HRSRC resource = ::FindResourceExW(module.Get(), RT_DIALOG, MAKEINTRESOURCEW(expected.id), 0);
        const WORD* words = static_cast<const WORD*>(::LockResource(::LoadResource(module.Get(), resource)));
        ASSERT_EQ(1, words[0]);      // DLGTEMPLATEEX version
        ASSERT_EQ(0xFFFF, words[1]); // signature
        DWORD style;
        memcpy(&style, words + 6, 4);
        EXPECT_EQ(expected.style, style & ~WS_VISIBLE) << expected.id;
        EXPECT_EQ(0u, style & WS_VISIBLE) << expected.id;
        EXPECT_EQ(expected.controls, words[8]) << expected.id;
        EXPECT_EQ(expected.cx, static_cast<short>(words[11])) << expected.id;
        EXPECT_EQ(expected.cy, static_cast<short>(words[12])) << expected.id;
    }
}

namespace
{
struct DialogControl
{
    WORD dialog;
    DWORD id;
    WORD classAtom; // 0x80 button, 0x82 static; 0 for a class given by name
    DWORD style;    // bits that must be set
    bool visible;
    bool transparent;
    short x, y, cx, cy;
};

// The controls of the three dialogs, as the Part's tables give them.
const DialogControl g_controls[] = {
    {136, 1, 0x80, BS_DEFPUSHBUTTON | WS_TABSTOP, true, false, 270, 96, 50, 14},
    {136, 2, 0x80, BS_PUSHBUTTON | WS_TABSTOP, true, false, 216, 96, 50, 14},
    {136, 1007, 0x80, BS_GROUPBOX, false, false, 0, 0, 326, 90},
    {137, 1015, 0x82, SS_LEFT, true, true, 14, 9, 274, 10},
    {137, 1016, 0x82, SS_LEFT, true, true, 37, 20, 254, 8},
    {137, 0xFFFFFFFF, 0x82, SS_ICON, true, true, 297, 7, 21, 20},
    {137, 1011, 0, WS_BORDER, true, false, 36, 58, 255, 14},
    {137, 1012, 0x82, SS_LEFT, true, false, 36, 41, 255, 8},
    {140, 1017, 0x82, SS_LEFT, true, true, 36, 12, 253, 29},
    {140, 1018, 0x82, SS_LEFT, true, true, 36, 41, 282, 41},
    {140, 0xFFFFFFFF, 0x82, SS_ICON, true, true, 297, 7, 21, 20}};

// Steps over a DLGTEMPLATEEX string or ordinal; the ordinal, if it is one.
const WORD* SkipTextOrOrdinal(const WORD* at, WORD* ordinal = NULL)
{
    if (*at == 0xFFFF)
    {
        if (ordinal)
            *ordinal = at[1];
        return at + 2;
    }
    while (*at++)
        ;
    return at;
}

const WORD* AlignToDword(const WORD* at, const WORD* base)
{
    return reinterpret_cast<const BYTE*>(at) - reinterpret_cast<const BYTE*>(base) & 3 ? at + 1 : at;
}
} // namespace

TEST_F(SetupResources, EveryControlIsAsTheTablesSay)
{
    size_t checked = 0;
    for (WORD dialog : {136, 137, 140})
    {
        HRSRC resource = ::FindResourceExW(module.Get(), RT_DIALOG, MAKEINTRESOURCEW(dialog), 0);
        const WORD* base = static_cast<const WORD*>(::LockResource(::LoadResource(module.Get(), resource)));
        WORD count = base[8];
        const WORD* at = SkipTextOrOrdinal(SkipTextOrOrdinal(base + 13)); // menu, class
        at = SkipTextOrOrdinal(at);                                         // title
        at = SkipTextOrOrdinal(at + 3);                                     // point size, weight, italic+charset
        for (WORD i = 0; i < count; ++i)
        {
            at = AlignToDword(at, base);
            DWORD exStyle, style, id;
            memcpy(&exStyle, at + 2, 4);
            memcpy(&style, at + 4, 4);
            const short* rectangle = reinterpret_cast<const short*>(at + 6);
            memcpy(&id, at + 10, 4);
            WORD classAtom = 0, icon = 0;
            at = SkipTextOrOrdinal(at + 12, &classAtom);
            at = SkipTextOrOrdinal(at, &icon);
            at += 1 + (*at + 1) / 2; // creation data
            const DialogControl* expected = NULL;
            for (const DialogControl& control : g_controls)
                if (control.dialog == dialog && control.id == id)
                    expected = &control;
            ASSERT_TRUE(expected != NULL) << dialog << " has a control " << id << " that the tables do not list";
            ++checked;
            EXPECT_EQ(expected->classAtom, classAtom) << dialog << "/" << id;
            EXPECT_EQ(expected->style, style & expected->style) << dialog << "/" << id;
            EXPECT_EQ(expected->visible, (style & WS_VISIBLE) != 0) << dialog << "/" << id;
            EXPECT_EQ(expected->transparent, (exStyle & WS_EX_TRANSPARENT) != 0) << dialog << "/" << id;
            EXPECT_EQ(expected->x, rectangle[0]) << dialog << "/" << id;
            EXPECT_EQ(expected->y, rectangle[1]) << dialog << "/" << id;
            EXPECT_EQ(expected->cx, rectangle[2]) << dialog << "/" << id;
            EXPECT_EQ(expected->cy, rectangle[3]) << dialog << "/" << id;
            if (classAtom == 0x82 && (style & SS_TYPEMASK) == SS_ICON)
                EXPECT_EQ(131, icon) << dialog;
        }
    }
    EXPECT_EQ(sizeof(g_controls) / sizeof(g_controls[0]), checked);
}

TEST_F(SetupResources, ThePackageIsTheReleaseLikePackage)
{
    HRSRC resource = ::FindResourceExW(module.Get(), L"PACK", L"PACK", 0);
    const BYTE* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module.Get(), resource)));
    InstallPackage package;
    ASSERT_EQ(S_OK, ParsePackage(bytes, ::SizeofResource(module.Get(), resource), package));
    EXPECT_TRUE(package.s3KeyId == L"null");
    // A build with a release feed adds its update agent after the manifest's entries.
    ASSERT_EQ(TW_TEST_AGENT ? 3u : 2u, package.compressedEntries.size());
    EXPECT_TRUE(package.compressedEntries[0].name == L"TW.Remover.exe");
    EXPECT_EQ(TestFolder::ReadFile(BinFolder() + L"\\TW.Remover.exe").size(), package.compressedEntries[0].uncompressedSize);
    EXPECT_TRUE(package.compressedEntries[1].name == L".deployment");
    EXPECT_EQ(26u, package.compressedEntries[1].uncompressedSize);
    if (TW_TEST_AGENT)
        EXPECT_EQ(TestFolder::ReadFile(BinFolder() + L"\\TW.Update.exe").size(),
                  package.compressedEntries[2].uncompressedSize);
    EXPECT_EQ(12u, package.dataFiles.size());
    EXPECT_TRUE(package.usageApplication);
    ASSERT_EQ(1, package.downloadUrls.Count());
    EXPECT_TRUE(package.downloadTargets[0] == L"%program%/TW.3D.Modeller.exe");
    EXPECT_EQ(29011464, package.downloadSizes[0]);
}

// The remover in the package is the remover of this build, byte for byte, so
// it carries the build's signature when the build signs.
TEST_F(SetupResources, ThePackagedRemoverIsTheBuiltOne)
{
    HRSRC resource = ::FindResourceExW(module.Get(), L"PACK", L"PACK", 0);
    const BYTE* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module.Get(), resource)));
    InstallPackage package;
    ASSERT_EQ(S_OK, ParsePackage(bytes, ::SizeofResource(module.Get(), resource), package));
    const PackageEntry& remover = package.compressedEntries[0];
    SMallocBytes inflated;
    ASSERT_EQ(S_OK, InflateExactly(remover.stream, remover.blockLength - 4, remover.uncompressedSize, remover.name,
                                   inflated));
    std::string built = TestFolder::ReadFile(BinFolder() + L"\\TW.Remover.exe");
    ASSERT_EQ(built.size(), remover.uncompressedSize);
    EXPECT_EQ(0, memcmp(built.data(), inflated.Get(), built.size()));
    const IMAGE_NT_HEADERS32* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        built.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(built.data())->e_lfanew);
    DWORD signatureSize = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size;
    EXPECT_EQ(TW_TEST_SIGNED != 0, signatureSize != 0);
}
