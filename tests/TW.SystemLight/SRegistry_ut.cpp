#include "SError.h"
#include "SRegistry.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"

namespace
{
const wchar_t g_root[] = L"Software\\TarnwickRegistryTests";

class SRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteKeyTree(HKEY_CURRENT_USER, g_root); }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, g_root); }
    SString Path(const wchar_t* rest) const { return SString(g_root) + rest; }
};
} // namespace

TEST_F(SRegistryTest, TextIsStoredWithItsTerminatorAndCreatesKeys)
{
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\A\\B"), L"X", SString(L"v")));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, Path(L"\\A\\B"), L"X", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("v\0\0\0", 4), data);
    EXPECT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\A\\B"), L"X", SString(L"v")));

    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\A"), L"Empty", SString()));
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, Path(L"\\A"), L"Empty", type, data));
    EXPECT_EQ(std::string("\0\0", 2), data);
}

TEST_F(SRegistryTest, DefaultValuesAndNumbers)
{
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\D"), SString(), SString(L"text")));
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\N"), SString(), static_cast<DWORD>(7)));
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\N"), L"One", static_cast<DWORD>(1)));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, Path(L"\\D"), L"", type, data));
    EXPECT_EQ(Utf16Bytes(L"text") + std::string("\0\0", 2), data);
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, Path(L"\\N"), L"", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x07\0\0\0", 4), data);
    ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, Path(L"\\N"), L"One", type, data));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), data);
}

TEST_F(SRegistryTest, GetValueReadsBackAndReportsWhatIsMissing)
{
    SString text(L"C:\\Some Folder\\\x00E9");
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\G"), L"Tarnwick", text));
    SString read;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, Path(L"\\G"), L"Tarnwick", read));
    EXPECT_TRUE(read == text);

    SString unchanged(L"keep");
    EXPECT_EQ(E_FAIL, GetValue(HKEY_CURRENT_USER, Path(L"\\G"), L"Missing", unchanged));
    EXPECT_TRUE(SError::Text() == L"RegGetValue\n" + Path(L"\\G") + L"\nMissing");
    EXPECT_TRUE(unchanged == L"keep");
    EXPECT_EQ(E_FAIL, GetValue(HKEY_CURRENT_USER, Path(L"\\Nope"), L"Tarnwick", unchanged));
    EXPECT_TRUE(SError::Text() == L"RegOpenKey\n" + Path(L"\\Nope"));
}

TEST_F(SRegistryTest, GetValueLimits)
{
    SString fits;
    for (int i = 0; i < 259; ++i)
        fits += L"a";
    SString tooLong = fits;
    for (int i = 0; i < 41; ++i)
        tooLong += L"b";
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\L"), L"Fits", fits));
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\L"), L"Long", tooLong));
    SString read;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, Path(L"\\L"), L"Fits", read));
    EXPECT_TRUE(read == fits);
    EXPECT_EQ(E_FAIL, GetValue(HKEY_CURRENT_USER, Path(L"\\L"), L"Long", read));
    EXPECT_TRUE(SError::Identifier() == L"RegGetValue");
}

TEST_F(SRegistryTest, ListAndDeleteTrees)
{
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\A\\B\\C"), L"x", SString(L"1")));
    ASSERT_EQ(S_OK, SetValue(HKEY_CURRENT_USER, Path(L"\\A\\B2"), L"x", SString(L"1")));
    SStringList names;
    names.Append(L"kept");
    ASSERT_EQ(S_OK, ListKeys(HKEY_CURRENT_USER, Path(L"\\A"), names));
    ASSERT_EQ(3, names.Count());
    EXPECT_TRUE(names[0] == L"kept");
    SStringList none;
    ASSERT_EQ(S_OK, ListKeys(HKEY_CURRENT_USER, Path(L"\\A\\B\\C"), none));
    EXPECT_EQ(0, none.Count());

    ASSERT_EQ(S_OK, DeleteKeyTree(HKEY_CURRENT_USER, Path(L"\\A")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"\\A")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, g_root));
    EXPECT_EQ(E_FAIL, DeleteKeyTree(HKEY_CURRENT_USER, Path(L"\\A")));
    EXPECT_TRUE(SError::Identifier() == L"ListKeys");
}
