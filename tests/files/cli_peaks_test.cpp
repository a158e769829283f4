// tik-cli on the demo recording: the summary's "peaks", "nuclides" and "statistics" members, the peak
// table export, and a peak table that cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/test_support.h"

namespace {
class CliPeaksTest : public TikTest {
protected:
    int Run(const std::string& arguments) {
        std::string command = "cd '" + tempDirectory + "' && TIK_SETTINGS='" + TempPath("cli.ini") + "' '" +
                              TIK_CLI_PATH + "' " + arguments + " >out.txt 2>err.txt";
        int status = std::system(command.c_str());
        output = Text("out.txt");
        return status;
    }
    std::string Text(const std::string& name) {
        std::ifstream in(TempPath(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string output;
};
}  // namespace

TEST_F(CliPeaksTest, DemoSummaryAndPeakTable) {
    std::string demo = std::string("'") + TIK_DEMO_PATH + "' '" + tempDirectory + "'";
    ASSERT_EQ(std::system(demo.c_str()), 0);
    ASSERT_EQ(Run("replay demo.wav --settings demo.ini --export peaks=peaks.txt --summary"), 0);
    nlohmann::json summary = nlohmann::json::parse(output);
    ASSERT_EQ(summary["statistics"].size(), 2u);
    int caesiumLines = 0;
    for (const auto& peak : summary["peaks"]) {
        for (const char* member : {"channel", "centroid", "fwhm", "energy", "fwhmEnergy", "netArea",
                                   "netAreaUncertainty", "significance", "nuclides"})
            EXPECT_TRUE(peak.contains(member)) << member;
        double energy = peak["energy"].get<double>();
        if (std::fabs(energy - 661.657) < 0.01 * 661.657) {
            ++caesiumLines;
            EXPECT_EQ(peak["nuclides"][0], "Cs-137");
            EXPECT_GT(peak["significance"].get<double>(), 10.0);
            EXPECT_NEAR(peak["fwhmEnergy"].get<double>() / energy, 0.075, 0.015);
        }
    }
    EXPECT_EQ(caesiumLines, 2);
    std::string bestPerChannel;
    for (const auto& n : summary["nuclides"])
        if (n["score"].get<double>() > 0.5) bestPerChannel += std::to_string(n["channel"].get<int>()) + n["name"].get<std::string>() + " ";
    EXPECT_EQ(bestPerChannel, "0Cs-137 1Cs-137 ");
    for (const auto& s : summary["statistics"]) {
        EXPECT_EQ(s["rateHistogram"]["steps"], 60);
        EXPECT_GT(s["intervalHistogram"]["fittedRate"].get<double>(), 200.0);
    }
    std::string table = Text("peaks.txt");
    EXPECT_EQ(table.rfind("Channel\tCentroid/arb.u", 0), 0u);
    EXPECT_NE(table.find("Cs-137\r\n"), std::string::npos);

    // Without calibration the energies are null and there are no nuclides.
    ASSERT_EQ(Run("replay demo.wav --settings demo.ini --set left.useCalibration=0 --summary"), 0);
    summary = nlohmann::json::parse(output);
    for (const auto& peak : summary["peaks"]) EXPECT_TRUE(peak["channel"] != 0 || peak["energy"].is_null());

    EXPECT_NE(Run("replay demo.wav --settings demo.ini --export peaks=missing/peaks.txt"), 0);
}
