#include "RemoverInputs.h"

#include "SError.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "MutatedInput.h"

namespace
{
std::string DeploymentBytes(const SString& base64) { return Utf16Bytes(base64) + std::string(2, '\0'); }

bool ReadsDeployment(const BYTE* bytes, DWORD size)
{
    SString id;
    if (ParseDeployment(bytes, size, L"d", id) == S_OK)
        return IsValidDeploymentId(id) || IsDeploymentPlaceholder(id);
    EXPECT_TRUE(SError::Identifier() == L"Uninstall.Deployment");
    return false;
}
} // namespace

TEST(RemoverInputs, DeploymentTextsThatAreIdentifiers)
{
    struct Case
    {
        std::string bytes;
        const wchar_t* id; // NULL: refused
    } cases[] = {
        {DeploymentBytes(L"NUEzQzE5RTc="), L"5A3C19E7"},
        {Utf16Bytes(L"NUEzQzE5RTc="), L"5A3C19E7"}, // ended by the file
        {DeploymentBytes(L"JURFUExPWU1FTlRJRCU="), L"%DEPLOYMENTID%"},
        {DeploymentBytes(L"eFwuLlwuLlwuLlxEb2N1bWVudHM="), NULL}, // "x\..\..\..\Documents"
        {DeploymentBytes(L"Li4="), NULL},                         // ".."
        {DeploymentBytes(L"NUEzQzE5RTc"), NULL},                  // no padding
        {std::string(), NULL},
        {std::string(2, '\0'), NULL},
        {DeploymentBytes(L"YQ==YQ=="), NULL}, // padding inside
    };
    for (const Case& c : cases)
    {
        SString id;
        HRESULT result = ParseDeployment(reinterpret_cast<const BYTE*>(c.bytes.data()),
                                         static_cast<DWORD>(c.bytes.size()), L"d", id);
        EXPECT_EQ(c.id ? S_OK : E_FAIL, result) << c.bytes;
        if (c.id)
        {
            EXPECT_TRUE(id == c.id) << id.CStr();
        }
    }
}

TEST(RemoverInputs, MutatedDeploymentFilesEndInAnIdentifierOrAClearError)
{
    Mutator mutator(20261207);
    int read = mutator.Run({DeploymentBytes(L"NUEzQzE5RTc="), DeploymentBytes(L"JURFUExPWU1FTlRJRCU=")}, 100000,
                           ReadsDeployment);
    EXPECT_GT(read, 0);
}

TEST(RemoverInputs, MutatedActionFilesEndInActionsOrAClearError)
{
    std::string actions = ActionFileBytes({L"UnregisterInstall", L"DLLUninstall.C:\\p\\NPTW3D.dll",
                                           L"UnregisterUri.tarnwick", L"DeleteFile.C:\\x\\Tarnwick 3D.lnk"});
    Mutator mutator(7);
    int read = mutator.Run({actions, ActionFileBytes({})}, 100000, [](const BYTE* bytes, DWORD size) {
        SStringList list;
        if (ParseActions(bytes, size, L"u", list) == S_OK)
            return true;
        EXPECT_TRUE(SError::Identifier() == L"Uninstall.Damaged");
        return false;
    });
    EXPECT_GT(read, 0);
}
