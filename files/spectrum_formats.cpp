// The exchange formats of spectra: N42 XML (pugixml), NPES JSON (nlohmann-json), IAEA SPE and CSV.
#include "files/spectrum_formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <sstream>

#include "platform/system.h"

namespace {
const char N42_NAMESPACE[] = "http://physics.nist.gov/N42/2011/N42";

// Seconds in fixed notation (no exponent), as durations and SPE times need them.
std::string FixedText(double value) {
    if (!(value > 0.0) || value > 1e15) return "0";
    char text[64];
    std::to_chars_result result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02d", value);
    return text;
}

// ISO 8601 local date and time, with the local zone's offset when it can be told.
std::string IsoTime(const StampTime& t) {
    std::string text = std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + "T" +
                       TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
    int minutes = 0;
    if (!LocalUtcOffsetMinutes({t.year, t.month, t.day, t.hour, t.minute, t.second}, &minutes)) return text;
    if (minutes == 0) return text + "Z";
    int magnitude = minutes < 0 ? -minutes : minutes;
    return text + (minutes < 0 ? "-" : "+") + TwoDigits(magnitude / 60) + ":" + TwoDigits(magnitude % 60);
}

std::string SpectrumName(const ExportSpectrum& s) {
    return std::string(ChannelName(s.channel)) + (s.background ? "-Background" : "");
}

std::string JoinCounts(const std::vector<uint64_t>& counts) {
    std::string text;
    text.reserve(counts.size() * 4);
    for (size_t i = 0; i < counts.size(); ++i) {
        if (i > 0) text += ' ';
        text += std::to_string(counts[i]);
    }
    return text;
}

std::string JoinNumbers(const std::vector<double>& values) {
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ' ';
        text += NumberText(values[i]);
    }
    return text;
}

// A document id in the 8-4-4-4-12 form, from the contents (the same spectra give the same id).
std::string DocumentId(const SpectrumExport& data) {
    uint64_t a = 1469598103934665603ull, b = 1099511628211ull * 7;
    auto mix = [&](uint64_t v) {
        a = (a ^ v) * 1099511628211ull;
        b = (b ^ (v + 0x9E3779B97F4A7C15ull)) * 1099511628211ull;
    };
    for (const ExportSpectrum& s : data.spectra)
        for (uint64_t c : s.counts) mix(c);
    for (char c : data.comment) mix(static_cast<unsigned char>(c));
    char text[40];
    std::snprintf(text, sizeof(text), "%08x-%04x-4%03x-8%03x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                  static_cast<unsigned>(b >> 52), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

void AddText(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text().set(text.c_str());
}

// Sample rate, file and selection: the acquisition's description in one line.
std::string SourceNote(const SpectrumExport& data) {
    std::string note = data.software + " " + data.version + "; sample rate " +
                       std::to_string(data.sampleRate) + " Hz; channel selection " + data.selection;
    if (!data.fileName.empty()) note += "; data file " + data.fileName;
    return note + ".";
}

nlohmann::ordered_json NpesSpectrum(const ExportSpectrum& s) {
    nlohmann::ordered_json spectrum;
    spectrum["numberOfChannels"] = s.counts.size();
    if (s.axis.calibrated && !s.axis.coefficients.empty()) {
        spectrum["energyCalibration"] = {{"polynomialOrder", s.axis.coefficients.size() - 1},
                                         {"coefficients", s.axis.coefficients}};
    }
    spectrum["validPulseCount"] = s.total;
    // The schema wants whole seconds, at least one.
    double rounded = std::floor(s.realSeconds + 0.5);
    spectrum["measurementTime"] = rounded >= 1.0 && rounded < 9e15 ? static_cast<int64_t>(rounded) : 1;
    spectrum["spectrum"] = s.counts;
    return spectrum;
}

// Lines of a multi-line text (CR LF, LF or CR ends a line).
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// XML readers turn every CR LF and lone CR into LF; the file says so itself.
std::string XmlLines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
            out += '\n';
        }
    }
    return out;
}
}  // namespace

std::string N42Text(const SpectrumExport& data) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = document.append_child("RadInstrumentData");
    root.append_attribute("xmlns") = N42_NAMESPACE;
    root.append_attribute("n42DocUUID") = DocumentId(data).c_str();
    AddText(root, "RadInstrumentDataCreatorName", data.software + " " + data.version);

    pugi::xml_node instrument = root.append_child("RadInstrumentInformation");
    instrument.append_attribute("id") = "RadInstrumentInformation-1";
    AddText(instrument, "Remark", SourceNote(data));
    AddText(instrument, "RadInstrumentManufacturerName", "TIK");
    AddText(instrument, "RadInstrumentModelName", "Sound-card pulse analyser");
    AddText(instrument, "RadInstrumentDescription", "Pulses from the line input of a sound card");
    AddText(instrument, "RadInstrumentClassCode", "Other");
    pugi::xml_node version = instrument.append_child("RadInstrumentVersion");
    AddText(version, "RadInstrumentComponentName", "Software");
    AddText(version, "RadInstrumentComponentVersion", data.software + " " + data.version);

    for (int channel = 0; channel < 2; ++channel) {
        if (!FindSpectrum(data, channel, false)) continue;
        pugi::xml_node detector = root.append_child("RadDetectorInformation");
        detector.append_attribute("id") = ChannelName(channel);
        AddText(detector, "RadDetectorCategoryCode", "Gamma");
        AddText(detector, "RadDetectorKindCode", "Other");
        AddText(detector, "RadDetectorDescription",
                std::string(ChannelName(channel)) + " channel of the input");
    }
    for (const ExportSpectrum& s : data.spectra) {
        if (!s.axis.calibrated) continue;
        pugi::xml_node calibration = root.append_child("EnergyCalibration");
        calibration.append_attribute("id") = ("EnergyCalibration-" + SpectrumName(s)).c_str();
        AddText(calibration, "Remark", AxisNote(s));
        if (s.axis.exact) AddText(calibration, "CoefficientValues", JoinNumbers(s.axis.coefficients));
        AddText(calibration, "EnergyBoundaryValues", JoinNumbers(s.axis.edges));
    }
    for (const ExportSpectrum& s : data.spectra) {
        std::string name = SpectrumName(s);
        pugi::xml_node measurement = root.append_child("RadMeasurement");
        measurement.append_attribute("id") = ("RadMeasurement-" + name).c_str();
        if (!data.comment.empty()) AddText(measurement, "Remark", XmlLines(data.comment));
        AddText(measurement, "Remark", LiveTimeNote());
        if (!s.axis.calibrated) AddText(measurement, "Remark", AxisNote(s));
        AddText(measurement, "MeasurementClassCode", s.background ? "Background" : "Foreground");
        if (s.start.valid) AddText(measurement, "StartDateTime", IsoTime(s.start));
        AddText(measurement, "RealTimeDuration", "PT" + FixedText(s.realSeconds) + "S");
        pugi::xml_node spectrum = measurement.append_child("Spectrum");
        spectrum.append_attribute("id") = ("Spectrum-" + name).c_str();
        spectrum.append_attribute("radDetectorInformationReference") = ChannelName(s.channel);
        if (s.axis.calibrated)
            spectrum.append_attribute("energyCalibrationReference") = ("EnergyCalibration-" + name).c_str();
        AddText(spectrum, "LiveTimeDuration", "PT" + FixedText(s.liveSeconds) + "S");
        pugi::xml_node channels = spectrum.append_child("ChannelData");
        channels.append_attribute("compressionCode") = "None";
        channels.text().set(JoinCounts(s.counts).c_str());
    }
    std::ostringstream out;
    document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

std::string NpesText(const SpectrumExport& data) {
    nlohmann::ordered_json root;
    root["schemaVersion"] = "NPESv2";
    root["data"] = nlohmann::ordered_json::array();
    for (const ExportSpectrum& s : data.spectra) {
        if (s.background) continue;
        nlohmann::ordered_json entry;
        entry["deviceData"] = {{"softwareName", data.software + " " + data.version},
                               {"deviceName", ChannelName(s.channel)}};
        std::string note = SourceNote(data) + "\n" + LiveTimeNote() + "\n" + AxisNote(s);
        if (!data.comment.empty()) note = data.comment + "\n" + note;
        entry["sampleInfo"] = {{"name", data.fileName.empty() ? std::string("TIK spectrum") : data.fileName},
                               {"note", note}};
        nlohmann::ordered_json result;
        // Both times or neither: the end follows from the start and the real time.
        if (s.start.valid) {
            result["startTime"] = IsoTime(s.start);
            result["endTime"] = IsoTime(AddSeconds(s.start, s.realSeconds));
        }
        result["energySpectrum"] = NpesSpectrum(s);
        if (const ExportSpectrum* b = FindSpectrum(data, s.channel, true))
            result["backgroundEnergySpectrum"] = NpesSpectrum(*b);
        entry["resultData"] = result;
        root["data"].push_back(entry);
    }
    // The texts are valid UTF-8 by construction; replacing keeps dump from ever throwing.
    return root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string SpeText(const SpectrumExport& data, const ExportSpectrum& s, const std::string& backgroundFile) {
    std::string text = "$SPEC_ID:\r\n";
    text += (data.fileName.empty() ? std::string("TIK spectrum") : data.fileName) + " " +
            ChannelName(s.channel) + (s.background ? " background" : "") + "\r\n";
    text += "$SPEC_REM:\r\n";
    // A line starting with '$' would open a section.
    for (const std::string& line : TextLines(data.comment))
        text += (line.rfind('$', 0) == 0 ? " " : "") + line + "\r\n";
    text += SourceNote(data) + "\r\n" + LiveTimeNote() + "\r\n" + AxisNote(s) + "\r\n";
    if (!backgroundFile.empty()) text += "Background spectrum: " + backgroundFile + "\r\n";
    if (s.start.valid) {
        const StampTime& t = s.start;
        text += "$DATE_MEA:\r\n" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + "/" +
                std::to_string(t.year) + " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
                TwoDigits(t.second) + "\r\n";
    }
    text += "$MEAS_TIM:\r\n" + FixedText(s.liveSeconds) + " " + FixedText(s.realSeconds) + "\r\n";
    text += "$DATA:\r\n0 " + std::to_string(s.counts.size() - 1) + "\r\n";
    for (uint64_t count : s.counts) text += std::to_string(count) + "\r\n";
    if (s.axis.calibrated && !s.axis.coefficients.empty()) {
        if (s.axis.exact) text += "$ENER_FIT:\r\n" + JoinNumbers(s.axis.coefficients) + "\r\n";
        text += "$MCA_CAL:\r\n" + std::to_string(s.axis.coefficients.size()) + "\r\n" +
                JoinNumbers(s.axis.coefficients) + " " + s.axis.unit + "\r\n";
    }
    return text;
}

std::string CsvText(const ExportSpectrum& s) {
    std::string text = "Channel," + CsvField(s.axis.quantity) + ",Counts\r\n";
    for (size_t i = 0; i < s.counts.size(); ++i)
        text += std::to_string(i) + "," + NumberText(s.axis.edges[i]) + "," + std::to_string(s.counts[i]) +
                "\r\n";
    return text;
}
