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
const char COMMENT_UTF8[] = "\r\nProbe <A> & \"B\" 'C' 5 \xC2\xB5Sv caf\xC3\xA9 \xE2\x82\xAC 2026/03/02 00:00:06 10>";

// XML has LF line ends only.
std::string LfLines(std::string text) {
    text.erase(text.find('\r'), 1);
    return text;
}

// One spectrum as a reader of a format sees it.
struct Read {
    std::vector<double> counts, energies;  // energies: lower channel edges, empty when uncalibrated
    double real = -1, live = -1, deviation = 0;
    std::string start, text;
};

std::vector<std::string> Fields(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string field; std::getline(in, field, separator);) {
        if (!field.empty() && field.back() == '\r') field.pop_back();
        fields.push_back(field);
    }
    return fields;
}

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> values;
    std::stringstream in(text);
    for (double v; in >> v;) values.push_back(v);
    return values;
}

double Polynomial(const std::vector<double>& c, double x) {
    double v = 0;
    for (size_t k = c.size(); k-- > 0;) v = v * x + c[k];
    return v;
}

std::vector<double> PolynomialEdges(const std::vector<double>& c, size_t n) {
    std::vector<double> e;
    for (size_t i = 0; i < n; ++i) e.push_back(Polynomial(c, static_cast<double>(i)));
    return e;
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
        std::string reference = s.attribute("energyCalibrationReference").value();
        pugi::xml_node calibration =
            root.find_child_by_attribute("EnergyCalibration", "id", reference.c_str());
        if (!reference.empty() && calibration) {
            r.energies = Numbers(calibration.child_value("EnergyBoundaryValues"));
            EXPECT_EQ(r.energies.size(), r.counts.size() + 1);
            r.energies.resize(r.counts.size());
            std::vector<double> c = Numbers(calibration.child_value("CoefficientValues"));
            for (size_t i = 0; i < c.size() && i < r.counts.size(); i += 7)
                EXPECT_NEAR(Polynomial(c, static_cast<double>(i)), r.energies[i],
                            1e-6 * (1 + std::fabs(r.energies[i])));
        }
    }
    return r;
}

Read FromNpes(const json& s) {
    Read r;
    for (const json& c : s.at("spectrum")) r.counts.push_back(c.get<double>());
    r.real = r.live = s.at("measurementTime").get<double>();
    if (s.contains("energyCalibration"))
        r.energies = PolynomialEdges(s["energyCalibration"]["coefficients"].get<std::vector<double>>(),
                                     r.counts.size());
    return r;
}

Read ReadNpes(const json& doc, const char* detector, bool background) {
    for (const json& entry : doc.at("data")) {
        if (entry["deviceData"]["deviceName"] != detector) continue;
        const json& result = entry.at("resultData");
        Read r = FromNpes(result.at(background ? "backgroundEnergySpectrum" : "energySpectrum"));
        r.start = result.value("startTime", "");
        r.text = entry["sampleInfo"]["note"].get<std::string>();
        r.deviation = Deviation(r.text);
        return r;
    }
    return {};
}

// The IAEA SPE reader: sections by "$NAME:" lines.
Read ReadSpe(const std::string& text) {
    Read r;
    std::string section;
    std::vector<std::string> lines = Fields(text, '\n');
    std::vector<double> coefficients;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!line.empty() && line[0] == '$') {
            section = line;
            if (section == "$DATA:") {
                std::vector<double> range = Numbers(lines[++i]);
                for (double k = range.at(0); k <= range.at(1); ++k)
                    r.counts.push_back(std::atof(lines[++i].c_str()));
            } else if (section == "$MEAS_TIM:") {
                std::vector<double> t = Numbers(lines[++i]);
                r.live = t.at(0), r.real = t.at(1);
            } else if (section == "$MCA_CAL:") {
                size_t n = static_cast<size_t>(std::atoi(lines[++i].c_str()));
                coefficients = Numbers(lines[++i]);
                EXPECT_EQ(coefficients.size(), n);
            } else if (section == "$DATE_MEA:") {
                r.start = lines[++i];
            }
            continue;
        }
        if (section == "$SPEC_REM:") r.text += line + "\n";
    }
    if (!coefficients.empty()) r.energies = PolynomialEdges(coefficients, r.counts.size());
    r.deviation = Deviation(r.text);
    return r;
}

Read ReadCsv(const std::string& text, std::string* header) {
    Read r;
    std::vector<std::string> lines = Fields(text, '\n');
    *header = lines.at(0);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> f = Fields(lines[i], ',');
        EXPECT_EQ(f.size(), 3u);
        EXPECT_EQ(std::atof(f[0].c_str()), static_cast<double>(i - 1));
        r.energies.push_back(std::atof(f[1].c_str()));
        r.counts.push_back(std::atof(f[2].c_str()));
    }
    return r;
}

// The height export's rows: lower edge (4 decimals) and count.
Read ReadHeightExport(const std::string& text) {
    Read r;
    std::vector<std::string> lines = Fields(text, '\n');
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<double> v = Numbers(lines[i]);
        r.energies.push_back(v.at(0));
        r.counts.push_back(v.at(1));
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
        ASSERT_NEAR(got.energies[i], reference.energies[i], tolerance * (1 + std::fabs(reference.energies[i])) + got.deviation)
            << "channel " << i;
}

void CheckNpesSchema(const json& doc) {
    EXPECT_EQ(doc.at("schemaVersion"), "NPESv2");
    ASSERT_TRUE(doc.at("data").is_array());
    ASSERT_FALSE(doc["data"].empty());
    for (const json& entry : doc["data"]) {
        EXPECT_TRUE(entry.at("deviceData").at("softwareName").is_string());
        EXPECT_TRUE(entry["deviceData"].at("deviceName").is_string());
        const json& result = entry.at("resultData");
        EXPECT_EQ(result.contains("startTime"), result.contains("endTime"));
        for (const char* key : {"energySpectrum", "backgroundEnergySpectrum"}) {
            if (!result.contains(key)) continue;
            const json& s = result[key];
            ASSERT_TRUE(s.at("spectrum").is_array());
            EXPECT_EQ(s.at("numberOfChannels").get<size_t>(), s["spectrum"].size());
            for (const json& c : s["spectrum"]) ASSERT_TRUE(c.is_number_unsigned());
            EXPECT_TRUE(s.at("measurementTime").is_number_integer());
            EXPECT_GE(s["measurementTime"].get<int64_t>(), 1);
            EXPECT_TRUE(s.value("validPulseCount", json(0)).is_number_unsigned());
            if (s.contains("energyCalibration")) {
                const json& c = s["energyCalibration"];
                EXPECT_EQ(c.at("polynomialOrder").get<size_t>() + 1, c.at("coefficients").size());
            }
        }
    }
}

class SpectrumExportTest : public FilesTest {
  protected:
    std::string Export(int command, const std::string& name) {
        std::string path = TempPath(name);
        std::filesystem::remove(path);
        ExportTo(command, path);
        return ReadText(path);
    }
    void Add(int channel, double seconds, uint32_t bin) {
        Pulse(channel, pulseCount[channel]++) = {static_cast<int64_t>(seconds * 48000), 4, BIN * bin + 5, 0,
                                                 0};
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
        {"line", 1, CALIBRATION_FIT_LINEAR, {{1.0, 0.1, 10.0}, {3.0, 0.1, 40.0}}, [](double h) { return 15 * h - 5; }},
        {"interpolated", 1, CALIBRATION_INTERPOLATE, {{0.5, 0.1, 20.0}, {1.0, 0.1, 30.0}, {2.0, 0.1, 80.0}},
         [](double h) { return h < 0.5 ? 40 * h : h < 1 ? 20 * h + 10 : 50 * h - 20; }},
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
        if (c.use) {
            ASSERT_TRUE(SetUpCalibration(0));
        }
        Read reference;
        reference.counts = counts;
        for (size_t i = 0; i < counts.size(); ++i) reference.energies.push_back(c.energy(i * binSize));

        pugi::xml_document n42;
        ASSERT_TRUE(n42.load_string(Export(IDM_EXPORT_N42, "s.n42").c_str()));
        json npes = json::parse(Export(IDM_EXPORT_NPES, "s.json"));
        CheckNpesSchema(npes);
        std::string csvHeader;
        Read reads[] = {ReadN42(n42, "Left", "Foreground"), ReadNpes(npes, "Left", false),
                        ReadSpe(Export(IDM_EXPORT_SPE, "s.spe")),
                        ReadCsv(Export(IDM_EXPORT_SPECTRUM_CSV, "s.csv"), &csvHeader)};
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
        EXPECT_EQ(csvHeader, c.use ? "Channel,Energy /keV,Counts" : "Channel,Height /arb.u,Counts");
        EXPECT_EQ(reads[1].deviation > 0.0, c.mode == CALIBRATION_INTERPOLATE);
        // Both channels of a two-channel input, as detectors of their own.
        EXPECT_EQ(ReadN42(n42, "Right", "Foreground").counts.size(), 9u);
        EXPECT_EQ(npes["data"].size(), 2u);
        // The comment in UTF-8 with its markup characters intact.
        EXPECT_NE(reads[0].text.find(LfLines(COMMENT_UTF8)), std::string::npos);
        EXPECT_NE(reads[1].text.find(COMMENT_UTF8), std::string::npos);
        EXPECT_NE(reads[2].text.find("Probe <A> & \"B\" 'C' 5 \xC2\xB5Sv"), std::string::npos);
    }
}

TEST_F(SpectrumExportTest, UnwritableFileIsReportedAndNoStartMeansNoTimes) {
    Add(0, 0.5, 7);
    sampleClock = 48000;
    acquisitionSeconds = 1.0;
    settings.comments[0] = '\0';
    ExportTo(IDM_EXPORT_N42, TempPath("no-such-folder/s.n42"));
    ASSERT_FALSE(Headless().messages.empty());
    EXPECT_NE(Headless().messages.back().text.find("could not be written"), std::string::npos);
    json npes = json::parse(Export(IDM_EXPORT_NPES, "s.json"));
    CheckNpesSchema(npes);
    EXPECT_FALSE(npes["data"][0]["resultData"].contains("startTime"));
    EXPECT_EQ(npes["data"][0]["resultData"]["energySpectrum"]["spectrum"].size(), 8u);
}

// The demo recording replayed by tik-cli with itself as background: the four formats against the height
// exports, the summary's peaks, nuclides and statistics, and the peak table.
TEST_F(SpectrumExportTest, DemoRecordingThroughTheBatchTool) {
    // The demo recording and its settings, with the comment replaced by one with special characters.
    ASSERT_EQ(std::system(("'" + std::string(TIK_DEMO_PATH) + "' '" + tempDirectory + "'").c_str()), 0);
    std::vector<unsigned char> ini = ReadFileBytes(TempPath("demo.ini"));
    ASSERT_EQ(ini.size(), sizeof(SettingsRecord));
    SettingsRecord record;
    std::memcpy(&record, ini.data(), sizeof(record));
    std::snprintf(record.comments, sizeof(record.comments), "%s", COMMENT_ANSI);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    WriteFileBytes(TempPath("demo.ini"), std::vector<unsigned char>(bytes, bytes + sizeof(record)));
    const std::string replay = "replay demo.wav --settings demo.ini --background demo.wav ";
    ASSERT_EQ(RunCli(replay + "--export height=left.txt --export n42=demo.n42 --export npes=demo.json "
                              "--export spe=demo.spe --export spectrum-csv=demo.csv --export peaks=peaks.txt --summary"),
              0)
        << cliErrors;
    json summary = json::parse(cliOutput);
    ASSERT_EQ(RunCli(replay + "--set channelSelection=3 --export height=right.txt"), 0);
    Read left = ReadHeightExport(ReadText(TempPath("left.txt")));
    Read right = ReadHeightExport(ReadText(TempPath("right.txt")));
    ASSERT_GT(left.counts.size(), 400u);  // the photopeak near 51.5 arb.u

    std::string texts[6];
    const char* names[6] = {"demo.n42", "demo.json", "demo.spe", "demo.csv", "demo-background.spe", "demo-background.csv"};
    for (int i = 0; i < 6; ++i) texts[i] = ReadText(TempPath(names[i]));
    pugi::xml_document n42;
    ASSERT_TRUE(n42.load_string(texts[0].c_str()));
    json npes = json::parse(texts[1]);
    CheckNpesSchema(npes);
    std::string header;
    // The background is the recording itself: the same counts again. The height export has 4 decimals.
    for (const char* kind : {"Foreground", "Background"}) {
        bool background = std::string(kind) == "Background";
        ExpectSameSpectrum(ReadN42(n42, "Left", kind), left, true, std::string("N42 left ") + kind, 1e-4);
        ExpectSameSpectrum(ReadN42(n42, "Right", kind), right, true, std::string("N42 right ") + kind, 1e-4);
        ExpectSameSpectrum(ReadNpes(npes, "Left", background), left, true, "NPES left", 1e-4);
        ExpectSameSpectrum(ReadNpes(npes, "Right", background), right, true, "NPES right", 1e-4);
        ExpectSameSpectrum(ReadSpe(texts[background ? 4 : 2]), left, true, "SPE", 1e-4);
        ExpectSameSpectrum(ReadCsv(texts[background ? 5 : 3], &header), left, true, "CSV", 1e-4);
    }
    EXPECT_NEAR(ReadN42(n42, "Left", "Foreground").real, 60.0, 1e-9);
    EXPECT_EQ(ReadNpes(npes, "Right", true).real, 60.0);
    EXPECT_NE(ReadN42(n42, "Right", "Background").text.find(LfLines(COMMENT_UTF8)), std::string::npos);
    EXPECT_NE(texts[2].find("Background spectrum: demo-background.spe"), std::string::npos);
    EXPECT_NE(texts[1].find("demo.wav"), std::string::npos);

    // The caesium line in both channels, named and measured.
    int caesiumLines = 0;
    for (const json& peak : summary["peaks"]) {
        double energy = peak["energy"].get<double>();
        if (std::fabs(energy - 661.657) > 0.01 * 661.657) continue;
        ++caesiumLines;
        EXPECT_EQ(peak["nuclides"][0], "Cs-137");
        EXPECT_GT(peak["significance"].get<double>(), 10.0);
        EXPECT_NEAR(peak["fwhmEnergy"].get<double>() / energy, 0.075, 0.015);
    }
    EXPECT_EQ(caesiumLines, 2);
    std::string bestPerChannel;
    for (const json& n : summary["nuclides"])
        if (n["score"].get<double>() > 0.5) bestPerChannel += std::to_string(n["channel"].get<int>()) + n["name"].get<std::string>() + " ";
    EXPECT_EQ(bestPerChannel, "0Cs-137 1Cs-137 ");
    ASSERT_EQ(summary["statistics"].size(), 2u);
    for (const json& s : summary["statistics"]) {
        EXPECT_EQ(s["rateHistogram"]["steps"], 60);
        EXPECT_GT(s["intervalHistogram"]["fittedRate"].get<double>(), 200.0);
    }
    std::string table = ReadText(TempPath("peaks.txt"));
    EXPECT_EQ(table.rfind("Channel\tCentroid/arb.u", 0), 0u);
    EXPECT_NE(table.find("Cs-137\r\n"), std::string::npos);
    // Without calibration the energies are null.
    ASSERT_EQ(RunCli(replay + "--set left.useCalibration=0 --summary"), 0);
    for (const json& peak : json::parse(cliOutput)["peaks"]) EXPECT_TRUE(peak["channel"] != 0 || peak["energy"].is_null());
}
}  // namespace
