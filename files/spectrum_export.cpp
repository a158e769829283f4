// The spectrum export commands: file dialog, gathering the spectra, writing the file (and the
// background file of SPE and CSV) through a temporary file that replaces the target when complete.
#include "files/spectrum_export.h"

#include "analysis/selection.h"
#include "core/file_name.h"
#include "core/ids.h"
#include "files/binary_file.h"
#include "files/file_messages.h"
#include "files/spectrum_data.h"
#include "files/spectrum_formats.h"
#include "platform/ui.h"

namespace {
struct SpectrumFormat {
    int command;
    const char* title;
    const char* filters;
    const char* extension;
};

constexpr SpectrumFormat FORMATS[] = {
    {IDM_EXPORT_N42, "Export Spectrum as N42 XML", "N42 XML file (*.n42)\0*.n42\0All Files (*.*)\0*.*\0",
     "n42"},
    {IDM_EXPORT_NPES, "Export Spectrum as NPES JSON",
     "NPES JSON file (*.json)\0*.json\0All Files (*.*)\0*.*\0", "json"},
    {IDM_EXPORT_SPE, "Export Spectrum as IAEA SPE", "IAEA SPE file (*.spe)\0*.spe\0All Files (*.*)\0*.*\0",
     "spe"},
    {IDM_EXPORT_SPECTRUM_CSV, "Export Spectrum as CSV", "CSV file (*.csv)\0*.csv\0All Files (*.*)\0*.*\0",
     "csv"},
};

bool WriteTextFile(const std::string& path, const std::string& text) {
    OutputFile file;
    bool ok = BeginOutputFile(file, path.c_str()) && WriteOutputFile(file, text.data(), text.size());
    ok = FinishOutputFile(file) && ok;
    if (!ok) ReportWriteFailure(path.c_str());
    return ok;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// SPE and CSV: the analysed channel's spectrum, and its background in a file of its own.
void WriteSingleSpectrum(int command, const std::string& path, const SpectrumExport& data) {
    int channel = AnalysedChannel();
    const ExportSpectrum* spectrum = FindSpectrum(data, channel, false);
    const ExportSpectrum* background = FindSpectrum(data, channel, true);
    if (!spectrum) return;
    std::string backgroundPath = background ? BackgroundFilePath(path) : std::string();
    bool spe = command == IDM_EXPORT_SPE;
    std::string text = spe ? SpeText(data, *spectrum, background ? FileNameOf(backgroundPath) : std::string())
                           : CsvText(*spectrum);
    if (!WriteTextFile(path, text) || !background) return;
    WriteTextFile(backgroundPath, spe ? SpeText(data, *background, std::string()) : CsvText(*background));
}
}  // namespace

std::string BackgroundFilePath(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) return path + "-background";
    return path.substr(0, dot) + "-background" + path.substr(dot);
}

void SpectrumExportCommand(int, int command) {
    const SpectrumFormat* format = nullptr;
    for (const SpectrumFormat& f : FORMATS)
        if (f.command == command) format = &f;
    if (!format) return;
    FileDialogRequest request{format->title, format->filters, format->extension,
                              OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    if (!AskSaveFileName(request, FileNameBuffer(), MAX_PATH_LENGTH)) return;
    UpdateFileNameOffset();
    std::string path = FileNameBuffer();
    SpectrumExport data = CollectSpectra();
    if (command == IDM_EXPORT_N42)
        WriteTextFile(path, N42Text(data));
    else if (command == IDM_EXPORT_NPES)
        WriteTextFile(path, NpesText(data));
    else
        WriteSingleSpectrum(command, path, data);
}
