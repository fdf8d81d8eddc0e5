#include "FileTypes.h"

#include <gtest/gtest.h>

TEST(FileTypes, WhatAPackageMayName)
{
    for (const wchar_t* good : {L".tw3d", L".a", L".x-y_z", L".abcdefghijklmnop"})
        EXPECT_TRUE(IsValidExtension(good)) << good;
    for (const wchar_t* bad : {L"", L".", L"tw3d", L".a.b", L".a b", L".abcdefghijklmnopq", L"..", L".a\\b", L".é"})
        EXPECT_FALSE(IsValidExtension(bad)) << bad;
    for (const wchar_t* good : {L"Tarnwick.Model", L"Tarnwick.Model.2", L"A_b.C_1"})
        EXPECT_TRUE(IsValidProgId(good)) << good;
    for (const wchar_t* bad : {L"", L"Model", L"3D.Model", L"Tarnwick.", L".Model", L"Tarnwick.Model.x",
                               L"Tarnwick.Model.2.3", L"Tarn wick.Model", L"Tarnwick\\Model.x",
                               L"Tarnwick.ModelWithAVeryLongNameBeyondLimit"})
        EXPECT_FALSE(IsValidProgId(bad)) << bad;
    SString extension, progId;
    EXPECT_TRUE(ParseFileTypeAction(FileTypeAction(L".tw3d", L"Tarnwick.Model"), extension, progId));
    EXPECT_TRUE(extension == L".tw3d" && progId == L"Tarnwick.Model");
    for (const wchar_t* bad : {L"", L".tw3d", L".tw3d|", L"|Tarnwick.Model", L".tw3d|..\\..\\Software"})
        EXPECT_FALSE(ParseFileTypeAction(bad, extension, progId)) << bad;
}
