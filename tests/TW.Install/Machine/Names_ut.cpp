#include "Names.h"
#include "SNls.h"
#include "SRegistry.h"
#include "SShell.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"

TEST(InstallNames, Suffixes)
{
    EXPECT_TRUE(InstanceSuffix(L"Production_Nest_5-2", true, L"5A3C19E7") == L".Production_Nest_5-2.5A3C19E7");
    EXPECT_TRUE(InstanceSuffix(L"Production_Nest_5-2", false, L"") == L".Production_Nest_5-2");
    EXPECT_TRUE(InstanceSuffix(L"Production_FLY", true, L"5A3C19E7") == L".5A3C19E7");
    EXPECT_TRUE(InstanceSuffix(L"Production_Nest_5-2", true, SString()) == L".Production_Nest_5-2.");
}

TEST(InstallNames, UninstallKeyNames)
{
    EXPECT_TRUE(UninstallKeyName(L"Production_Nest_5-2", L"5A3C19E7") == L"Tarnwick_Production_Nest_5-2_5A3C19E7");
    EXPECT_TRUE(UninstallKeyName(L"Production_Nest_5-2", SString()) == L"Tarnwick_Production_Nest_5-2");
    EXPECT_TRUE(UninstallKeyName(L"Production_FLY", SString()) == L"Tarnwick_Production_FLY");
}

TEST(InstallNames, BuildChannelAndDeployment)
{
    EXPECT_TRUE(ReleaseChannel() == L"Production_Nest_5-2");
    SString id;
    ASSERT_TRUE(SetupDeploymentId(id));
    EXPECT_TRUE(id == GetNLS(L"DeploymentID"));
}

TEST(PrepareFolders, DefaultsRecordNothing)
{
    InstallPlace place;
    place.Clear();
    TWInstall engine;
    InstallPackage package;
    SString data, program, low;
    ASSERT_EQ(S_OK, engine.PrepareFolders(InstallOptions(), package, data, program, low));
    EXPECT_TRUE(data == GetLocalAppDataLowFolder() + L"\\Tarnwick.Production_Nest_5-2.5A3C19E7");
    EXPECT_TRUE(program == GetLocalAppDataFolder() + L"\\Tarnwick.Production_Nest_5-2.5A3C19E7");
    EXPECT_TRUE(low == data);
    EXPECT_TRUE(IsDirectory(data));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix)));
    place.Clear();
}

TEST(PrepareFolders, OptionsWinOverThePackage)
{
    InstallPlace place;
    TestFolder root(L"Explicit");
    TWInstall engine;
    InstallPackage package;
    package.targetProgram = root / L"FromPackage";
    InstallOptions options;
    options.programFolder = root / L"a\\b\\c";
    SString data, program, low;
    ASSERT_EQ(S_OK, engine.PrepareFolders(options, package, data, program, low));
    EXPECT_TRUE(program == root / L"a\\b\\c");
    EXPECT_TRUE(low == program);
    EXPECT_TRUE(IsDirectory(program)); // every missing level made
    // Per user under HKEY_CURRENT_USER, which a standard user may write.
    SString recorded;
    ASSERT_EQ(S_OK, GetValue(HKEY_CURRENT_USER, DeploymentKeyPath(place.suffix) + L"\\ProgramFiles", VendorName(),
                             recorded));
    EXPECT_TRUE(recorded == program);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DeploymentKeyPath(place.suffix)));
    place.Clear();
}

TEST(InstallNames, DeploymentIdentifiersNameNothingButThemselves)
{
    for (const wchar_t* id : {L"5A3C19E7", L"a", L"v1.2-beta_3"})
        EXPECT_TRUE(IsValidDeploymentId(id)) << id;
    for (const wchar_t* id : {L"", L"x\\..\\Documents", L"a/b", L"..", L"a.", L".a", L"a b", L"C:", L"%DEPLOYMENTID%",
                              L"\x00E4"})
        EXPECT_FALSE(IsValidDeploymentId(id)) << id;
    EXPECT_FALSE(IsValidDeploymentId(SString(L"a") + SString(L"0123456789012345678901234567890123456789012345678901234567890123"))); // 65
}
