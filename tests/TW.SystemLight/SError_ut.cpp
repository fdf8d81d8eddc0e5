#include "SError.h"

#include <gtest/gtest.h>

TEST(SError, SetReplacesEarlierMessages)
{
    SERROR_SET("First.Failure").Add(L"one").Add(L"two");
    SERROR_SET("Second.Failure").Add(L"three");
    EXPECT_TRUE(SError::Text() == L"Second.Failure\nthree");
    EXPECT_EQ(1, SError::Messages().Count());
}

TEST(SError, SystemTextOfZeroAddsNothing)
{
    ::SetLastError(0);
    SERROR_SET_SYSTEM("X.Y");
    EXPECT_TRUE(SError::Text() == L"X.Y");
}

TEST(SError, SystemTextForARealCode)
{
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    SERROR_SET_SYSTEM("CreateFile").Add(L"C:\\missing");
    ASSERT_EQ(2, SError::Messages().Count());
    EXPECT_GT(SError::Messages()[0].Length(), 5);
    EXPECT_TRUE(SError::Messages()[1] == L"C:\\missing");
    EXPECT_TRUE(SError::Text().StartsWith(L"CreateFile\n"));
}

TEST(SError, WinInetCodesFindTheirText)
{
    ::LoadLibraryW(L"wininet.dll");
    ::SetLastError(12007); // ERROR_INTERNET_NAME_NOT_RESOLVED
    SERROR_SET_SYSTEM("OpenURL.HttpSendRequest");
    ASSERT_EQ(1, SError::Messages().Count());
    wchar_t expected[512] = {0};
    if (!::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, ::GetModuleHandleW(L"wininet.dll"),
                          12007, MAKELANGID(LANG_NEUTRAL, SUBLANG_CUSTOM_DEFAULT), expected, 512, NULL))
        wcscpy(expected, L"Error 12007: The server name could not be resolved.");
    EXPECT_TRUE(SError::Messages()[0] == expected) << SError::Messages()[0].CStr();
}

// A code that no system text describes still gets a reason line: the code
// and the project's own words.
TEST(SError, CodesWithoutSystemTextGetTheirOwn)
{
    ::SetLastError(12045); // ERROR_INTERNET_INVALID_CA
    SERROR_SET_SYSTEM("OpenURL.HttpSendRequest");
    ASSERT_EQ(1, SError::Messages().Count());
    EXPECT_NE(-1, SError::Messages()[0].Find(L"12045")) << SError::Messages()[0].CStr();
    ::SetLastError(12999);
    SERROR_SET_SYSTEM("OpenURL.HttpSendRequest");
    EXPECT_TRUE(SError::Messages()[0] == L"Error 12999: An Internet error occurred.");
}

TEST(SError, LastErrorIsReadBeforeTheIdentifierIsWidened)
{
    // Widening goes through MultiByteToWideChar, which may reset the last
    // error; the code that failed must still be the one described.
    ::SetLastError(ERROR_ACCESS_DENIED);
    SERROR_SET_SYSTEM("CreateDir.CreateDirectory");
    ASSERT_EQ(1, SError::Messages().Count());
    wchar_t expected[512] = {0};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, NULL, ERROR_ACCESS_DENIED,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_CUSTOM_DEFAULT), expected, 512, NULL);
    EXPECT_TRUE(SError::Messages()[0] == expected);
}
