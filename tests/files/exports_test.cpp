// The text exports through their commands: headers and rows byte for byte, regions, coincident
// pairs, the time series against independently counted spectra, long lines and a failed write.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/binary_file.h"
#include "files/export_writer.h"
#include "platform/headless/headless.h"
#include "tests/files/file_test_support.h"
#include "tests/support/store_fill.h"
#include "ui/commands.h"

namespace {
constexpr uint32_t BIN = 2147484;  // the default height bin of 0.1 arb.u in sample units

class ExportsTest : public FilesTest {
  protected:
    void Finish(double seconds) {
        sampleClock = static_cast<int64_t>(seconds * dataSampleRate);
        acquisitionSeconds = seconds;
        runState |= RS_DATA_READY;
    }
    std::string Export(int command) {
        std::string path = TempPath("export.txt");
        std::filesystem::remove(path);
        RunCommand(command, path);
        return ReadText(path);
    }
    // Pulses at 0.5 s + k + j/100 s in step k, k + 1 of them, heights in bins 1 to 5.
    void StepsWithGrowingCounts() {
        for (int k = 0; k < 5; ++k)
            for (int j = 0; j <= k; ++j)
                AddPulse(0, static_cast<int64_t>((2.0 * k + 0.5 + j * 0.01) * 48000), 3 + j,
                         BIN * (1 + j) + 5);
        Finish(10.0);
    }
};

TEST_F(ExportsTest, HistogramExportsWriteTheirHeadersAndRows) {
    settings.channel[0].timeStep = 2.0;
    settings.channel[0].rateBinSize = 0.5;
    QuantizeSettings(false);
    StepsWithGrowingCounts();

    EXPECT_EQ(Export(IDM_EXPORT_RATE_TIME), "Time/s\tCounts\r\n0\t1\r\n2\t2\r\n4\t3\r\n6\t4\r\n8\t5\r\n");

    // Steps of 1 to 5 pulses at 1 count per bin (0.5/s x 2 s).
    EXPECT_EQ(Export(IDM_EXPORT_RATE_HIST),
              "Rate/(1/s)\tCounts\r\n0\t0\r\n0.5\t1\r\n1\t1\r\n1.5\t1\r\n2\t1\r\n2.5\t1\r\n");

    EXPECT_EQ(Export(IDM_EXPORT_INTERVAL).substr(0, 20), "Interval/\xB5s\tCounts\r\n");

    // Widths 3 to 7 samples at one sample (20.8333 us) per bin.
    std::string width = Export(IDM_EXPORT_WIDTH);
    EXPECT_EQ(width.substr(0, 17), "Width/\xB5s\tCounts\r\n");
    EXPECT_NE(width.find("\r\n62.5\t5\r\n83.3333\t4\r\n104.1667\t3\r\n125\t2\r\n145.8333\t1\r\n"),
              std::string::npos);

    EXPECT_EQ(Export(IDM_EXPORT_HEIGHT),
              "Height/arb.u\tCounts\r\n0\t0\r\n0.1\t5\r\n0.2\t4\r\n0.3\t3\r\n0.4\t2\r\n0.5\t1\r\n");

    // Cancel writes nothing.
    size_t messages = Headless().messages.size();
    RunCommand(IDM_EXPORT_WIDTH);
    EXPECT_EQ(Headless().messages.size(), messages);
}

TEST_F(ExportsTest, RegionsAndCoincidentPairs) {
    const std::string roiHeader = "Arbitrary Units\r\nStart\tEnd\tMean\tSD\tGross\tNet\r\n";
    EXPECT_EQ(Export(IDM_EXPORT_ROI), roiHeader);

    for (int i = 0; i < 10; ++i) AddPulse(0, 1000 + i * 100, 4, BIN * (5 + i % 5) + 7);
    AddPulse(1, 10, 4, 100000000);
    AddPulse(1, 1004, 10, BIN * 20);
    Pulse(0, 0).partner = 1;
    Finish(1.0);
    ASSERT_TRUE(AddRoi(0, 5, 9));
    std::vector<std::string> rows = Lines(Export(IDM_EXPORT_ROI));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].substr(0, 8), "0.5\t0.9\t");
    EXPECT_NE(rows[2].find("\t10\t"), std::string::npos);  // the gross count

    // One left pulse has a partner: heights in arb.u (with the distortion correction) and the delay
    // of the pulse centres in us.
    settings.channelSelection = 3;
    Pulse(0, 0).distortion = 1u << 31;  // half the full distortion scale
    settings.channel[0].correction = 20;
    // 0.5 arb.u x (1 + 0.5 x 20 %) and 2 arb.u; centres at 1002 and 1009 frames: 7 frames at 48 kHz.
    EXPECT_EQ(Export(IDM_EXPORT_COINCIDENT),
              "Arbitrary Units\tArbitrary Units\t\xB5s\r\nLeft Height\tRight Height\tRight-Left Delay\r\n"
              "0.55\t2\t145.83333\r\n");
    EXPECT_EQ(settings.channelSelection, 3);

    Pulse(0, 0).partner = 0;
    EXPECT_EQ(Export(IDM_EXPORT_COINCIDENT),
              "Arbitrary Units\tArbitrary Units\t\xB5s\r\nLeft Height\tRight Height\tRight-Left Delay\r\n");
}

TEST_F(ExportsTest, CoincidenceDoesNotReadTheSlotAfterTheLastPartner) {
    // The second left pulse is linked to the right pulse that was still open when its capture stopped
    // (index = the right count); that slot holds whatever an earlier file left there.
    DataFileRecipe earlier, linked;
    earlier.right = {{0, 4, BIN * 20, 0, 0}, {100, 4, BIN * 20, 0, 0}, {200, 4, BIN * 20, 0, 0}};
    linked.right = {{0, 4, BIN * 20, 0, 0}, {100, 4, BIN * 20, 0, 0}};
    linked.left = {{100, 4, BIN * 5, 0, 1}, {200, 4, BIN * 6, 0, 2}};
    const std::string paths[] = {MakeFile("linked.pls", DataFileBytes(linked)),
                                 MakeFile("earlier.pls", DataFileBytes(earlier))};
    settings.channelSelection = 1;
    settings.filterEnable[1][0] = 1;  // the partner's height must lie in 1 to 3 arb.u
    settings.filterLimits[1][0] = BIN * 10.0;
    settings.filterLimits[1][1] = BIN * 30.0;
    for (uint8_t filter : {1, 0}) {  // filter on first, while that slot has never held a pulse
        settings.options[0].useAdvancedFilter = filter;
        for (const std::string& before : paths) {
            RunCommand(IDM_LOAD_DATA, before);
            RunCommand(IDM_LOAD_DATA, paths[0]);
            EXPECT_EQ(filteredPulseCount, 1) << int(filter) << " " << before;
            // The export writes a row for exactly the pulses the selection admits.
            EXPECT_EQ(Lines(Export(IDM_EXPORT_COINCIDENT)).size(), 2u + 1u) << int(filter) << " " << before;
        }
    }
}

TEST_F(ExportsTest, RegionExportsFollowABinSizeChangedWhileTheHeightWindowIsHidden) {
    for (int i = 0; i < 10; ++i) AddPulse(0, 1000 + i * 100, 4, BIN * 10 + BIN / 2);  // 1.05 arb.u
    Finish(1.0);
    ASSERT_TRUE(AddRoi(0, 8, 14));  // 0.8 to 1.4 arb.u
    settings.channel[0].heightBinSize = 0.2;
    QuantizeSettings(false);
    // The region now spans bins 4 to 7 and holds all ten pulses in bin 5 (lower edge 1.0 arb.u).
    std::vector<std::string> rows = Lines(Export(IDM_EXPORT_ROI));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], "0.8\t1.4\t1\t0\t10\t10");
    AddRoi(0, 8, 14);  // made at 0.2: 1.6 to 2.8 arb.u, empty
    settings.channel[0].heightBinSize = 0.1;
    QuantizeSettings(false);
    EXPECT_EQ(Export(IDM_EXPORT_ROI_TIME), "10\t0\r\n");
}

TEST_F(ExportsTest, TimeSeriesMatchIndependentlyCountedSpectra) {
    std::vector<PulseRecord> pulses;
    for (int i = 0; i < 400; ++i)
        pulses.push_back(
            {static_cast<int64_t>(i) * 480 + 7, 3, BIN * static_cast<uint32_t>((i * 7) % 23) + 11, 0, 0});
    for (const PulseRecord& p : pulses) Pulse(0, pulseCount[0]++) = p;
    Finish(4.0);
    ASSERT_TRUE(AddRoi(0, 3, 6));
    const double begin = settings.channel[0].beginTime, duration = settings.channel[0].durationTime;

    // The spectrum of each 1 s step, bins 0 to 22, and its region (bins 3 to 6) counted here.
    std::vector<std::vector<int>> spectra(4, std::vector<int>(23, 0));
    for (const PulseRecord& p : pulses) spectra[static_cast<size_t>(p.time / 48000)][p.height / BIN] += 1;
    std::string expected, regions;
    for (const std::vector<int>& counts : spectra) {
        for (size_t b = 0; b < counts.size(); ++b) expected += (b ? "\t" : "") + std::to_string(counts[b]);
        expected += "\r\n";
        regions += std::to_string(counts[3] + counts[4] + counts[5] + counts[6]) + "\r\n";
    }
    EXPECT_EQ(Export(IDM_EXPORT_HEIGHT_TIME), expected);
    EXPECT_EQ(settings.channel[0].beginTime, begin);
    EXPECT_EQ(settings.channel[0].durationTime, duration);
    EXPECT_EQ(dataLength[WND_HEIGHT], 22);
    EXPECT_EQ(Export(IDM_EXPORT_ROI_TIME), regions);

    // An analysed window that begins after the acquisition writes no lines.
    settings.channel[0].beginTime = 5.0;
    QuantizeSettings(false);
    EXPECT_EQ(Export(IDM_EXPORT_HEIGHT_TIME), "");

    // A time step that snaps to 0 at a low rate cannot move the window: the export ends.
    settings.channel[0].beginTime = 0.0;
    dataSampleRate = 1000;
    QuantizeSettings(true);
    settings.channel[0].timeStep = 0.0001;
    QuantizeSettings(false);
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 0);
    std::string stuck = Export(IDM_EXPORT_ROI_TIME);
    EXPECT_LE(std::count(stuck.begin(), stuck.end(), '\n'), 1);
}

TEST_F(ExportsTest, LongLinesAreWrittenInPiecesAndAFailedWriteKeepsThePreviousFile) {
    std::string path = TempPath("long.txt");
    ExportWriter writer;
    ASSERT_TRUE(BeginExport(writer, path.c_str()));
    std::string before;
    for (int i = 0; i < 30000; ++i) {
        ExportNumber(writer, 1234567890.125 + i, 3);
        before += std::to_string(1234567890 + i) + ".125";
    }
    ASSERT_GT(before.size(), static_cast<size_t>(TEXT_BUFFER_SIZE));
    ASSERT_TRUE(FinishExport(writer));
    EXPECT_EQ(ReadText(path), before);

    AddPulse(0, 100, 5, BIN * 3);
    Finish(1.0);
    SetOutputSizeLimit(10);
    RunCommand(IDM_EXPORT_HEIGHT, path);
    ASSERT_FALSE(Headless().messages.empty());
    EXPECT_EQ(Headless().messages.back().text, "File could not be written:\n" + path);
    EXPECT_EQ(ReadText(path), before);
}
}  // namespace
