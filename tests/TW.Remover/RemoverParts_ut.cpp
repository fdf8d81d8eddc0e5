#include "Remover.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"

TEST(SafeRead, ReadsExactlyOrFails)
{
    TestFolder folder(L"SafeRead");
    folder.WriteFile(L"ten", std::string(10000, 'q'));
    folder.WriteFile(L"two", "ab");
    Remover engine;
    SFile ten(::CreateFileW((folder / L"ten").CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    std::string buffer(10000, '\0');
    ASSERT_EQ(S_OK, engine.SafeRead(ten.Get(), &buffer[0], 10000));
    EXPECT_EQ(std::string(10000, 'q'), buffer);
    EXPECT_EQ(S_OK, engine.SafeRead(ten.Get(), &buffer[0], 0));
    SFile two(::CreateFileW((folder / L"two").CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ(E_FAIL, engine.SafeRead(two.Get(), &buffer[0], 4));
    EXPECT_TRUE(SError::Identifier() == L"SafeRead");
}

TEST(DLLUninstall, CallsTheExportWithTheFlag)
{
    TestFolder folder(L"DLLUninstall");
    SString log = folder / L"calls.txt";
    ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", log.CStr());
    SString library = BinFolder() + L"\\plugins\\NPTW3D.dll";
    Remover engine;
    ASSERT_EQ(S_OK, engine.DLLUninstall(library, 1));
    EXPECT_EQ("TWUninstall|" + ToNarrow(library) + "|1\r\n", TestFolder::ReadFile(log));

    EXPECT_EQ(E_FAIL, engine.DLLUninstall(BinFolder() + L"\\noexport\\NPTW3D.dll", 0));
    EXPECT_TRUE(SError::Identifier() == L"DLLUninstall.GetProcAddress");
    EXPECT_EQ(E_FAIL, engine.DLLUninstall(folder / L"gone.dll", 0));
    EXPECT_TRUE(SError::Identifier() == L"TWDLLInstall.LoadLibrary");
    ::SetEnvironmentVariableW(L"TW_PLUGIN_LOG", NULL);
}
