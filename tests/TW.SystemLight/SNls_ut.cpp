#include "SNls.h"

#include <gtest/gtest.h>

#include "MutatedInput.h"

namespace
{
SNlsTable Variant(LANGID language)
{
    SNlsTable table;
    LoadNLSVariant(::GetModuleHandleW(NULL), language, table);
    return table;
}

SNlsTable Parse(const wchar_t* text)
{
    SNlsTable table;
    ParseNLSText(text, static_cast<int>(wcslen(text)), table);
    return table;
}

const wchar_t* const g_keys[] = {
    L"Accept", L"Application.Title", L"Cancel", L"Comments", L"Contact", L"CreateShortcut", L"DeploymentID",
    L"DisplayName", L"Finish", L"First.Text", L"First.Title", L"HelpLink", L"Install", L"Install.Complete",
    L"Install.Copy", L"Install.CreateDir", L"Install.Failed", L"Install.Prepare", L"Install.Text",
    L"Install.Title", L"Last.Text", L"Last.TextStart", L"Last.Title", L"License.Text", L"License.Text2",
    L"License.Title", L"ModuleName", L"Next", L"Previous", L"Publisher", L"Reject", L"ShortcutArgs",
    L"ShortcutDescription", L"ShortcutIcon", L"ShortcutName", L"Start", L"StartAtEnd", L"URLInfoAbout",
    L"URLUpdateInfo"};
} // namespace

TEST(SNls, LanguageSelection)
{
    EXPECT_TRUE(Variant(0x0C0C)[L"Install.Title"] == L"Installation");     // French-Canada -> 12
    EXPECT_TRUE(Variant(0x040C)[L"Finish"] == L"&Terminer");               // French-France -> 12
    EXPECT_TRUE(Variant(0x0409)[L"Install.Title"] == L"Installing");       // English-US -> 0
    EXPECT_TRUE(Variant(0x0411)[L"Install.Title"] == L"Installing");       // Japanese -> 0
    EXPECT_TRUE(Variant(0x0807)[L"Finish"] == L"&Fertigstellen");          // German-Switzerland -> 7
    EXPECT_TRUE(Variant(0x0413)[L"Finish"] == L"&Voltooien");              // Dutch -> 19
    EXPECT_TRUE(Variant(0x0804)[L"Install.Title"] == L"\x6B63\x5728\x5B89\x88C5"); // Chinese-PRC -> 4
}

TEST(SNls, EveryVariantCarriesEveryKeyAndTheSameSettings)
{
    const LANGID languages[] = {0, 4, 7, 12, 19};
    SNlsTable neutral = Variant(0);
    for (LANGID language : languages)
    {
        SNlsTable table = Variant(language);
        EXPECT_EQ(42u, table.size()) << language;
        for (const wchar_t* key : g_keys)
            EXPECT_EQ(1u, table.count(key)) << language;
        for (const wchar_t* setting : {L"CreateShortcut", L"StartAtEnd", L"ShortcutArgs", L"ShortcutIcon",
                                       L"ModuleName", L"DeploymentID"})
            EXPECT_TRUE(table[setting] == neutral[setting]) << language;
        EXPECT_TRUE(table[L"Last.Text"].Find(L"\\n\\n") > 0) << language;
    }
    EXPECT_TRUE(neutral[L"CreateShortcut"] == L"true");
    EXPECT_FALSE(Variant(4)[L"Comments"].IsEmpty());
    EXPECT_FALSE(Variant(4)[L"ShortcutDescription"].IsEmpty());
    EXPECT_TRUE(Variant(7)[L"Comments"].IsEmpty());
}

TEST(SNls, LinesAndValues)
{
    SNlsTable table = Parse(L"Comments=\r\nTwo=a=b\r\nLast.Text=x\\n\\ny\r\nNoEquals\r\n\r\nEnd=tail");
    ASSERT_EQ(1u, table.count(L"Comments"));
    EXPECT_TRUE(table[L"Comments"].IsEmpty());
    EXPECT_EQ(0u, table.count(L"Two"));
    EXPECT_TRUE(table[L"Last.Text"] == L"x\\n\\ny");
    EXPECT_EQ(0u, table.count(L"NoEquals"));
    EXPECT_TRUE(table[L"End"] == L"tail");
}

TEST(SNls, LaterLinesReplaceEarlierOnes)
{
    SNlsTable table = Parse(L"A=1\r\nA=2\r\n");
    EXPECT_TRUE(table[L"A"] == L"2");
}

TEST(SNls, GetNLSReturnsTheKeyWhenAbsent)
{
    EXPECT_TRUE(GetNLS(L"No.Such.Key") == L"No.Such.Key");
    EXPECT_TRUE(GetNLS(L"install.title") == L"install.title");
    EXPECT_FALSE(GetNLS(L"Install.Title") == L"Install.Title");
}

TEST(SNls, MutatedTablesEndInEntriesNeverPastTheText)
{
    const wchar_t* text = L"DisplayName=Tarnwick 3D\r\nInstall.Copy=Copying files...\r\nStartAtEnd=true\r\n"
                          L"DeploymentID=5A3C19E7\r\nInstall.Failed=Setup failed\r\n";
    std::string bytes(reinterpret_cast<const char*>(text), wcslen(text) * 2);
    Mutator mutator(12);
    int read = mutator.Run({bytes}, 100000, [](const BYTE* data, DWORD size) {
        SNlsTable table;
        ParseNLSText(reinterpret_cast<const wchar_t*>(data), static_cast<int>(size / 2), table);
        return table.size() == 5;
    });
    EXPECT_GT(read, 0);
}
