// The four exchange formats of spectra as text: ANSI N42.42-2012 XML, NPESv2 JSON, IAEA ASCII SPE and
// CSV, all UTF-8. The XML and JSON are built with pugixml and nlohmann-json, which do the escaping.
#pragma once
#include <string>

#include "files/spectrum_data.h"

// Every spectrum as a measurement of its own (class Foreground or Background) with its detector
// ("Left", "Right") and its energy calibration (lower channel edges always, coefficients for a line).
std::string N42Text(const SpectrumExport& data);

// One entry of "data" per detector with its energySpectrum and, when set, backgroundEnergySpectrum.
std::string NpesText(const SpectrumExport& data);

// One spectrum; backgroundFile names the file that holds its background (empty: none).
std::string SpeText(const SpectrumExport& data, const ExportSpectrum& spectrum,
                    const std::string& backgroundFile);

// One spectrum: channel, lower edge in the axis quantity, counts.
std::string CsvText(const ExportSpectrum& spectrum);
