// The NAME=VALUE parser of the batch tool: malformed assignments, values read and refused by kind,
// and every printed line reading back to its own field unchanged.
#include "files/setting_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/settings.h"
#include "files/setting_values.h"

namespace {
bool Parse(const std::string& text, SettingAssignment* a) {
    return ParseSettingAssignment(text.data(), text.size(), a);
}

// Malformed assignments and values not of their field's kind are refused, and leave the result alone.
TEST(SettingNamesTest, MalformedAssignmentsAndValuesOfTheWrongKindAreRefused) {
    std::string seventeenRows = "left.calibration=1:1:1";
    for (int i = 0; i < 16; ++i) seventeenRows += ",1:1:1";
    const char* const refused[][6] = {
        // by kind; shorter rows end in null pointers
        {"", "=", "left.minHeight", "left.minHeight=", "minHeight=1", "left.=1"},
        {"middle.minHeight=1", "left.minHeightX=1", "left.nosuch=1", "window7.flags=1"},
        {"left.minHeight=1,5", "left.minHeight= 1", "left.minHeight=nan", "left.minHeight=inf"},
        {"left.minHeight=0x10", "left.minHeight=1e999", "left.minHeight=1e", "left.minHeight=."},
        {"left.useShapeMethod=2", "left.useShapeMethod=yes", "channelSelection=6", "channelSelection=-1"},
        {"inputChannels=1.5", "inputDevice=99999", "left.calibrationMode=3", "window0.flags=-1"},
        {"window0.normalPosition=1,2,3", "left.pulseShape=1,2", "left.shapePointUsed=0101"},
        {"left.roi32=1:2:0:0:0:0:0:0", "left.roi1=-1:5:0:0:0:0:0:0", "left.roi0=5:5:0:0:0:0:0:0"},
        {seventeenRows.c_str(), "left.calibration=23.2:662", "right.calibration=1:2:x"},
        {"comments=\"a\\q\"", "comments=\"a\\x00\"", "comments=\"a\"b", "comments=\"open",
         "comments=\xE2\x9C\x93"},
        {"left.quantityUnits=\xF0\x9F\x98\x80", "left.quantityUnits=123456789012345678901234567890"}};
    SettingAssignment a;
    a.key.index = 77;
    for (const auto& row : refused)
        for (size_t i = 0; i < 6 && row[i]; ++i) EXPECT_FALSE(Parse(row[i], &a)) << row[i];
    EXPECT_EQ(a.key.index, 77);

    // The length bounds the text: bytes after it are not read, embedded zeros are refused.
    const char withTail[] = "left.sFold=3XYZ";
    ASSERT_TRUE(ParseSettingAssignment(withTail, 12, &a));
    EXPECT_EQ(a.number, 3.0);
    const char withZero[] =
        "left.sFold=3\0"
        "4";
    EXPECT_FALSE(ParseSettingAssignment(withZero, 14, &a));
}

// Every printed line names its own field and, read back, leaves the record as it is.
TEST(SettingNamesTest, EveryPrintedLineReadsBackToItsFieldUnchanged) {
    SettingsRecord record;
    SetDefaultSettings(record);
    std::strcpy(record.comments, "Line \"one\"\r\n\tback\\slash \xB5");
    record.calibration[0][14] = {10.5, 0.25, 100};
    record.roi[1][7] = {100, 120, 10.000000001, 12.5, 11.25, 0.75, 1234, 567.5};
    record.filterLimits[0][FILTER_WIDTH_MAX] = 33.3;
    std::vector<SettingKey> keys = SettingKeysInRecordOrder(record);
    // 10 audio fields, 2 x 14 fields, 2 x 11 switches, the selection, 6 filter switches, the comment,
    // 7 x 6 window parts, 12 limits, 2 x 5 shape and calibration fields, one region.
    EXPECT_EQ(keys.size(), 10u + 28 + 22 + 1 + 6 + 1 + 42 + 12 + 10 + 1);
    std::set<std::string> names;
    for (const SettingKey& key : keys) {
        std::string line = SettingName(key) + "=" + FormatSettingValue(record, key, 44100);
        EXPECT_TRUE(names.insert(SettingName(key)).second) << line;
        SettingAssignment a;
        std::string error;
        ASSERT_TRUE(ParseSettingAssignment(line.data(), line.size(), &a, &error)) << line << ": " << error;
        EXPECT_EQ(a.key.target, key.target) << line;
        EXPECT_EQ(a.key.channel, key.channel) << line;
        EXPECT_EQ(a.key.index, key.index) << line;
        EXPECT_TRUE(SettingUnchanged(record, a, 44100)) << line;
    }
    EXPECT_EQ(FormatSettingValue(record, {SETTING_COMMENTS, 0, 0}, 44100),
              "\"Line \\\"one\\\"\\r\\n\\tback\\\\slash \\xB5\"");
    EXPECT_EQ(FormatSettingValue(record, {SETTING_CALIBRATION, 0, 0}, 44100), "10.5:0.25:100,23:1:662");
    EXPECT_EQ(FormatSettingValue(record, {SETTING_ROI, 1, 7}, 44100),
              "100:120:10.000000001:12.5:11.25:0.75:1234:567.5");
}

TEST(SettingNamesTest, TextsNumbersAndListsAreReadByKind) {
    SettingAssignment a;
    ASSERT_TRUE(Parse("right.heightBinSize=+1e-2", &a));
    EXPECT_DOUBLE_EQ(a.number, 0.01);
    ASSERT_TRUE(Parse("comments=\xC2\xB5s \xE2\x82\xAC", &a));  // UTF-8 from a terminal
    EXPECT_EQ(a.value, "\xB5s \x80");
    ASSERT_TRUE(Parse("comments=\"a\\x41\\\"\"", &a));
    EXPECT_EQ(a.value, "aA\"");
    ASSERT_TRUE(Parse("right.calibration=1:2:3,4:5:6", &a));
    EXPECT_EQ(a.numbers, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(Parse("window6.normalPosition=-1,2,-3,4", &a));
    EXPECT_EQ(a.numbers, (std::vector<double>{-1, 2, -3, 4}));
}
}  // namespace
