// The menu tree, the seven dialog templates and the program icon. The small dialogs are laid out row
// by row with a few helpers; the grids of the Pulse Shape and Calibration dialogs are generated.
#include "resources/resources.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "core/ids.h"

namespace {

// ---- Menu 109 ------------------------------------------------------------------------------------
constexpr MenuNode SEPARATOR{nullptr, 0, nullptr, 0, true};

constexpr MenuNode EXPORT_MENU[] = {
    {"Counting Rate vs &Time", IDM_EXPORT_RATE_TIME, nullptr, 0, true},
    {"&Interval Histogram", IDM_EXPORT_INTERVAL, nullptr, 0, true},
    {"&Counting Rate Histogram", IDM_EXPORT_RATE_HIST, nullptr, 0, true},
    {"Pulse &Width Histogram", IDM_EXPORT_WIDTH, nullptr, 0, true},
    {"Pulse &Height Histogram", IDM_EXPORT_HEIGHT, nullptr, 0, true},
    {"Pulse Height Histogram vs Time", IDM_EXPORT_HEIGHT_TIME, nullptr, 0, true},
    {"&Regions of Interest", IDM_EXPORT_ROI, nullptr, 0, true},
    {"Regions of Interest vs Time", IDM_EXPORT_ROI_TIME, nullptr, 0, true},
    {"Coincident Pulses Height and Delay", IDM_EXPORT_COINCIDENT, nullptr, 0, true},
    SEPARATOR,
    {"Spectrum as N42 XML\x85", IDM_EXPORT_N42, nullptr, 0, true},
    {"Spectrum as NPES JSON\x85", IDM_EXPORT_NPES, nullptr, 0, true},
    {"Spectrum as IAEA SPE\x85", IDM_EXPORT_SPE, nullptr, 0, true},
    {"Spectrum as CSV\x85", IDM_EXPORT_SPECTRUM_CSV, nullptr, 0, true},
};

constexpr MenuNode FILE_MENU[] = {
    {"&Open", IDM_OPEN, nullptr, 0, true},
    {"&Load Data", IDM_LOAD_DATA, nullptr, 0, true},
    {"Obtain &Pulse Shape from Sound File", IDM_OBTAIN_SHAPE, nullptr, 0, true},
    SEPARATOR,
    {"&Save", IDM_SAVE, nullptr, 0, true},
    {"Export", 0, EXPORT_MENU, static_cast<int>(std::size(EXPORT_MENU)), false},
    SEPARATOR,
    {"E&xit", IDM_EXIT, nullptr, 0, true},
};

constexpr MenuNode ACTION_MENU[] = {
    {"Start Data &Acquisition\tA", IDM_START, nullptr, 0, true},
    {"&Countinue Data &Acquisition\tC", IDM_CONTINUE, nullptr, 0, true},
    {"&Stop Data Acquisition\tS", IDM_STOP, nullptr, 0, true},
    {"Start Pulse S&hape Acquisition", IDM_START_SHAPE, nullptr, 0, true},
    {"Set Data As Background", IDM_SET_BACKGROUND, nullptr, 0, true},
    {"Sound On/Off\tSpace", IDM_SOUND, nullptr, 0, true},
};

constexpr MenuNode VIEW_MENU[] = {
    {"Counting Rate vs &Time", IDM_VIEW_RATE_TIME, nullptr, 0, true},
    {"&Counting Rate Histogram", IDM_VIEW_RATE_HIST, nullptr, 0, true},
    {"&Interval Histogram", IDM_VIEW_INTERVAL, nullptr, 0, true},
    {"Pulse &Width Histogram", IDM_VIEW_WIDTH, nullptr, 0, true},
    {"Pulse &Height Histogram", IDM_VIEW_HEIGHT, nullptr, 0, true},
    {"&Audio Input", IDM_VIEW_AUDIO_INPUT, nullptr, 0, true},
    {"&Peaks and Nuclides", IDM_VIEW_PEAKS, nullptr, 0, true},
};

constexpr MenuNode SETTINGS_MENU[] = {
    {"&Data Acquisition and Analysis", IDM_DAQ_SETTINGS, nullptr, 0, true},
    {"&Calibration", IDM_CALIBRATION, nullptr, 0, true},
    {"&Audio Interface", IDM_AUDIO_INTERFACE, nullptr, 0, true},
    {"&Pulse Shape", IDM_PULSE_SHAPE, nullptr, 0, true},
    {"Advanced &Filter", IDM_ADVANCED_FILTER, nullptr, 0, true},
    SEPARATOR,
    {"Load Settings ...", IDM_LOAD_SETTINGS, nullptr, 0, true},
    {"Save Settings", IDM_SAVE_SETTINGS, nullptr, 0, true},
    {"Save Settings As ...", IDM_SAVE_SETTINGS_AS, nullptr, 0, true},
};

constexpr MenuNode HELP_MENU[] = {
    {"&Help Topics", IDM_HELP_TOPICS, nullptr, 0, false},
    {"&About", IDM_ABOUT, nullptr, 0, true},
};

constexpr MenuNode MENU_BAR[] = {
    {"&File", 0, FILE_MENU, static_cast<int>(std::size(FILE_MENU)), false},
    {"&Action", 0, ACTION_MENU, static_cast<int>(std::size(ACTION_MENU)), false},
    {"&View", 0, VIEW_MENU, static_cast<int>(std::size(VIEW_MENU)), false},
    {"&Settings", 0, SETTINGS_MENU, static_cast<int>(std::size(SETTINGS_MENU)), false},
    {"&Help", 0, HELP_MENU, static_cast<int>(std::size(HELP_MENU)), false},
};

const MenuNode* FindIn(const MenuNode* nodes, int count, int command) {
    for (int i = 0; i < count; ++i) {
        if (nodes[i].children) {
            if (const MenuNode* found = FindIn(nodes[i].children, nodes[i].childCount, command)) return found;
        } else if (nodes[i].text && nodes[i].command == command) {
            return &nodes[i];
        }
    }
    return nullptr;
}

// ---- Dialog layout helpers -----------------------------------------------------------------------
constexpr const char* DIALOG_FONT = "MS Sans Serif";
constexpr int DIALOG_FONT_SIZE = 8;

// Standard sizes in dialog units.
constexpr int EDIT_HEIGHT = 12;
constexpr int LABEL_HEIGHT = 8;
constexpr int CHECK_HEIGHT = 10;
constexpr int BUTTON_HEIGHT = 14;
constexpr int GROUP_CAPTION = 12;  // from the top of a group box to its first row
constexpr int MARGIN = 7;

class Builder {
public:
    explicit Builder(std::vector<DialogControl>& controls) : controls_(controls) {}

    void Add(int id, ControlKind kind, const char* text, int x, int y, int width, int height) {
        controls_.push_back({id, kind, text, x, y, width, height});
    }

private:
    std::vector<DialogControl>& controls_;
};

// A group box whose rows hold a label with an edit or a list, or a check box.
struct RowGroup {
    Builder& builder;
    int x, y, width;
    int labelWidth;  // a label's width; the control fills the rest of the row
    int pitch;       // distance between rows

    int RowTop(int row) const { return y + GROUP_CAPTION + row * pitch; }
    int ControlX() const { return x + MARGIN + labelWidth + 4; }
    int ControlWidth() const { return x + width - MARGIN - ControlX(); }

    void Frame(const char* caption, int rows) const {
        builder.Add(IDC_STATIC, CONTROL_GROUPBOX, caption, x, y, width, GROUP_CAPTION + rows * pitch + 3);
    }
    void Edit(int row, int id, const char* label) const {
        builder.Add(IDC_STATIC, CONTROL_STATIC, label, x + MARGIN, RowTop(row) + 2, labelWidth, LABEL_HEIGHT);
        builder.Add(id, CONTROL_EDIT, nullptr, ControlX(), RowTop(row), ControlWidth(), EDIT_HEIGHT);
    }
    void List(int row, int id, const char* label) const {
        builder.Add(IDC_STATIC, CONTROL_STATIC, label, x + MARGIN, RowTop(row) + 2, labelWidth, LABEL_HEIGHT);
        builder.Add(id, CONTROL_DROPDOWN_LIST, nullptr, ControlX(), RowTop(row), ControlWidth(), EDIT_HEIGHT);
    }
    void Check(int row, int id, const char* label) const {
        builder.Add(id, CONTROL_CHECKBOX, label, x + MARGIN, RowTop(row) + 1, width - 2 * MARGIN, CHECK_HEIGHT);
    }
};

// ---- 201 About TIK -------------------------------------------------------------------------------
void BuildAbout(Builder& b) {
    b.Add(IDC_STATIC, CONTROL_ICON, nullptr, 12, 10, 21, 20);
    b.Add(IDC_STATIC, CONTROL_STATIC,
          "TIK Version " TIK_VERSION "\n\nCounts and measures electrical pulses\nthrough the line input of a sound card.",
          44, 10, 176, 36);
    b.Add(IDOK, CONTROL_DEFAULT_PUSHBUTTON, "OK", 97, 52, 50, BUTTON_HEIGHT);
}

// ---- 202 Data Acquisition and Analysis -----------------------------------------------------------
void BuildDataAcquisition(Builder& b) {
    constexpr int W = 170, P = 15, L = 94, LIST_LABEL = 66;
    constexpr int C1 = MARGIN, C2 = C1 + W + MARGIN, C3 = C2 + W + MARGIN;

    RowGroup acquisition{b, C1, 5, W, L, P};
    acquisition.Frame("Data acquisition parameters", 6);
    acquisition.Edit(0, IDC_DAQ_MIN_HEIGHT, "Min height /arb.u");
    acquisition.Edit(1, IDC_DAQ_BOOST_GAIN, "Boost gain");
    acquisition.Edit(2, IDC_DAQ_ACQUISITION_TIME, "Acquisition time /s");
    acquisition.Edit(3, IDC_DAQ_MAX_PULSES, "Max pulses ");
    acquisition.Check(4, IDC_DAQ_USE_SHAPE, "Use shape method");
    acquisition.Edit(5, IDC_DAQ_MAX_DISTORTION, "Max distortion /arb.u");

    RowGroup filterList{b, C1, 115, W, LIST_LABEL, P};
    RowGroup filter{b, C1, 115, W, L, P};
    filter.Frame("Analysed data filter", 5);
    filterList.List(0, IDC_DAQ_CHANNEL_SELECTION, "Channel selection");
    filter.Edit(1, IDC_DAQ_BEGIN_TIME, "Beginning time /s");
    filter.Edit(2, IDC_DAQ_DURATION_TIME, "Duration time /s");
    filter.Edit(3, IDC_DAQ_CORRECTION, "Correction");
    filter.Check(4, IDC_DAQ_USE_ADVANCED_FILTER, "Use advanced filter");

    RowGroup rateTime{b, C2, 5, W, L, P};
    rateTime.Frame("Counting rate vs Time", 2);
    rateTime.Edit(0, IDC_DAQ_TIME_STEP, "Time step /s");
    rateTime.Check(1, IDC_DAQ_RATE_TIME_LOG, "Log scale");

    RowGroup rateHistogram{b, C2, 55, W, L, P};
    rateHistogram.Frame("Counting rate histogram", 2);
    rateHistogram.Edit(0, IDC_DAQ_RATE_BIN_SIZE, "Bin size  /(1/s)");
    rateHistogram.Check(1, IDC_DAQ_RATE_HIST_LOG, "Log scale");

    RowGroup interval{b, C2, 105, W, L, P};
    interval.Frame("Interval histogram", 3);
    interval.Edit(0, IDC_DAQ_INTERVAL_BIN_SIZE, "Bin size /\xB5" "s");
    interval.Edit(1, IDC_DAQ_S_FOLD, "S-fold");
    interval.Check(2, IDC_DAQ_INTERVAL_LOG, "Log scale");

    RowGroup width{b, C2, 170, W, L, P};
    width.Frame("Pulse width histogram", 2);
    width.Edit(0, IDC_DAQ_WIDTH_BIN_SIZE, "Bin size /\xB5" "s");
    width.Check(1, IDC_DAQ_WIDTH_LOG, "Log scale");

    RowGroup height{b, C3, 5, W, L, P};
    height.Frame("Pulse height histogram", 6);
    height.Edit(0, IDC_DAQ_HEIGHT_BIN_SIZE, "Bin size /arb.u");
    height.Check(1, IDC_DAQ_USE_CALIBRATION, "Use calibration");
    height.Check(2, IDC_DAQ_GAUSSIAN_CORRELATION, "Gaussian correlation");
    height.Check(3, IDC_DAQ_HEIGHT_LOG, "Log scale");
    height.Check(4, IDC_DAQ_SUBTRACT_BACKGROUND, "Subtract background");
    height.Check(5, IDC_DAQ_SUM_QUANTITY, "Sum quantity");

    b.Add(IDC_STATIC, CONTROL_GROUPBOX, "Comments", C3, 115, W, 75);
    b.Add(IDC_DAQ_COMMENTS, CONTROL_MULTILINE_EDIT, nullptr, C3 + MARGIN, 115 + GROUP_CAPTION, W - 2 * MARGIN, 56);
    b.Add(IDC_DAQ_APPLY, CONTROL_DEFAULT_PUSHBUTTON, "Apply", C3 + W - 60, 197, 60, BUTTON_HEIGHT + 2);
}

// ---- 203 Audio Interface -------------------------------------------------------------------------
void BuildAudioInterface(Builder& b) {
    constexpr int W = 176, P = 16, L = 70;
    struct Side {
        int x;
        const char* caption;
        int device, format, rate, bits, channels;
        const char* channelLabel;
    };
    const Side sides[2] = {{MARGIN, "Input device", IDC_INPUT_DEVICE, IDC_INPUT_FORMAT, IDC_INPUT_RATE, IDC_INPUT_BITS,
                            IDC_INPUT_CHANNELS, "Input channel"},
                           {MARGIN + W + MARGIN, "Output device", IDC_OUTPUT_DEVICE, IDC_OUTPUT_FORMAT, IDC_OUTPUT_RATE,
                            IDC_OUTPUT_BITS, IDC_OUTPUT_CHANNELS, "Output channel"}};
    for (const Side& side : sides) {
        RowGroup group{b, side.x, 5, W, L, P};
        group.Frame(side.caption, 5);
        b.Add(side.device, CONTROL_DROPDOWN_LIST, nullptr, side.x + MARGIN, group.RowTop(0), W - 2 * MARGIN,
              EDIT_HEIGHT);
        group.List(1, side.format, "Format");
        group.List(2, side.rate, "Sampling Rate");
        group.List(3, side.bits, "Bits per sample");
        group.List(4, side.channels, side.channelLabel);
    }
    constexpr int RIGHT = MARGIN + 2 * W + MARGIN;
    b.Add(IDOK, CONTROL_DEFAULT_PUSHBUTTON, "OK", RIGHT - 50 - 6 - 50, 106, 50, BUTTON_HEIGHT);
    b.Add(IDCANCEL, CONTROL_PUSHBUTTON, "Cancel", RIGHT - 50, 106, 50, BUTTON_HEIGHT);
}

// ---- 204 Pulse Shape -----------------------------------------------------------------------------
// Point labels "1" to "60" of the check boxes.
char pointLabels[60][3];

void BuildPulseShape(Builder& b) {
    constexpr int GROUP_WIDTH = 234, ROWS = 20, PITCH = 12, COLUMN = 74;
    const char* captions[2] = {"Left channel", "Right channel"};
    for (int j = 0; j < 60; ++j) std::snprintf(pointLabels[j], sizeof pointLabels[j], "%d", j + 1);
    for (int c = 0; c < 2; ++c) {
        int gx = 5 + c * (GROUP_WIDTH + 4);
        b.Add(IDC_STATIC, CONTROL_GROUPBOX, captions[c], gx, 5, GROUP_WIDTH, 276);
        for (int j = 0; j < 60; ++j) {
            int x = gx + 6 + (j / ROWS) * COLUMN;
            int y = 5 + GROUP_CAPTION + (j % ROWS) * PITCH;
            b.Add(ShapePointUsedId(c, j), CONTROL_CHECKBOX, pointLabels[j], x, y + 1, 24, CHECK_HEIGHT);
            b.Add(ShapePointId(c, j), CONTROL_EDIT, nullptr, x + 24, y, 46, EDIT_HEIGHT - 1);
        }
        b.Add(ShapeCopyId(c), CONTROL_PUSHBUTTON, "Copy", gx + 6, 261, 50, BUTTON_HEIGHT);
        b.Add(ShapePasteId(c), CONTROL_PUSHBUTTON, "Paste", gx + 62, 261, 50, BUTTON_HEIGHT);
    }
    b.Add(IDC_SHAPE_OK, CONTROL_DEFAULT_PUSHBUTTON, "OK", 477 - 50 - 6 - 50, 285, 50, BUTTON_HEIGHT);
    b.Add(IDC_SHAPE_RESET, CONTROL_PUSHBUTTON, "Reset", 477 - 50, 285, 50, BUTTON_HEIGHT);
}

// ---- 205 Calibration -----------------------------------------------------------------------------
char rowLabels[16][3];

void BuildCalibration(Builder& b) {
    constexpr int GROUP_WIDTH = 184, EDIT_WIDTH = 50, PITCH = 13, FIRST_ROW = 27;
    const char* captions[2] = {"Left channel", "Right channel"};
    const char* headings[3] = {"Mean /arb.u", "SD /arb.u", "Quantity"};
    for (int r = 0; r < 16; ++r) std::snprintf(rowLabels[r], sizeof rowLabels[r], "%d", r + 1);
    for (int c = 0; c < 2; ++c) {
        int gx = MARGIN + c * (GROUP_WIDTH + 6);
        int modeList = CalibrationChannelId(IDC_CALIBRATION_MODE_LEFT, c);
        int units = CalibrationChannelId(IDC_CALIBRATION_UNITS_LEFT, c);
        const int buttons[3] = {CalibrationChannelId(IDC_CALIBRATION_CLEAR_LEFT, c),
                                CalibrationChannelId(IDC_CALIBRATION_COPY_LEFT, c),
                                CalibrationChannelId(IDC_CALIBRATION_PASTE_LEFT, c)};
        b.Add(IDC_STATIC, CONTROL_GROUPBOX, captions[c], gx, 5, GROUP_WIDTH, 288);
        for (int k = 0; k < 3; ++k)
            b.Add(IDC_STATIC, CONTROL_STATIC, headings[k], gx + 20 + k * (EDIT_WIDTH + 4), 17, EDIT_WIDTH, LABEL_HEIGHT);
        for (int r = 0; r < 16; ++r) {
            int y = FIRST_ROW + r * PITCH;
            b.Add(IDC_STATIC, CONTROL_STATIC, rowLabels[r], gx + 6, y + 2, 12, LABEL_HEIGHT);
            for (int k = 0; k < 3; ++k)
                b.Add(CalibrationEditId(c, r, k), CONTROL_EDIT, nullptr, gx + 20 + k * (EDIT_WIDTH + 4), y, EDIT_WIDTH,
                      EDIT_HEIGHT);
        }
        RowGroup lower{b, gx, 226, GROUP_WIDTH, 62, 16};
        lower.List(0, modeList, "Calibration mode");
        lower.Edit(1, units, "Quantity /Units");
        const char* buttonTexts[3] = {"Clear", "Copy", "Paste"};
        for (int k = 0; k < 3; ++k)
            b.Add(buttons[k], CONTROL_PUSHBUTTON, buttonTexts[k], gx + 6 + k * 59, 272, 54, BUTTON_HEIGHT);
    }
    b.Add(IDC_CALIBRATION_APPLY, CONTROL_DEFAULT_PUSHBUTTON, "Apply", 381 - 60, 299, 60, BUTTON_HEIGHT + 2);
}

// ---- 206 Advanced Pulse Filter -------------------------------------------------------------------
void BuildAdvancedFilter(Builder& b) {
    constexpr int GROUP_WIDTH = 212, CHECK_WIDTH = 84, EDIT_WIDTH = 54, PITCH = 16;
    const char* captions[2] = {"Left channel", "Right channel"};
    const char* quantities[3] = {"Height /arb.u", "Distortion /arb.u", "Width /us"};
    for (int c = 0; c < 2; ++c) {
        int gx = MARGIN + c * (GROUP_WIDTH + 6);
        int minX = gx + 6 + CHECK_WIDTH + 4, maxX = minX + EDIT_WIDTH + 4;
        b.Add(IDC_STATIC, CONTROL_GROUPBOX, captions[c], gx, 5, GROUP_WIDTH, 72);
        b.Add(IDC_STATIC, CONTROL_STATIC, "Minimum", minX, 17, EDIT_WIDTH, LABEL_HEIGHT);
        b.Add(IDC_STATIC, CONTROL_STATIC, "Maximum", maxX, 17, EDIT_WIDTH, LABEL_HEIGHT);
        for (int k = 0; k < 3; ++k) {
            int y = 27 + k * PITCH;
            b.Add(FilterEnableId(c, k), CONTROL_CHECKBOX, quantities[k], gx + 6, y + 1, CHECK_WIDTH, CHECK_HEIGHT);
            b.Add(FilterLimitId(c, k, 0), CONTROL_EDIT, nullptr, minX, y, EDIT_WIDTH, EDIT_HEIGHT);
            b.Add(FilterLimitId(c, k, 1), CONTROL_EDIT, nullptr, maxX, y, EDIT_WIDTH, EDIT_HEIGHT);
        }
    }
    b.Add(IDC_FILTER_APPLY, CONTROL_DEFAULT_PUSHBUTTON, "Apply", 437 - 60, 84, 60, BUTTON_HEIGHT + 2);
}

// ---- 207 Information -----------------------------------------------------------------------------
void BuildInformation(Builder& b) {
    b.Add(IDC_INFORMATION_TEXT, CONTROL_READONLY_EDIT, nullptr, MARGIN, MARGIN, 386, 48);
    b.Add(IDOK, CONTROL_DEFAULT_PUSHBUTTON, "OK", 400 - MARGIN - 50, 62, 50, BUTTON_HEIGHT);
}

// ---- 208 Peaks and Nuclides ----------------------------------------------------------------------
// The report with Refresh, Copy and OK.
void BuildPeaks(Builder& b) {
    b.Add(IDC_PEAKS_TEXT, CONTROL_READONLY_EDIT, nullptr, MARGIN, MARGIN, 520 - 2 * MARGIN, 250);
    b.Add(IDC_PEAKS_REFRESH, CONTROL_PUSHBUTTON, "Refresh", MARGIN, 262, 50, BUTTON_HEIGHT);
    b.Add(IDC_PEAKS_COPY, CONTROL_PUSHBUTTON, "Copy", MARGIN + 56, 262, 50, BUTTON_HEIGHT);
    b.Add(IDOK, CONTROL_DEFAULT_PUSHBUTTON, "OK", 520 - MARGIN - 50, 262, 50, BUTTON_HEIGHT);
}

constexpr int TEMPLATE_COUNT = IDD_LAST - IDD_FIRST + 1;

struct TemplateTable {
    std::vector<DialogControl> controls[TEMPLATE_COUNT];
    DialogTemplate templates[TEMPLATE_COUNT];

    TemplateTable() {
        struct Definition {
            int id;
            const char* title;
            int width, height;
            void (*build)(Builder&);
        };
        const Definition definitions[TEMPLATE_COUNT] = {
            {IDD_ABOUT, "About TIK", 244, 73, BuildAbout},
            {IDD_DAQ, "Data Acquisition and Analysis", 538, 222, BuildDataAcquisition},
            {IDD_AUDIO_INTERFACE, "Audio Interface", 373, 127, BuildAudioInterface},
            {IDD_PULSE_SHAPE, "Pulse Shape", 482, 303, BuildPulseShape},
            {IDD_CALIBRATION, "Calibration", 388, 322, BuildCalibration},
            {IDD_ADVANCED_FILTER, "Advanced Pulse Filter", 444, 107, BuildAdvancedFilter},
            {IDD_INFORMATION, "Information", 400, 83, BuildInformation},
            {IDD_PEAKS, "Peaks and Nuclides", 520, 282, BuildPeaks},
        };
        for (int i = 0; i < TEMPLATE_COUNT; ++i) {
            Builder builder(controls[i]);
            definitions[i].build(builder);
            templates[i] = {definitions[i].id, definitions[i].title, definitions[i].width, definitions[i].height,
                            DIALOG_FONT, DIALOG_FONT_SIZE, controls[i].data(), static_cast<int>(controls[i].size())};
        }
    }
};

// ---- Icon 101 ------------------------------------------------------------------------------------
constexpr IconPoint ICON_TRACE[] = {{3, 24}, {10, 24}, {12, 23}, {14, 7},  {16, 5},  {18, 9},
                                    {20, 19}, {22, 26}, {24, 27}, {26, 25}, {28, 24}};

constexpr ProgramIconDrawing ICON{0x1F3A5F, 0x7F9FBF, 0xFFD000, 24, ICON_TRACE,
                                  static_cast<int>(std::size(ICON_TRACE))};

}  // namespace

const MenuNode* MainMenu(int* count) {
    if (count) *count = static_cast<int>(std::size(MENU_BAR));
    return MENU_BAR;
}

const MenuNode* FindMenuItem(int command) {
    return FindIn(MENU_BAR, static_cast<int>(std::size(MENU_BAR)), command);
}

const DialogTemplate* FindDialogTemplate(int id) {
    static const TemplateTable table;
    for (const DialogTemplate& t : table.templates)
        if (t.id == id) return &t;
    return nullptr;
}

const DialogControl* FindDialogControl(const DialogTemplate& dialog, int id) {
    if (id == IDC_STATIC) return nullptr;
    for (int i = 0; i < dialog.controlCount; ++i)
        if (dialog.controls[i].id == id) return &dialog.controls[i];
    return nullptr;
}

const ProgramIconDrawing& ProgramIcon() { return ICON; }
