// The NAME=VALUE parser of the batch tool: names of every kind, and values refused by kind.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/settings.h"
#include "files/setting_names.h"

namespace {
bool Parse(const std::string& text, SettingAssignment* a) { return ParseSettingAssignment(text.data(), text.size(), a); }

TEST(SettingNamesTest, NamesResolveToTheirFields) {
    SettingAssignment a;
    ASSERT_TRUE(Parse("left.minHeight=-2.5", &a));
    EXPECT_EQ(a.key.target, SETTING_CHANNEL_FIELD);
    EXPECT_EQ(a.key.channel, 0);
    EXPECT_EQ(a.key.index, FIELD_MIN_HEIGHT);
    EXPECT_EQ(a.number, -2.5);
    EXPECT_EQ(a.text, "-2.5");

    ASSERT_TRUE(Parse("right.heightBinSize=+1e-2", &a));
    EXPECT_EQ(a.key.channel, 1);
    EXPECT_EQ(a.key.index, FIELD_HEIGHT_BIN_SIZE);
    EXPECT_DOUBLE_EQ(a.number, 0.01);

    ASSERT_TRUE(Parse("right.sumQuantity=1", &a));
    EXPECT_EQ(a.key.target, SETTING_CHANNEL_OPTION);
    EXPECT_EQ(a.key.index, OPT_SUM_QUANTITY);
    EXPECT_EQ(a.number, 1.0);

    ASSERT_TRUE(Parse("channelSelection=5", &a));
    EXPECT_EQ(a.key.target, SETTING_CHANNEL_SELECTION);
    EXPECT_EQ(a.number, 5.0);

    ASSERT_TRUE(Parse("inputChannels=2", &a));
    EXPECT_EQ(a.key.target, SETTING_AUDIO);
    EXPECT_STREQ(AUDIO_SETTING_NAMES[a.key.index], "inputChannels");

    // Every field and switch of both channels has its name.
    for (const char* channel : {"left.", "right."}) {
        for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k)
            EXPECT_TRUE(Parse(std::string(channel) + CHANNEL_FIELD_NAMES[k] + "=1", &a)) << CHANNEL_FIELD_NAMES[k];
        for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k)
            EXPECT_TRUE(Parse(std::string(channel) + CHANNEL_OPTION_NAMES[k] + "=0", &a)) << CHANNEL_OPTION_NAMES[k];
    }
}

TEST(SettingNamesTest, MalformedAssignmentsAreRefused) {
    SettingAssignment a;
    a.key.index = 77;
    for (const char* text :
         {"", "=", "left.minHeight", "left.minHeight=", "minHeight=1", "left.=1", "middle.minHeight=1",
          "left.minHeightX=1", "left.minHeight=1,5", "left.minHeight= 1", "left.minHeight=nan",
          "left.minHeight=inf", "left.minHeight=0x10", "left.minHeight=1e999", "left.minHeight=1e", "left.minHeight=.",
          "left.useShapeMethod=2", "left.useShapeMethod=yes", "channelSelection=6", "channelSelection=-1",
          "inputChannels=1.5", "inputDevice=99999"}) {
        EXPECT_FALSE(Parse(text, &a)) << text;
    }
    EXPECT_EQ(a.key.index, 77);  // untouched by a refused text

    // The length bounds the text: bytes after it are not read, embedded zeros are refused.
    const char withTail[] = "left.sFold=3XYZ";
    ASSERT_TRUE(ParseSettingAssignment(withTail, 12, &a));
    EXPECT_EQ(a.number, 3.0);
    const char withZero[] = "left.sFold=3\0" "4";
    EXPECT_FALSE(ParseSettingAssignment(withZero, 14, &a));
}
}  // namespace
