// Live playback through PortAudio into the file-recording ALSA device: blocks played in the order
// written, each posted when done, reset returning unplayed blocks, mono "Right" on the right speaker.
#include <algorithm>

#include "tests/portaudio/portaudio_support.h"

namespace {
constexpr uint32_t BLOCK = 96000;  // half a second at 48000 Hz, 16 bits, stereo

// Waits for `count` finished blocks and returns their indices in order.
std::vector<int> WaitForBlocks(size_t count) {
    std::vector<int> done;
    RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind == AUDIO_OUTPUT_DONE) done.push_back(index);
            return done.size() == count;
        },
        60.0);
    return done;
}

bool StartsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}
}  // namespace

TEST_F(LiveAudioTest, OutputPlaysBlocksInWrittenOrderAndMonoRightOnTheRightChannel) {
    ASSERT_TRUE(AudioOpenOutput(FindOutputDevice("filecap"), MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> blocks[4];
    for (int i = 0; i < 4; i++) blocks[i] = PatternBytes(BLOCK, 20 + static_cast<uint32_t>(i));
    for (int i : {1, 3, 0, 2}) AudioWriteOutput(i, blocks[i].data(), BLOCK);
    EXPECT_EQ(WaitForBlocks(4), (std::vector<int>{1, 3, 0, 2}));
    // A block comes back and is written again with new contents, as the click output does.
    std::vector<uint8_t> again = PatternBytes(BLOCK, 30);
    AudioWriteOutput(3, again.data(), BLOCK);
    EXPECT_EQ(WaitForBlocks(1), (std::vector<int>{3}));
    AudioCloseOutput();
    std::vector<uint8_t> expected;
    for (const std::vector<uint8_t>* b : {&blocks[1], &blocks[3], &blocks[0], &blocks[2], &again})
        expected.insert(expected.end(), b->begin(), b->end());
    EXPECT_TRUE(StartsWith(ReadFile(playbackPath), expected));

    WriteFile(playbackPath, {});
    ASSERT_TRUE(AudioOpenOutput(FindOutputDevice("filecap"), MakeFormat(1, 16, 48000, 2)));
    std::vector<uint8_t> mono = PatternBytes(BLOCK / 2, 50), stereo;
    AudioWriteOutput(0, mono.data(), BLOCK / 2);
    ASSERT_EQ(WaitForBlocks(1), (std::vector<int>{0}));
    AudioCloseOutput();
    for (size_t i = 0; i < mono.size(); i += 2) stereo.insert(stereo.end(), {0, 0, mono[i], mono[i + 1]});
    EXPECT_TRUE(StartsWith(ReadFile(playbackPath), stereo));
}

TEST_F(LiveAudioTest, OutputResetReturnsEveryUnplayedBlockAndTheOutputPlaysOn) {
    EXPECT_FALSE(AudioOpenOutput(-1, MakeFormat(2, 16, 48000, 3)));
    EXPECT_FALSE(AudioOpenOutput(AudioOutputDeviceCount(), MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> block = PatternBytes(BLOCK, 40);
    AudioWriteOutput(0, block.data(), BLOCK);
    AudioResetOutput();
    EXPECT_TRUE(CollectNotifications().empty()) << "writes to a closed output are ignored";

    ASSERT_TRUE(AudioOpenOutput(FindOutputDevice("filecap"), MakeFormat(2, 16, 48000, 3)));
    for (int i = 0; i < 4; i++) AudioWriteOutput(i, block.data(), BLOCK);
    AudioResetOutput();
    // Played or returned, each once, in order.
    EXPECT_EQ(CollectNotifications(), (std::vector<std::pair<AudioNotification, int>>{
                                          {AUDIO_OUTPUT_DONE, 0}, {AUDIO_OUTPUT_DONE, 1},
                                          {AUDIO_OUTPUT_DONE, 2}, {AUDIO_OUTPUT_DONE, 3}}));
    AudioWriteOutput(2, block.data(), BLOCK);
    EXPECT_EQ(WaitForBlocks(1), (std::vector<int>{2}));
}
