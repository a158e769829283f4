// The spectrum exports read back with independent parsers (pugixml, nlohmann-json, small SPE and CSV
// readers): counts, times and energies against a table built here from the pulses and the calibration
// points, the NPES schema rules, the comment's special characters, and the demo recording through
// tik-cli with its background, summary and peak table.
#include "files/spectrum_export.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/spectrum_data.h"
#include "platform/headless/headless.h"
#include "resources/resources.h"
#include "tests/files/file_test_support.h"
#include "tests/support/store_fill.h"
#include "ui/commands.h"

namespace {
using json = nlohmann::json;
constexpr uint32_t BIN = 2147484;  // the default height bin of 0.1 arb.u in sample units

// Windows-1252 comment of a capture started, stopped, and continued just before midnight at the clock
// reading of 2 s, with markup characters, quotes, µ (0xB5), é (0xE9) and € (0x80); and the same text
// in UTF-8.
const char COMMENT_ANSI[] =
    "<2026/03/01 23:50:00 0, 2026/03/01 23:50:02 2><2026/03/01 23:59:58 2,\r\nProbe <A> & \"B\" 'C' 5 \xB5Sv "
    "caf\xE9 \x80 2026/03/02 00:00:06 10>";
const char COMMENT_UTF8[] =
    "\r\nProbe <A> & \"B\" 'C' 5 \xC2\xB5Sv caf\xC3\xA9 \xE2\x82\xAC 2026/03/02 00:00:06 10>";

// One spectrum as a reader of a format sees it.
struct Read {
    std::vector<double> counts, energies;  // energies: lower channel edges, empty when uncalibrated
    double real = -1, live = -1, deviation = 0;
    std::string start, text;
};

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> values;
    std::stringstream in(text);
    for (double v; in >> v;) values.push_back(v);
    return values;
}

// The lower channel edges of a polynomial over the channel numbers.
std::vector<double> PolynomialEdges(const std::vector<double>& c, size_t n) {
    std::vector<double> edges(n, 0.0);
    for (size_t i = 0; i < n; ++i)
        for (size_t k = c.size(); k-- > 0;) edges[i] = edges[i] * static_cast<double>(i) + c[k];
    return edges;
}

double Deviation(const std::string& note) {
    size_t at = note.find("largest deviation ");
    return at == std::string::npos ? 0.0 : std::atof(note.c_str() + at + 18);
}

// "PT12.5S" -> 12.5
double Duration(const char* text) {
    return std::string(text).rfind("PT", 0) == 0 ? std::atof(text + 2) : -1;
}

Read ReadN42(const pugi::xml_document& doc, const char* detector, const char* measurementClass) {
    Read r;
    pugi::xml_node root = doc.child("RadInstrumentData");
    for (pugi::xml_node m : root.children("RadMeasurement")) {
        pugi::xml_node s = m.child("Spectrum");
        if (std::string(m.child_value("MeasurementClassCode")) != measurementClass ||
            std::string(s.attribute("radDetectorInformationReference").value()) != detector)
            continue;
        r.counts = Numbers(s.child_value("ChannelData"));
        r.real = Duration(m.child_value("RealTimeDuration"));
        r.live = Duration(s.child_value("LiveTimeDuration"));
        r.start = m.child_value("StartDateTime");
        for (pugi::xml_node remark : m.children("Remark")) r.text += std::string(remark.child_value()) + "\n";
        const char* reference = s.attribute("energyCalibrationReference").value();
        pugi::xml_node calibration = root.find_child_by_attribute("EnergyCalibration", "id", reference);
        if (*reference && calibration) {
            r.energies = Numbers(calibration.child_value("EnergyBoundaryValues"));
            EXPECT_EQ(r.energies.size(), r.counts.size() + 1);
            r.energies.resize(r.counts.size());
        }
    }
    return r;
}

Read ReadNpes(const json& doc, const char* detector, bool background) {
    Read r;
    for (const json& entry : doc.at("data")) {
        if (entry["deviceData"]["deviceName"] != detector) continue;
        const json& result = entry.at("resultData");
        const json& s = result.at(background ? "backgroundEnergySpectrum" : "energySpectrum");
        r.counts = s.at("spectrum").get<std::vector<double>>();
        r.real = r.live = s.at("measurementTime").get<double>();
        if (s.contains("energyCalibration"))
            r.energies = PolynomialEdges(s["energyCalibration"]["coefficients"], r.counts.size());
        r.start = result.value("startTime", "");
        r.text = entry["sampleInfo"]["note"].get<std::string>();
        r.deviation = Deviation(r.text);
    }
    return r;
}

// The IAEA SPE reader: sections by "$NAME:" lines.
Read ReadSpe(const std::string& text) {
    std::map<std::string, std::vector<std::string>> sections;
    std::string name;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '$')
            name = line;
        else
            sections[name].push_back(line);
    }
    Read r;
    const std::vector<std::string>& data = sections["$DATA:"];
    EXPECT_EQ(Numbers(data.at(0)).at(1), static_cast<double>(data.size()) - 2);  // "0 LAST"
    for (size_t i = 1; i < data.size(); ++i) r.counts.push_back(std::atof(data[i].c_str()));
    std::vector<double> times = Numbers(sections["$MEAS_TIM:"].at(0));
    r.live = times.at(0);
    r.real = times.at(1);
    r.start = sections["$DATE_MEA:"].empty() ? "" : sections["$DATE_MEA:"][0];
    for (const std::string& line : sections["$SPEC_REM:"]) r.text += line + "\n";
    if (sections.count("$MCA_CAL:"))
        r.energies = PolynomialEdges(Numbers(sections["$MCA_CAL:"].at(1)), r.counts.size());
    r.deviation = Deviation(r.text);
    return r;
}

// CSV rows "channel,energy,counts" after the header (kept as the text).
Read ReadCsv(const std::string& text) {
    Read r;
    std::istringstream in(text);
    std::getline(in, r.text);
    r.text.pop_back();  // CR
    double channel, energy, count;
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &channel, &energy, &count), 3) << line;
        EXPECT_EQ(channel, static_cast<double>(r.counts.size()));
        r.energies.push_back(energy);
        r.counts.push_back(count);
    }
    return r;
}

// The counts agree; the energies (lower channel edges) within the deviation a format declares and
// `tolerance`.
void ExpectSameSpectrum(const Read& got, const Read& reference, bool calibrated, const std::string& format,
                        double tolerance = 1e-9) {
    SCOPED_TRACE(format);
    EXPECT_EQ(got.counts, reference.counts);
    if (!calibrated) return;
    ASSERT_EQ(got.energies.size(), reference.counts.size());
    for (size_t i = 0; i < got.energies.size(); ++i)
        ASSERT_NEAR(got.energies[i], reference.energies[i],
                    tolerance * (1 + std::fabs(reference.energies[i])) + got.deviation)
            << "channel " << i;
}

// The rules of the NPESv2 schema that readers rely on.
void CheckNpesSchema(const json& doc) {
    EXPECT_EQ(doc.at("schemaVersion"), "NPESv2");
    ASSERT_FALSE(doc.at("data").empty());
    for (const json& entry : doc["data"]) {
        EXPECT_TRUE(entry.at("deviceData").at("softwareName").is_string());
        const json& result = entry.at("resultData");
        EXPECT_EQ(result.contains("startTime"), result.contains("endTime"));
        for (const char* key : {"energySpectrum", "backgroundEnergySpectrum"}) {
            if (!result.contains(key)) continue;
            const json& s = result[key];
            EXPECT_EQ(s.at("numberOfChannels").get<size_t>(), s.at("spectrum").size());
            for (const json& c : s["spectrum"]) ASSERT_TRUE(c.is_number_unsigned());
            EXPECT_GE(s.at("measurementTime").get<int64_t>(), 1);
            EXPECT_TRUE(s["measurementTime"].is_number_integer());
            if (s.contains("energyCalibration")) {
                EXPECT_EQ(s["energyCalibration"].at("polynomialOrder").get<size_t>() + 1,
                          s["energyCalibration"].at("coefficients").size());
            }
        }
    }
}

class SpectrumExportTest : public FilesTest {
  protected:
    std::string Export(int command, const std::string& name) {
        std::string path = TempPath(name);
        std::filesystem::remove(path);
        RunCommand(command, path);
        return ReadText(path);
    }
    void Add(int channel, double seconds, uint32_t bin) {
        AddPulse(channel, static_cast<int64_t>(seconds * 48000), 4, BIN * bin + 5);
    }
};

struct CalibrationCase {
    const char* name;
    uint8_t use, mode;
    std::vector<CalibrationRow> rows;
    double (*energy)(double height);  // the calibration through the rows, worked out by hand
};

TEST_F(SpectrumExportTest, EveryFormatAgreesWithTheReferenceTable) {
    const CalibrationCase cases[] = {
        {"uncalibrated", 0, 0, {}, [](double h) { return h; }},
        {"line",
         1,
         CALIBRATION_FIT_LINEAR,
         {{1.0, 0.1, 10.0}, {3.0, 0.1, 40.0}},
         [](double h) { return 15 * h - 5; }},
        {"interpolated",
         1,
         CALIBRATION_INTERPOLATE,
         {{0.5, 0.1, 20.0}, {1.0, 0.1, 30.0}, {2.0, 0.1, 80.0}},
         [](double h) { return h < 0.5 ? 40 * h
                               : h < 1 ? 20 * h + 10
                                       : 50 * h - 20; }},
    };
    settings.inputChannels = 2;
    // The analysed span: 4 s to the end at 10 s. The table counts the left pulses within it.
    std::vector<double> counts(26, 0.0);
    for (int k = 0; k < 120; ++k) {
        uint32_t bin = 3 + (k * 7) % 23;
        Add(0, k * 0.08 + 0.01, bin);
        if (k * 0.08 + 0.01 >= 4.0) counts[bin] += 1;
    }
    while (counts.back() == 0) counts.pop_back();
    for (int k = 0; k < 30; ++k) Add(1, k * 0.3, 5 + k % 4);
    sampleClock = 480000;
    acquisitionSeconds = 10.0;
    std::snprintf(settings.comments, sizeof(settings.comments), "%s", COMMENT_ANSI);
    settings.channel[0].beginTime = 4.0;
    QuantizeSettings(false);
    runState |= RS_DATA_READY;
    const double binSize = BIN / 21474836.47;

    for (const CalibrationCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings.options[0].useCalibration = c.use;
        settings.calibrationMode[0] = c.mode;
        for (CalibrationRow& row : settings.calibration[0]) row = {0, 0, 0};
        for (size_t i = 0; i < c.rows.size(); ++i)
            settings.calibration[0][CALIBRATION_ROWS - 1 - i] = c.rows[i];
        ASSERT_TRUE(!c.use || SetUpCalibration(0));
        Read reference;
        reference.counts = counts;
        for (size_t i = 0; i < counts.size(); ++i) reference.energies.push_back(c.energy(i * binSize));

        pugi::xml_document n42;
        ASSERT_TRUE(n42.load_string(Export(IDM_EXPORT_N42, "s.n42").c_str()));
        json npes = json::parse(Export(IDM_EXPORT_NPES, "s.json"));
        CheckNpesSchema(npes);
        Read reads[] = {ReadN42(n42, "Left", "Foreground"), ReadNpes(npes, "Left", false),
                        ReadSpe(Export(IDM_EXPORT_SPE, "s.spe")),
                        ReadCsv(Export(IDM_EXPORT_SPECTRUM_CSV, "s.csv"))};
        const char* formats[] = {"N42", "NPES", "SPE", "CSV"};
        for (int f = 0; f < 4; ++f) {
            ExpectSameSpectrum(reads[f], reference, c.use != 0 || f == 3, formats[f]);
            if (f == 3) continue;  // CSV carries no times
            EXPECT_NEAR(reads[f].real, 6.0, 1e-9) << formats[f];
            EXPECT_EQ(reads[f].live, reads[f].real) << formats[f];
            EXPECT_EQ(reads[f].energies.empty(), c.use == 0) << formats[f];
        }
        // The start: the time of the latest start stamp moved by the window's beginning, past midnight.
        EXPECT_EQ(reads[0].start.substr(0, 19), "2026-03-02T00:00:00");
        EXPECT_EQ(reads[1].start.substr(0, 19), "2026-03-02T00:00:00");
        EXPECT_EQ(reads[2].start, "03/02/2026 00:00:00");
        EXPECT_EQ(reads[3].text, c.use ? "Channel,Energy /keV,Counts" : "Channel,Height /arb.u,Counts");
        EXPECT_EQ(reads[1].deviation > 0.0, c.mode == CALIBRATION_INTERPOLATE);
        // Both channels of a two-channel input, as detectors of their own.
        EXPECT_EQ(ReadN42(n42, "Right", "Foreground").counts.size(), 9u);
        EXPECT_EQ(npes["data"].size(), 2u);
        // The comment in UTF-8 with its markup characters intact.
        EXPECT_NE(reads[0].text.find(COMMENT_UTF8 + 1), std::string::npos);  // XML: LF line ends
        EXPECT_NE(reads[1].text.find(COMMENT_UTF8), std::string::npos);
        EXPECT_NE(reads[2].text.find("Probe <A> & \"B\" 'C' 5 \xC2\xB5Sv"), std::string::npos);
    }
    // Without a start stamp there are no times; a file that cannot be written is reported.
    settings.comments[0] = '\0';
    EXPECT_FALSE(
        json::parse(Export(IDM_EXPORT_NPES, "s.json"))["data"][0]["resultData"].contains("startTime"));
    RunCommand(IDM_EXPORT_N42, TempPath("no-such-folder/s.n42"));
    ASSERT_FALSE(Headless().messages.empty());
    EXPECT_NE(Headless().messages.back().text.find("could not be written"), std::string::npos);
}

// The demo recording replayed by tik-cli with itself as background: every format gives the background
// the foreground's counts; the summary and the peak table name the caesium line.
TEST_F(SpectrumExportTest, DemoRecordingThroughTheBatchTool) {
    ASSERT_EQ(std::system(("'" + std::string(TIK_DEMO_PATH) + "' '" + tempDirectory + "'").c_str()), 0);
    ASSERT_EQ(
        RunCli("replay demo.wav --settings demo.ini --background demo.wav --export n42=demo.n42 --export "
               "npes=demo.json --export spe=demo.spe --export spectrum-csv=demo.csv --export peaks=peaks.txt "
               "--summary"),
        0)
        << cliErrors;
    Read left = ReadCsv(ReadText(TempPath("demo.csv")));
    ASSERT_GT(left.counts.size(), 400u);  // the photopeak near 51.5 arb.u
    pugi::xml_document n42;
    ASSERT_TRUE(n42.load_string(ReadText(TempPath("demo.n42")).c_str()));
    json npes = json::parse(ReadText(TempPath("demo.json")));
    CheckNpesSchema(npes);
    Read right = ReadN42(n42, "Right", "Foreground");
    for (bool background : {false, true}) {
        const char* kind = background ? "Background" : "Foreground";
        ExpectSameSpectrum(ReadN42(n42, "Left", kind), left, true, std::string("N42 left ") + kind, 1e-9);
        ExpectSameSpectrum(ReadN42(n42, "Right", kind), right, true, std::string("N42 right ") + kind, 1e-9);
        ExpectSameSpectrum(ReadNpes(npes, "Left", background), left, true, "NPES left", 1e-9);
        ExpectSameSpectrum(ReadNpes(npes, "Right", background), right, true, "NPES right", 1e-9);
        ExpectSameSpectrum(ReadSpe(ReadText(TempPath(background ? "demo-background.spe" : "demo.spe"))), left,
                           true, "SPE", 1e-9);
        EXPECT_NEAR(ReadNpes(npes, "Right", background).real, 60.0, 1e-9);
    }
    ExpectSameSpectrum(ReadCsv(ReadText(TempPath("demo-background.csv"))), left, true, "CSV background");
    EXPECT_NE(ReadText(TempPath("demo.spe")).find("Background spectrum: demo-background.spe"),
              std::string::npos);

    // The summary names the caesium line in both channels.
    std::string nuclides;
    const json summary = json::parse(cliOutput);
    for (const json& peak : summary["peaks"])
        if (std::fabs(peak["energy"].get<double>() - 661.657) < 0.01 * 661.657)
            nuclides += peak["nuclides"][0];
    EXPECT_EQ(nuclides, "Cs-137Cs-137");
    EXPECT_NE(ReadText(TempPath("peaks.txt")).find("Cs-137\r\n"), std::string::npos);
}
}  // namespace
