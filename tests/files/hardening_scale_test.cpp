// Small versions of the paths that a very long or very large acquisition takes: record byte counts
// that wrap around in 32 bits, and pulse times beyond 2^32 frames through capture, save and reopen.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/data_file_format.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"
#include "ui/view_state.h"

namespace {
constexpr int64_t TWO_POW_32 = int64_t{1} << 32;

class ScaleEdgeTest : public FilesTest {
  protected:
    // Half a second of 16-bit mono at 48000 Hz with 24 pulses, at frames 100, 1100, ...
    void Deliver(int buffers) {
        Bytes bytes(48000, 0);
        for (int f = 100; f + 8 <= 24000; f += 1000)
            for (int j = 0; j < 8; ++j) {
                int16_t value = 13107;
                std::memcpy(&bytes[static_cast<size_t>(f + j) * 2], &value, 2);
            }
        for (int i = 0; i < buffers; ++i) ASSERT_TRUE(ScriptedDeliverInput(bytes.data(), bytes.size()));
    }
};

TEST_F(ScaleEdgeTest, CountsWhoseRecordBytesWrapAroundIn32BitsAreRefused) {
    // 24 x (100000000 + 78956971) = 2^32 + 8: a 32-bit size would expect a file of 7216 + 8 bytes.
    const uint32_t counts[][2] = {{100000000u, 78956971u}, {78956971u, 100000000u}};
    for (const auto& c : counts) {
        DataFileRecipe recipe;
        recipe.maxPulses[0] = recipe.maxPulses[1] = 100000000.0;
        Bytes bytes = DataFileBytes(recipe);
        std::memcpy(&bytes[4], &c[0], 4);
        std::memcpy(&bytes[8], &c[1], 4);
        bytes.resize(bytes.size() + 8, 0);
        Headless().messages.clear();
        OpenWith(IDM_OPEN, MakeFile("wrap.pls", bytes));
        EXPECT_EQ(FormatErrors(), 1);
        EXPECT_EQ(pulseCount[0], 0u);
        EXPECT_EQ(pulseCount[1], 0u);
        // Refused before the store was sized for the claimed counts.
        EXPECT_LE(storeSize, 2 * DEFAULT_PULSES_PER_CHANNEL);
    }
}

TEST_F(ScaleEdgeTest, PulseTimesBeyond32BitsSurviveCaptureSaveAndReopen) {
    SendCommand(WND_PULSES, IDM_START);
    Deliver(1);
    SendCommand(WND_PULSES, IDM_STOP);
    ASSERT_EQ(pulseCount[0], 24u);

    // As after 25 hours at 48000 Hz: the clock half a buffer short of 2^32 frames.
    const int64_t resume = TWO_POW_32 - 12000;
    sampleClock = resume;
    for (ChannelSettings& channel : settings.channel) channel.acquisitionTime = 200000.0;
    SendCommand(WND_PULSES, IDM_CONTINUE);
    Deliver(2);
    SendCommand(WND_PULSES, IDM_STOP);
    ASSERT_EQ(pulseCount[0], 72u);
    EXPECT_EQ(sampleClock, resume + 48000);
    for (uint32_t k = 0; k < 48; ++k) {
        int64_t expected = resume + 24000 * (k / 24) + 100 + 1000 * (k % 24);
        ASSERT_EQ(Pulse(0, 24 + k).time, expected) << k;
    }
    EXPECT_GT(Pulse(0, 71).time, TWO_POW_32);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, static_cast<double>(sampleClock) / 48000.0);

    std::vector<PulseRecord> captured(pulseStore, pulseStore + pulseCount[0]);
    std::string path = TempPath("long.pls");
    SaveAs(path);
    RestartProgram();
    OpenWith(IDM_OPEN, path);
    EXPECT_TRUE(Headless().messages.empty());
    ASSERT_EQ(pulseCount[0], captured.size());
    EXPECT_EQ(std::memcmp(pulseStore, captured.data(), captured.size() * sizeof(PulseRecord)), 0);
    EXPECT_EQ(sampleClock, resume + 48000);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
}
}  // namespace
