// The text exports: the common frame (prepare, header, file dialog, rows), the four histograms and
// the pulse height histogram, the regions of interest and the coincident pulse pairs.
#include "files/exports.h"

#include <string>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/histograms.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/settings.h"
#include "files/export_internal.h"
#include "files/file_messages.h"
#include "platform/ui.h"

namespace {
const char EXPORT_FILTERS[] = "ASCII data file (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
constexpr int HEADER_CAPACITY = 260;
constexpr int BIG = 1 << 20;
constexpr double TWO_POW_MINUS_32 = 2.3283064370807974e-10;

const char* ExportTitle(int command) {
    switch (command) {
        case IDM_EXPORT_RATE_TIME:
            return "Export CountRate vs Time as ASCII File";
        case IDM_EXPORT_RATE_HIST:
            return "Export CountRate Histogram as ASCII File";
        case IDM_EXPORT_INTERVAL:
            return "Export Interval Histogram as ASCII File";
        case IDM_EXPORT_WIDTH:
            return "Export PulseWidth Histogram as ASCII File";
        case IDM_EXPORT_HEIGHT:
            return "Export PulseHeight Histogram as ASCII File";
        case IDM_EXPORT_HEIGHT_TIME:
            return "Export PulseHeight vs Time as ASCII File";
        case IDM_EXPORT_ROI:
            return "Export Regions of Interest as ASCII File";
        case IDM_EXPORT_ROI_TIME:
            return "Export ROI Counts vs Time as ASCII File";
        case IDM_EXPORT_COINCIDENT:
            return "Export Coincident Pulses Height and Delay";
        default:
            return nullptr;
    }
}

void PrepareData(int command, int channel) {
    switch (command) {
        case IDM_EXPORT_RATE_TIME:
            BuildRateVsTime(false);
            break;
        case IDM_EXPORT_RATE_HIST:
            BuildRateHistogram(false);
            break;
        case IDM_EXPORT_INTERVAL:
            BuildIntervalHistogram(false);
            break;
        case IDM_EXPORT_WIDTH:
            BuildWidthHistogram(false);
            break;
        case IDM_EXPORT_HEIGHT:
        case IDM_EXPORT_HEIGHT_TIME:
            BuildHeightSpectrum(false, false);
            break;
        case IDM_EXPORT_ROI:
            // The statistics come from the height histogram and the regions' bins, both stale while
            // the height window is hidden (a file opened, the bin size changed since): renew both.
            BuildHeightSpectrum(false, false);
            RefreshRoiBins(channel);
            SortRois(channel);
            for (int slot = 0; slot < ROI_SLOTS; ++slot) ComputeRoiStatistics(slot);
            break;
        case IDM_EXPORT_ROI_TIME:
            RefreshRoiBins(channel);
            SortRois(channel);
            break;
        default:
            break;
    }
}

// Appends a piece to the header (at most HEADER_CAPACITY characters in all).
void AddToHeader(char* header, const char* piece, int pieceLength = BIG) {
    AppendBounded(header, piece, HEADER_CAPACITY, pieceLength, HEADER_CAPACITY);
}

void AddUnits(char* header, int channel) {
    int length = 0;
    const char* units = ChannelUnits(channel, &length);
    AddToHeader(header, units, length);
}

void ComposeHeader(int command, int channel, char* header) {
    header[0] = '\0';
    switch (command) {
        case IDM_EXPORT_RATE_TIME:
            AddToHeader(header, "Time/s\tCounts\r\n");
            break;
        case IDM_EXPORT_RATE_HIST:
            AddToHeader(header, "Rate/(1/s)\tCounts\r\n");
            break;
        case IDM_EXPORT_INTERVAL:
            AddToHeader(header, "Interval/\xB5s\tCounts\r\n");
            break;
        case IDM_EXPORT_WIDTH:
            AddToHeader(header, "Width/\xB5s\tCounts\r\n");
            break;
        case IDM_EXPORT_HEIGHT:
            if (!CalibrationInUse(channel)) {
                AddToHeader(header, "Height/arb.u\tCounts\r\n");
                break;
            }
            AddUnits(header, channel);
            AddToHeader(header, "\tCounts");
            if (settings.options[channel].sumQuantity) {
                AddToHeader(header, "*");
                AddUnits(header, channel);
            }
            AddToHeader(header, "\r\n");
            break;
        case IDM_EXPORT_ROI:
            AddUnits(header, channel);
            AddToHeader(header, "\r\nStart\tEnd\tMean\tSD\tGross\tNet\r\n");
            break;
        case IDM_EXPORT_COINCIDENT:
            AddUnits(header, 0);
            AddToHeader(header, "\t");
            AddUnits(header, 1);
            AddToHeader(header, "\t\xB5s\r\nLeft Height\tRight Height\tRight-Left Delay\r\n");
            break;
        default:
            break;
    }
}

// One row per bin 0 to lastIndex: the bin's start (calibrated when asked) and its raw value.
void WriteHistogramRows(ExportWriter& writer, int series, int64_t lastIndex, double binWidth, int channel,
                        bool calibrated) {
    const double* raw = seriesData[series];
    if (!raw) return;
    if (lastIndex > seriesLength[series] - 1) lastIndex = seriesLength[series] - 1;
    for (int64_t i = 0; i <= lastIndex; ++i) {
        double start = static_cast<double>(i) * binWidth;
        ExportNumber(writer, calibrated ? CalibratedValue(channel, start) : start, 4);
        ExportTab(writer);
        ExportNumber(writer, raw[i], 4);
        ExportEndLine(writer);
    }
}

void WriteRoiRows(ExportWriter& writer, int channel) {
    for (const RoiRecord& roi : settings.roi[channel]) {
        if (roi.startBin < 0) continue;
        ExportNumber(writer, CalibratedValue(channel, roi.startValue), 3);
        ExportTab(writer);
        ExportNumber(writer, CalibratedValue(channel, roi.endValue), 3);
        ExportTab(writer);
        ExportNumber(writer, roi.mean, 3);
        ExportTab(writer);
        ExportNumber(writer, roi.sd, 3);
        ExportTab(writer);
        ExportNumber(writer, roi.gross, 0);
        ExportTab(writer);
        ExportNumber(writer, roi.net, 0);
        ExportEndLine(writer);
    }
}

// A pulse's height in arb.u with its distortion correction, calibrated when the channel's
// calibration is in use.
double CoincidentHeight(int channel, const PulseRecord& pulse) {
    double k = settings.channel[channel].correction * 0.01 * TWO_POW_MINUS_32;
    double height = pulse.height * (1.0 + pulse.distortion * k) * 100.0 / 2147483647.0;
    return CalibratedValue(channel, height);
}

void WriteCoincidentRows(ExportWriter& writer) {
    int8_t savedSelection = settings.channelSelection;
    settings.channelSelection = 1;
    double framesPerMicrosecond = dataSampleRate * 1e-6;
    for (uint32_t i = 0; i < pulseCount[0]; ++i) {
        if (!IsPulseSelected(0, i)) continue;
        // The coincidence selection admits only pulses whose partner HasPartner accepts.
        const PulseRecord& left = Pulse(0, i);
        const PulseRecord& right = Pulse(1, left.partner);
        double delay = ((right.time + right.width * 0.5) - (left.time + left.width * 0.5)) / framesPerMicrosecond;
        ExportNumber(writer, CoincidentHeight(0, left), 5);
        ExportTab(writer);
        ExportNumber(writer, CoincidentHeight(1, right), 5);
        ExportTab(writer);
        ExportNumber(writer, delay, 5);
        ExportEndLine(writer);
    }
    settings.channelSelection = savedSelection;
}

void WriteRows(ExportWriter& writer, int command, int channel) {
    const ChannelSettings& s = settings.channel[channel];
    switch (command) {
        case IDM_EXPORT_RATE_TIME:
            WriteHistogramRows(writer, SERIES_RATE_TIME, dataLength[WND_RATE_TIME] - 1, s.timeStep, channel, false);
            break;
        case IDM_EXPORT_RATE_HIST:
            WriteHistogramRows(writer, SERIES_RATE_HIST, dataLength[WND_RATE_HIST], s.rateBinSize, channel, false);
            break;
        case IDM_EXPORT_INTERVAL:
            WriteHistogramRows(writer, SERIES_INTERVAL, dataLength[WND_INTERVAL], s.intervalBinSize, channel, false);
            break;
        case IDM_EXPORT_WIDTH:
            WriteHistogramRows(writer, SERIES_WIDTH, dataLength[WND_WIDTH], s.widthBinSize, channel, false);
            break;
        case IDM_EXPORT_HEIGHT:
            WriteHistogramRows(writer, SERIES_HEIGHT, dataLength[WND_HEIGHT], s.heightBinSize, channel, true);
            break;
        case IDM_EXPORT_HEIGHT_TIME:
            WriteTimeSeriesRows(writer, false);
            break;
        case IDM_EXPORT_ROI:
            WriteRoiRows(writer, channel);
            break;
        case IDM_EXPORT_ROI_TIME:
            WriteTimeSeriesRows(writer, true);
            break;
        case IDM_EXPORT_COINCIDENT:
            WriteCoincidentRows(writer);
            break;
        default:
            break;
    }
}
}  // namespace

const char* ChannelUnits(int channel, int* length) {
    if (CalibrationInUse(channel)) {
        *length = QUANTITY_UNITS_CAPACITY;
        return settings.quantityUnits[channel];
    }
    *length = BIG;
    return "Arbitrary Units";
}

bool CalibrationInUse(int channel) {
    return settings.options[channel].useCalibration != 0 && calibrationValid[channel] != 0;
}

double CalibratedValue(int channel, double value) {
    return CalibrationInUse(channel) ? Calibrate(channel, value, false) : value;
}

void ExportCommand(int, int command) {
    const char* title = ExportTitle(command);
    if (!title) return;
    int channel = AnalysedChannel();
    PrepareData(command, channel);
    char header[HEADER_CAPACITY + 1];
    ComposeHeader(command, channel, header);
    FileDialogRequest request{title, EXPORT_FILTERS, "txt", OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    if (!AskSaveFileName(request, FileNameBuffer(), MAX_PATH_LENGTH)) return;
    UpdateFileNameOffset();
    // The lines are assembled where the path lies: keep the path apart.
    std::string path = FileNameBuffer();
    ExportWriter writer;
    if (!BeginExport(writer, path.c_str())) {
        ReportWriteFailure(path.c_str());
        return;
    }
    ExportText(writer, header);
    WriteRows(writer, command, channel);
    FinishExport(writer);
}
