#include "InstallThread.h"
#include "SetupWindow.h"

#include <gtest/gtest.h>

#include <limits>

TEST(ProgressPosition, FractionsToBarPositions)
{
    EXPECT_EQ(0, ProgressPosition(0.0f));
    EXPECT_EQ(128, ProgressPosition(0.5f));
    EXPECT_EQ(255, ProgressPosition(0.999f));
    EXPECT_EQ(256, ProgressPosition(1.0f));
    EXPECT_EQ(256, ProgressPosition(1.7f)); // clamped to the range
    EXPECT_EQ(256, ProgressPosition(1e7f));
    EXPECT_EQ(0, ProgressPosition(-0.5f));
    EXPECT_EQ(0, ProgressPosition(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(0, ProgressPosition(std::numeric_limits<float>::infinity()));
}

TEST(WithLineBreaks, OnlyTheWindowTurnsPairsIntoBreaks)
{
    EXPECT_TRUE(WithLineBreaks(L"Done.\\n\\nClick Finish.") == L"Done.\r\n\r\nClick Finish.");
    EXPECT_TRUE(WithLineBreaks(L"no pairs") == L"no pairs");
}
