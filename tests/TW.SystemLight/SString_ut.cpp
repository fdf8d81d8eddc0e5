#include "SString.h"

#include <gtest/gtest.h>

#include <string.h>

namespace
{
std::string Utf8(const SString& text, int size)
{
    char buffer[64];
    memset(buffer, 0x7F, sizeof(buffer));
    text.ToUTF8(buffer, size);
    return buffer;
}
} // namespace

TEST(SString, EmptyFormsAreBlockless)
{
    SString fromEmpty(L"");
    SString fromNull(static_cast<const wchar_t*>(NULL));
    SString byDefault;
    SString counted(L"abc", 0);
    for (const SString* s : {&fromEmpty, &fromNull, &byDefault, &counted})
    {
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(0, s->Length());
        ASSERT_NE(nullptr, s->CStr());
        EXPECT_EQ(0, s->CStr()[0]);
        EXPECT_EQ(nullptr, s->Data());
    }
}

TEST(SString, TerminatorOnlyBlockIsNotEmpty)
{
    SString narrow = SString::FromNarrow("");
    EXPECT_FALSE(narrow.IsEmpty());
    EXPECT_EQ(0, narrow.Length());
    EXPECT_FALSE(narrow == L"");

    SString cut(L"xyz");
    cut.ReplaceChar(L'x', 0);
    EXPECT_FALSE(cut.IsEmpty());
    EXPECT_EQ(0, cut.Length());
}

TEST(SString, Equality)
{
    SString empty;
    EXPECT_TRUE(empty == L"");
    EXPECT_TRUE(empty == static_cast<const wchar_t*>(NULL));
    SString abc(L"abc");
    EXPECT_TRUE(abc == L"abc");
    EXPECT_FALSE(abc == L"ab");
    EXPECT_FALSE(abc == L"abcd");
    EXPECT_FALSE(abc == L"");
    EXPECT_TRUE(abc == SString(L"abc"));
}

TEST(SString, OrderingIsUnsignedAndPrefixFirst)
{
    EXPECT_TRUE(SString(L"ab") < SString(L"abc"));
    EXPECT_FALSE(SString(L"abc") < SString(L"ab"));
    EXPECT_TRUE(SString(L"Z") < SString(L"a"));
    EXPECT_TRUE(SString(L"a") < SString(L"\xE9"));
    EXPECT_TRUE(SString() < SString(L"a"));
    EXPECT_FALSE(SString(L"a") < SString(L"a"));
}

TEST(SString, CopiesAreDeepAndSelfAssignmentKeepsText)
{
    SString a(L"path");
    SString b(a);
    EXPECT_NE(a.Data(), b.Data());
    b.Append(L"\\x");
    EXPECT_TRUE(a == L"path");
    const SString& alias = a;
    a = alias;
    EXPECT_TRUE(a == L"path");
    a = a.CStr();
    EXPECT_TRUE(a == L"path");
}

TEST(SString, FindAndStartsWith)
{
    SString s(L"a\\b\\c");
    EXPECT_EQ(1, s.Find(L'\\'));
    EXPECT_EQ(3, s.ReverseFind(L'\\'));
    EXPECT_EQ(-1, s.Find(L'x'));
    EXPECT_EQ(2, s.Find(L"b\\"));
    EXPECT_EQ(-1, s.Find(L""));
    EXPECT_EQ(-1, s.Find(static_cast<const wchar_t*>(NULL)));
    EXPECT_EQ(-1, SString().Find(L'a'));
    EXPECT_TRUE(SString().StartsWith(L""));
    EXPECT_FALSE(SString().StartsWith(L"a"));
    EXPECT_TRUE(s.StartsWith(L"a\\"));
    EXPECT_FALSE(s.StartsWith(L"a\\b\\c\\"));
    EXPECT_TRUE(s.EndsWith(L"\\c"));
    EXPECT_FALSE(SString(L"x.twp").EndsWith(L".TWP"));
}

TEST(SString, Mid)
{
    SString s(L"abcdef");
    EXPECT_TRUE(s.Mid(2, -1) == L"cdef");
    EXPECT_TRUE(s.Mid(4, 10) == L"ef");
    EXPECT_TRUE(s.Mid(6, 1).IsEmpty());
    EXPECT_TRUE(s.Mid(1, 0).IsEmpty());
    EXPECT_TRUE(s.Mid(99).IsEmpty());
}

TEST(SString, Split)
{
    SStringList pieces = SString(L"a\\b\\").Split(L'\\');
    ASSERT_EQ(3, pieces.Count());
    EXPECT_TRUE(pieces[0] == L"a");
    EXPECT_TRUE(pieces[1] == L"b");
    EXPECT_TRUE(pieces[2].IsEmpty());
    EXPECT_EQ(0, SString().Split(L'\\').Count());
    SStringList one = SString(L"x").Split(L'\\');
    ASSERT_EQ(1, one.Count());
    EXPECT_TRUE(one[0] == L"x");
    // Appends to what the list holds.
    SString(L"y\\z").Split(L'\\', one);
    EXPECT_EQ(3, one.Count());
}

TEST(SString, ReplaceAndReplaceChar)
{
    SString s(L"a/b/c");
    s.Replace(L"/", L"\\");
    EXPECT_TRUE(s == L"a\\b\\c");
    SString t(L"%program%/x.exe");
    t.Replace(L"%program%", L"C:\\P");
    EXPECT_TRUE(t == L"C:\\P/x.exe");
    SString v(L"val\r");
    v.ReplaceChar(L'\r', 0);
    EXPECT_TRUE(SString(v.CStr()) == L"val");
}

TEST(SString, AppendAndConcatenate)
{
    SString s;
    s.Append(L"");
    s.Append(static_cast<const wchar_t*>(NULL));
    EXPECT_TRUE(s.IsEmpty());
    s += L"ab";
    s += SString(L"c");
    EXPECT_TRUE(s == L"abc");
    EXPECT_TRUE(L"<" + s + L">" == L"<abc>");
}

TEST(SString, Numbers)
{
    EXPECT_EQ(-42, SString(L"-42").ToInt());
    EXPECT_EQ(7, SString(L"+7").ToInt());
    EXPECT_EQ(0, SString().ToInt());
    EXPECT_EQ(29011464, SString(L"29011464").ToInt());
    EXPECT_TRUE(SString::FromInt(0) == L"0");
    EXPECT_TRUE(SString::FromInt(1204) == L"1204");
    EXPECT_TRUE(SString::FromInt(2147483647) == L"2147483647");
    // Ranges of bodies of 2 GiB and more.
    EXPECT_TRUE(SString::FromUnsigned(2147483648u) == L"2147483648");
    EXPECT_TRUE(SString::FromUnsigned(4294967295u) == L"4294967295");
}

TEST(SString, FromNarrowWidensAscii)
{
    EXPECT_TRUE(SString::FromNarrow("CreateDir.EmptyPath") == L"CreateDir.EmptyPath");
    EXPECT_TRUE(SString::FromNarrow(NULL).Length() == 0);
}

TEST(SString, ToUTF8CutsAtCharacterBoundaries)
{
    SString e(L"\x00E9");
    EXPECT_EQ("\xC3\xA9", Utf8(e, 3));
    EXPECT_EQ("", Utf8(e, 2));
    EXPECT_EQ("\xCE\xA9", Utf8(SString(L"\x03A9"), 8));
    EXPECT_EQ("\xE2\x82\xAC", Utf8(SString(L"\x20AC"), 4));
    EXPECT_EQ("", Utf8(SString(L"\x20AC"), 3));
    EXPECT_EQ("ab", Utf8(SString(L"ab\x20AC"), 5));
    EXPECT_EQ("", Utf8(SString(), 1));
    // Surrogates are encoded one by one.
    EXPECT_EQ("\xED\xA0\xBD\xED\xB8\x80", Utf8(SString(L"\xD83D\xDE00"), 16));
    char untouched = 'x';
    SString(L"a").ToUTF8(&untouched, 0);
    EXPECT_EQ('x', untouched);
}

TEST(SString, DecodeBase64)
{
    SString out;
    SString(L"YWJj").DecodeBase64(out);
    EXPECT_TRUE(out == L"abc");
    SString ab;
    SString(L"YWI=").DecodeBase64(ab);
    EXPECT_TRUE(ab == L"ab");
    SString a;
    SString(L"YQ==").DecodeBase64(a);
    EXPECT_TRUE(a == L"a");
    SString id;
    SString(L"NUEzQzE5RTc=").DecodeBase64(id);
    EXPECT_TRUE(id == L"5A3C19E7");
    // Appends to what the output holds.
    SString(L"Yg==").DecodeBase64(a);
    EXPECT_TRUE(a == L"ab");
}

TEST(SString, DecodeBase64OfMalformedInputIsDefined)
{
    SString partial;
    SString(L"YWJjYQ").DecodeBase64(partial); // incomplete last group ignored
    EXPECT_TRUE(partial == L"abc");
    SString zero;
    SString(L"AAAA").DecodeBase64(zero); // zero bytes end the output
    EXPECT_TRUE(zero.IsEmpty());
    SString outside;
    SString(L"Y\x00E9Jj").DecodeBase64(outside);
    EXPECT_LE(outside.Length(), 3);
    SString empty;
    SString().DecodeBase64(empty);
    EXPECT_TRUE(empty.IsEmpty());
    // Longer than the 4095-byte buffer: decoded only as far as it fits.
    SString longText;
    for (int i = 0; i < 2000; ++i)
        longText.Append(L"YWJj");
    SString decoded;
    longText.DecodeBase64(decoded);
    EXPECT_EQ(4092 / 4 * 3, decoded.Length());
}

TEST(SStringList, GrowsAndCopies)
{
    SStringList list;
    for (int i = 0; i < 100; ++i)
        list.Append(SString::FromInt(i));
    ASSERT_EQ(100, list.Count());
    EXPECT_TRUE(list[99] == L"99");
    SStringList copy(list);
    copy[0] = L"changed";
    EXPECT_TRUE(list[0] == L"0");
    EXPECT_EQ(100, copy.Count());
}
