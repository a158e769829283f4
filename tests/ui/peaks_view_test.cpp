// The "Peaks and Nuclides" dialog on the demo recording (View menu, Copy, Refresh) and the peak labels
// of the pulse height window with their key.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "analysis/peak_report.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/peaks_view.h"

namespace {
class PeaksViewTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        std::string command = std::string("'") + TIK_DEMO_PATH + "' '" + tempDirectory + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::filesystem::copy_file(TempPath("demo.ini"), settingsFile);
        Start(TempPath("demo.wav").c_str());
    }
    // Texts drawn by the last paint of the height window that start with `prefix`.
    static int LabelsStartingWith(const std::string& prefix) {
        int n = 0;
        for (const CanvasCall& call : Headless().canvasCalls)
            if (call.kind == CanvasCall::TEXT && call.text.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};
}  // namespace

TEST_F(PeaksViewTest, DialogShowsAndCopiesTheReport) {
    EXPECT_TRUE(MenuEnabled(IDM_VIEW_PEAKS));
    SendCommand(WND_PULSES, IDM_VIEW_PEAKS);
    ASSERT_TRUE(IsDialogOpen(IDD_PEAKS));
    char text[8192];
    GetDialogItemText(IDD_PEAKS, IDC_PEAKS_TEXT, text, sizeof(text));
    std::string shown = text;
    EXPECT_EQ(shown.rfind(PeakRowsText(), 0), 0u) << shown;
    EXPECT_NE(shown.find("Left\tCs-137\t"), std::string::npos);
    EXPECT_NE(shown.find("Nuclide library\t" + nuclideLibraryPath), std::string::npos);

    HeadlessPressButton(IDD_PEAKS, IDC_PEAKS_COPY);
    EXPECT_EQ(Headless().clipboard, PeakReportText());
    // Refresh reads the search settings again: a strict significance leaves only the photopeaks.
    std::ofstream(TempPath("tik-peaks.txt")) << "significance=20\n";
    HeadlessPressButton(IDD_PEAKS, IDC_PEAKS_REFRESH);
    ASSERT_EQ(peakReport.size(), 2u);
    EXPECT_EQ(peakReport[0].peaks.size(), 1u);
    SendCommand(WND_PULSES, IDM_VIEW_PEAKS);  // already open: brought to the top
    HeadlessPressButton(IDD_PEAKS, IDOK);
    EXPECT_FALSE(IsDialogOpen(IDD_PEAKS));
}

TEST_F(PeaksViewTest, HeightWindowLabelsToggleWithKeyN) {
    Headless().windows[WND_HEIGHT].clientWidth = 1200;  // the whole spectrum in view
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(LabelsStartingWith("194 Ra-226"), 1);  // the backscatter bump
    EXPECT_EQ(LabelsStartingWith("661 Cs-137"), 1);
    HostKeyDown(WND_HEIGHT, 'N');
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(LabelsStartingWith("661 Cs-137"), 0);
    HostKeyDown(WND_HEIGHT, 'N');
    HostKeyDown(WND_HEIGHT, 'U');  // calibration off: heights in arb.u
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(LabelsStartingWith("51.4"), 1);
}
