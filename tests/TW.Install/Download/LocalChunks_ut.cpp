#include "LocalChunks.h"

#include "SHandle.h"

#include <gtest/gtest.h>

#include "TestFolder.h"

// A file written after it was cut no longer vouches for its chunks: the
// delta then hashes them again as it copies them.
TEST(LocalChunks, AFileChangedSinceItWasCutIsNoticed)
{
    TestFolder folder(L"LocalChunks");
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7919) >> 5);
    folder.WriteFile(L"program.exe", bytes);
    LocalChunks local;
    local.AddFile(folder / L"program.exe");
    local.AddFile(folder / L"missing.exe"); // adds nothing
    auto Open = [&]() {
        return SFile(::CreateFileW((folder / L"program.exe").CStr(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                   OPEN_EXISTING, 0, NULL));
    };
    {
        SFile same = Open();
        EXPECT_TRUE(local.IsUnchanged(0, same.Get()));
    }
    ::Sleep(20); // a later write time than the first one
    bytes[1000] ^= 1;
    folder.WriteFile(L"program.exe", bytes);
    SFile changed = Open();
    EXPECT_FALSE(local.IsUnchanged(0, changed.Get()));
}
