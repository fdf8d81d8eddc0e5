// Both programs carry the version information of the build, as Explorer's
// Details page reads it.
#include <gtest/gtest.h>

#include <vector>

#include "EngineHarness.h"

namespace
{
struct ProgramVersion
{
    std::vector<BYTE> block;
    VS_FIXEDFILEINFO* fixed = NULL;

    explicit ProgramVersion(const SString& path)
    {
        DWORD ignored = 0;
        block.resize(::GetFileVersionInfoSizeW(path.CStr(), &ignored));
        UINT size = 0;
        if (!block.empty() && ::GetFileVersionInfoW(path.CStr(), 0, static_cast<DWORD>(block.size()), &block[0]))
            ::VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &size);
    }

    std::wstring Text(const wchar_t* name)
    {
        wchar_t* text = NULL;
        UINT length = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (block.empty() || !::VerQueryValueW(&block[0], key.c_str(), reinterpret_cast<void**>(&text), &length))
            return L"<missing>";
        return text;
    }
};
} // namespace

TEST(VersionInfo, BothProgramsCarryTheBuildsValues)
{
    const wchar_t* const programs[][2] = {{L"TW.Install.UI2.exe", L" Setup"}, {L"TW.Remover.exe", L" Remover"}};
    for (const auto& program : programs)
    {
        ProgramVersion version(BinFolder() + L"\\" + program[0]);
        ASSERT_TRUE(version.fixed != NULL) << program[0];
        EXPECT_EQ(0xFEEF04BDu, version.fixed->dwSignature);
        EXPECT_EQ(TW_TEST_VERSION_MS, version.fixed->dwFileVersionMS) << program[0];
        EXPECT_EQ(TW_TEST_VERSION_LS, version.fixed->dwFileVersionLS) << program[0];
        EXPECT_EQ(TW_TEST_VERSION_MS, version.fixed->dwProductVersionMS) << program[0];
        EXPECT_EQ(TW_TEST_VERSION, version.Text(L"FileVersion"));
        EXPECT_EQ(TW_TEST_VERSION, version.Text(L"ProductVersion"));
        EXPECT_EQ(TW_TEST_COMPANY, version.Text(L"CompanyName"));
        EXPECT_EQ(TW_TEST_PRODUCT, version.Text(L"ProductName"));
        EXPECT_EQ(std::wstring(TW_TEST_PRODUCT) + program[1], version.Text(L"FileDescription"));
        EXPECT_EQ(program[0], version.Text(L"OriginalFilename"));
        EXPECT_EQ(TW_TEST_COPYRIGHT, version.Text(L"LegalCopyright"));
    }
}
