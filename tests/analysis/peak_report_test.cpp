// The peak report of the whole program: the demo recording, search settings and user lines beside
// the settings file, and the report's text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "analysis/peak_report.h"
#include "tests/support/test_support.h"

namespace {
class PeakReportTest : public ProgramTest {
protected:
    // The demo recording and its settings (as the settings file), then start-up with the recording
    // on the command line.
    void StartOnDemo() {
        std::string command = std::string("'") + TIK_DEMO_PATH + "' '" + tempDirectory + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::filesystem::copy_file(TempPath("demo.ini"), settingsFile);
        Start(TempPath("demo.wav").c_str());
    }
    void WriteText(const std::string& name, const std::string& text) { std::ofstream(TempPath(name)) << text; }
};
}  // namespace

// Both channels of the demo: Cs-137 is the best nuclide, its line within 1 % of 661.657 keV; the
// counts per step of a Poisson source pass the Poisson test; the interval fit finds the source rate.
TEST_F(PeakReportTest, DemoRecordingIsCaesium) {
    StartOnDemo();
    BuildPeakReport();
    ASSERT_EQ(peakReport.size(), 2u);
    for (const ChannelReport& r : peakReport) {
        ASSERT_TRUE(r.calibrated);
        ASSERT_FALSE(r.nuclides.empty());
        EXPECT_EQ(r.nuclides[0].name, "Cs-137");
        const PeakRow* line = nullptr;
        for (const PeakRow& p : r.peaks)
            if (std::fabs(p.energy - 661.657) < 30) line = &p;
        ASSERT_NE(line, nullptr);
        EXPECT_NEAR(line->energy, 661.657, 0.01 * 661.657);
        EXPECT_NEAR(line->resolution, 7.0, 1.0);  // the generator's resolution
        ASSERT_FALSE(line->nuclides.empty());
        EXPECT_EQ(line->nuclides[0], "Cs-137");
        EXPECT_NEAR(line->netRate * r.seconds, line->fit.netArea, 1e-6 * line->fit.netArea);
        // The sample variance of n steps scatters by sqrt(2 / (n - 1)) relative.
        EXPECT_NEAR(r.rate.dispersionIndex, 1.0, 4.0 * std::sqrt(2.0 / (r.rate.steps - 1)));
        EXPECT_GT(r.rate.poisson.pValue, 1e-4);
        ASSERT_TRUE(r.interval.valid);
        EXPECT_NEAR(r.interval.rate, r.measuredRate, 0.15 * r.measuredRate);
        std::printf("channel %d: %zu peaks, 662 keV line at %.2f keV (%.3f %%), FWHM %.1f %%, best %s %.3f\n",
                    r.channel, r.peaks.size(), line->energy, 100 * (line->energy / 661.657 - 1), line->resolution,
                    r.nuclides[0].name.c_str(), r.nuclides[0].score);
    }
    std::string text = PeakReportText();
    EXPECT_NE(text.find("Left\t"), std::string::npos);
    EXPECT_NE(text.find("\tCs-137\t"), std::string::npos);
    EXPECT_EQ(PeakRowsText().find("Channel\tCentroid/arb.u\tFWHM/arb.u\tEnergy/keV"), 0u);
}

// Settings and user lines beside the settings file: values used, bad lines reported, the rest kept;
// a library named in the settings that does not exist is reported.
TEST_F(PeakReportTest, SettingsAndUserLinesBesideTheSettingsFile) {
    Start();
    EXPECT_EQ(PeakSettingsPath(), TempPath("tik-peaks.txt"));
    EXPECT_EQ(UserNuclidesPath(), TempPath("tik-nuclides.txt"));
    EXPECT_EQ(peakLoadProblems, "");
    size_t shipped = nuclideLibrary.size();
    EXPECT_GT(shipped, 90u);

    WriteText("tik-peaks.txt", "# search\nsignificance = 5\ntolerance=0.8\ncolour=blue\nsignificance=-1\n");
    WriteText("tik-nuclides.txt", "My-1 123.4 50\nbroken line\n");
    std::string problems = LoadPeakSettingsAndLibrary();
    EXPECT_DOUBLE_EQ(peakSettings.significance, 5.0);
    EXPECT_DOUBLE_EQ(peakSettings.tolerance, 0.8);
    EXPECT_NE(problems.find("tik-peaks.txt:4: not used: colour=blue"), std::string::npos) << problems;
    EXPECT_NE(problems.find("tik-peaks.txt:5: not used"), std::string::npos);
    EXPECT_NE(problems.find("tik-nuclides.txt:2:"), std::string::npos);
    ASSERT_EQ(nuclideLibrary.size(), shipped + 1);
    EXPECT_EQ(nuclideLibrary.back().nuclide, "My-1");

    WriteText("tik-peaks.txt", "library=" + TempPath("missing.txt") + "\n");
    problems = LoadPeakSettingsAndLibrary();
    EXPECT_NE(problems.find("cannot read the nuclide library"), std::string::npos);
    EXPECT_EQ(nuclideLibrary.size(), 1u);  // the user's line only
}
