// Tests of the resources: the menu tree's texts, ids and initial states, and the dialog templates'
// control ids, kinds, labels, group boxes and a layout without overlaps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "platform/ui.h"
#include "ui/commands.h"

namespace {

// ---- Menu ----------------------------------------------------------------------------------------
struct FlatEntry {
    std::string path;  // popup texts joined by '/', then the item text; "-" for a separator
    int command;
    bool grayed;
};

void Flatten(const MenuNode* nodes, int count, const std::string& prefix, std::vector<FlatEntry>& out) {
    for (int i = 0; i < count; ++i) {
        const MenuNode& n = nodes[i];
        if (!n.text) {
            out.push_back({prefix + "-", 0, n.grayed});
        } else if (n.children) {
            out.push_back({prefix + n.text + "/", 0, n.grayed});
            Flatten(n.children, n.childCount, prefix + n.text + "/", out);
        } else {
            out.push_back({prefix + n.text, n.command, n.grayed});
        }
    }
}

TEST(ResourcesMenu, TreeHasTheTextsIdsAndSeparatorsInOrder) {
    int count = 0;
    const MenuNode* bar = MainMenu(&count);
    std::vector<FlatEntry> flat;
    Flatten(bar, count, "", flat);
    const std::vector<std::pair<std::string, int>> expected = {
        {"&File/", 0},
        {"&File/&Open", 32770},
        {"&File/&Load Data", 32771},
        {"&File/Obtain &Pulse Shape from Sound File", 32772},
        {"&File/-", 0},
        {"&File/&Save", 32773},
        {"&File/Export/", 0},
        {"&File/Export/Counting Rate vs &Time", 32774},
        {"&File/Export/&Interval Histogram", 32776},
        {"&File/Export/&Counting Rate Histogram", 32775},
        {"&File/Export/Pulse &Width Histogram", 32777},
        {"&File/Export/Pulse &Height Histogram", 32778},
        {"&File/Export/Pulse Height Histogram vs Time", 32779},
        {"&File/Export/&Regions of Interest", 32780},
        {"&File/Export/Regions of Interest vs Time", 32781},
        {"&File/Export/Coincident Pulses Height and Delay", 32782},
        {"&File/-", 0},
        {"&File/E&xit", 32783},
        {"&Action/", 0},
        {"&Action/Start Data &Acquisition\tA", 32784},
        {"&Action/&Countinue Data &Acquisition\tC", 32785},
        {"&Action/&Stop Data Acquisition\tS", 32786},
        {"&Action/Start Pulse S&hape Acquisition", 32787},
        {"&Action/Set Data As Background", 32788},
        {"&Action/Sound On/Off\tSpace", 32789},
        {"&View/", 0},
        {"&View/Counting Rate vs &Time", 32790},
        {"&View/&Counting Rate Histogram", 32791},
        {"&View/&Interval Histogram", 32792},
        {"&View/Pulse &Width Histogram", 32793},
        {"&View/Pulse &Height Histogram", 32794},
        {"&View/&Audio Input", 32795},
        {"&Settings/", 0},
        {"&Settings/&Data Acquisition and Analysis", 32796},
        {"&Settings/&Calibration", 32799},
        {"&Settings/&Audio Interface", 32797},
        {"&Settings/&Pulse Shape", 32798},
        {"&Settings/Advanced &Filter", 32800},
        {"&Settings/-", 0},
        {"&Settings/Load Settings ...", 32801},
        {"&Settings/Save Settings", 32802},
        {"&Settings/Save Settings As ...", 32803},
        {"&Help/", 0},
        {"&Help/&Help Topics", 32804},
        {"&Help/&About", 32805},
    };
    ASSERT_EQ(flat.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(flat[i].path, expected[i].first) << "entry " << i;
        EXPECT_EQ(flat[i].command, expected[i].second) << flat[i].path;
    }
}

TEST(ResourcesMenu, EveryItemStartsGrayedExceptHelpTopicsAndEachCommandAppearsOnce) {
    int count = 0;
    const MenuNode* bar = MainMenu(&count);
    std::vector<FlatEntry> flat;
    Flatten(bar, count, "", flat);
    std::multiset<int> commands;
    for (const FlatEntry& e : flat) {
        if (e.command == 0) continue;
        commands.insert(e.command);
        EXPECT_EQ(e.grayed, e.command != IDM_HELP_TOPICS) << e.path;
    }
    for (int id = IDM_OPEN; id <= IDM_ABOUT; ++id) EXPECT_EQ(commands.count(id), 1u) << id;
    EXPECT_EQ(commands.count(IDM_INFORMATION), 0u);
    EXPECT_EQ(commands.count(IDM_WRITE_DATA_FILE), 0u);
    ASSERT_NE(FindMenuItem(IDM_SOUND), nullptr);
    EXPECT_STREQ(FindMenuItem(IDM_SOUND)->text, "Sound On/Off\tSpace");
    EXPECT_EQ(FindMenuItem(IDM_INFORMATION), nullptr);
    EXPECT_EQ(FindMenuItem(0), nullptr);
}

// ---- Dialog templates ----------------------------------------------------------------------------
bool Inside(const DialogControl& inner, const DialogControl& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

bool Overlap(const DialogControl& a, const DialogControl& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

const DialogTemplate& Template(int id) {
    const DialogTemplate* t = FindDialogTemplate(id);
    EXPECT_NE(t, nullptr) << id;
    static const DialogTemplate empty{};
    return t ? *t : empty;
}

// Caption of the innermost group box around the control, or "" when it is in none.
std::string GroupOf(const DialogTemplate& t, const DialogControl& c) {
    const DialogControl* best = nullptr;
    for (int i = 0; i < t.controlCount; ++i) {
        const DialogControl& g = t.controls[i];
        if (g.kind == CONTROL_GROUPBOX && &g != &c && Inside(c, g) &&
            (!best || g.width * g.height < best->width * best->height))
            best = &g;
    }
    return best ? best->text : "";
}

// Text of the label on the control's row, left of it and nearest to it, or "".
std::string LabelOf(const DialogTemplate& t, const DialogControl& c) {
    const DialogControl* best = nullptr;
    for (int i = 0; i < t.controlCount; ++i) {
        const DialogControl& s = t.controls[i];
        bool sameRow = s.y < c.y + c.height && c.y < s.y + s.height;
        if (s.kind == CONTROL_STATIC && sameRow && s.x + s.width <= c.x && (!best || s.x > best->x)) best = &s;
    }
    return best ? best->text : "";
}

const DialogControl& Control(const DialogTemplate& t, int id) {
    const DialogControl* c = FindDialogControl(t, id);
    EXPECT_NE(c, nullptr) << "dialog " << t.id << " control " << id;
    static const DialogControl none{0, CONTROL_STATIC, "", -1000, -1000, 0, 0};
    return c ? *c : none;
}

TEST(ResourcesDialogs, EveryTemplateIsLegible) {
    for (int id = IDD_ABOUT; id <= IDD_INFORMATION; ++id) {
        const DialogTemplate& t = Template(id);
        SCOPED_TRACE(t.title ? t.title : "missing");
        EXPECT_STREQ(t.fontName, "MS Sans Serif");
        EXPECT_EQ(t.fontPointSize, 8);
        std::set<int> ids;
        int defaults = 0;
        for (int i = 0; i < t.controlCount; ++i) {
            const DialogControl& c = t.controls[i];
            if (c.id != IDC_STATIC) {
                EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
            }
            if (c.kind == CONTROL_DEFAULT_PUSHBUTTON) defaults++;
            EXPECT_GT(c.width, 0);
            EXPECT_GT(c.height, 0);
            EXPECT_TRUE(c.x >= 0 && c.y >= 0 && c.x + c.width <= t.width && c.y + c.height <= t.height)
                << "control " << c.id << " outside the dialog";
            bool framed = c.kind == CONTROL_GROUPBOX;
            for (int j = 0; j < t.controlCount; ++j) {
                const DialogControl& o = t.controls[j];
                if (i == j) continue;
                if (o.kind == CONTROL_GROUPBOX && !framed) {
                    EXPECT_TRUE(Inside(c, o) || !Overlap(c, o))
                        << "control " << c.id << " crosses the frame of " << o.text;
                } else if (i < j && !framed && o.kind != CONTROL_GROUPBOX) {
                    EXPECT_FALSE(Overlap(c, o)) << "controls " << c.id << " and " << o.id << " overlap";
                }
            }
        }
        EXPECT_EQ(defaults, 1) << "one default push button";
    }
    EXPECT_EQ(FindDialogTemplate(200), nullptr);
    EXPECT_EQ(FindDialogTemplate(208), nullptr);
}

TEST(ResourcesDialogs, AboutShowsIconNameAndVersion) {
    const DialogTemplate& t = Template(IDD_ABOUT);
    EXPECT_STREQ(t.title, "About TIK");
    bool icon = false, text = false;
    for (int i = 0; i < t.controlCount; ++i) {
        if (t.controls[i].kind == CONTROL_ICON) icon = true;
        if (t.controls[i].kind == CONTROL_STATIC &&
            std::string(t.controls[i].text).find("TIK Version " TIK_VERSION) != std::string::npos)
            text = true;
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(text);
    EXPECT_EQ(Control(t, IDOK).kind, CONTROL_DEFAULT_PUSHBUTTON);
}

TEST(ResourcesDialogs, DataAcquisitionControlsHaveTheirKindsGroupsAndLabels) {
    const DialogTemplate& t = Template(IDD_DAQ);
    EXPECT_STREQ(t.title, "Data Acquisition and Analysis");
    struct Row {
        int id;
        ControlKind kind;
        const char* group;
        const char* label;
    };
    const Row rows[] = {
        {1001, CONTROL_EDIT, "Data acquisition parameters", "Min height /arb.u"},
        {1004, CONTROL_EDIT, "Data acquisition parameters", "Boost gain"},
        {1005, CONTROL_EDIT, "Data acquisition parameters", "Acquisition time /s"},
        {1006, CONTROL_EDIT, "Data acquisition parameters", "Max pulses "},
        {1020, CONTROL_CHECKBOX, "Data acquisition parameters", "Use shape method"},
        {1002, CONTROL_EDIT, "Data acquisition parameters", "Max distortion /arb.u"},
        {1040, CONTROL_DROPDOWN_LIST, "Analysed data filter", "Channel selection"},
        {1007, CONTROL_EDIT, "Analysed data filter", "Beginning time /s"},
        {1008, CONTROL_EDIT, "Analysed data filter", "Duration time /s"},
        {1003, CONTROL_EDIT, "Analysed data filter", "Correction"},
        {1021, CONTROL_CHECKBOX, "Analysed data filter", "Use advanced filter"},
        {1009, CONTROL_EDIT, "Counting rate vs Time", "Time step /s"},
        {1022, CONTROL_CHECKBOX, "Counting rate vs Time", "Log scale"},
        {1010, CONTROL_EDIT, "Counting rate histogram", "Bin size  /(1/s)"},
        {1023, CONTROL_CHECKBOX, "Counting rate histogram", "Log scale"},
        {1011, CONTROL_EDIT, "Interval histogram", "Bin size /\xB5s"},
        {1012, CONTROL_EDIT, "Interval histogram", "S-fold"},
        {1024, CONTROL_CHECKBOX, "Interval histogram", "Log scale"},
        {1013, CONTROL_EDIT, "Pulse width histogram", "Bin size /\xB5s"},
        {1025, CONTROL_CHECKBOX, "Pulse width histogram", "Log scale"},
        {1014, CONTROL_EDIT, "Pulse height histogram", "Bin size /arb.u"},
        {1027, CONTROL_CHECKBOX, "Pulse height histogram", "Use calibration"},
        {1028, CONTROL_CHECKBOX, "Pulse height histogram", "Gaussian correlation"},
        {1029, CONTROL_CHECKBOX, "Pulse height histogram", "Log scale"},
        {1026, CONTROL_CHECKBOX, "Pulse height histogram", "Subtract background"},
        {1030, CONTROL_CHECKBOX, "Pulse height histogram", "Sum quantity"},
        {1041, CONTROL_MULTILINE_EDIT, "Comments", ""},
        {6, CONTROL_DEFAULT_PUSHBUTTON, "", "Apply"},
    };
    for (const Row& r : rows) {
        const DialogControl& c = Control(t, r.id);
        SCOPED_TRACE(r.id);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(GroupOf(t, c), r.group);
        if (r.kind == CONTROL_CHECKBOX || r.kind == CONTROL_DEFAULT_PUSHBUTTON) {
            EXPECT_STREQ(c.text, r.label);
        } else if (r.kind != CONTROL_MULTILINE_EDIT) {
            EXPECT_EQ(LabelOf(t, c), r.label);
        }
    }
    for (int id = 1001; id <= 1014; ++id) EXPECT_NE(FindDialogControl(t, id), nullptr) << id;
    for (int id = 1020; id <= 1030; ++id) EXPECT_NE(FindDialogControl(t, id), nullptr) << id;
}

TEST(ResourcesDialogs, AudioInterfaceHasBothDeviceGroups) {
    const DialogTemplate& t = Template(IDD_AUDIO_INTERFACE);
    EXPECT_STREQ(t.title, "Audio Interface");
    const int lists[] = {1601, 1605, 1602, 1603, 1604, 1606, 1610, 1607, 1608, 1609};
    const char* labels[] = {"", "Format", "Sampling Rate", "Bits per sample", "Input channel",
                            "", "Format", "Sampling Rate", "Bits per sample", "Output channel"};
    for (int i = 0; i < 10; ++i) {
        const DialogControl& c = Control(t, lists[i]);
        EXPECT_EQ(c.kind, CONTROL_DROPDOWN_LIST) << lists[i];
        EXPECT_EQ(GroupOf(t, c), i < 5 ? "Input device" : "Output device") << lists[i];
        if (*labels[i]) {
            EXPECT_EQ(LabelOf(t, c), labels[i]) << lists[i];
        }
    }
    EXPECT_STREQ(Control(t, IDOK).text, "OK");
    EXPECT_STREQ(Control(t, IDCANCEL).text, "Cancel");
}

TEST(ResourcesDialogs, PulseShapeHasSixtyPointsPerChannel) {
    const DialogTemplate& t = Template(IDD_PULSE_SHAPE);
    EXPECT_STREQ(t.title, "Pulse Shape");
    EXPECT_EQ(t.width, 482);
    EXPECT_EQ(t.height, 303);
    for (int c = 0; c < 2; ++c) {
        const char* group = c == 0 ? "Left channel" : "Right channel";
        for (int j = 0; j < 60; ++j) {
            const DialogControl& edit = Control(t, 1200 + 60 * c + j);
            const DialogControl& check = Control(t, 1400 + 60 * c + j);
            EXPECT_EQ(edit.kind, CONTROL_EDIT);
            EXPECT_EQ(check.kind, CONTROL_CHECKBOX);
            EXPECT_EQ(std::string(check.text), std::to_string(j + 1));
            EXPECT_EQ(GroupOf(t, edit), group);
            EXPECT_EQ(GroupOf(t, check), group);
        }
    }
    EXPECT_STREQ(Control(t, IDOK).text, "OK");
    EXPECT_STREQ(Control(t, IDCANCEL).text, "Reset");
    const char* buttons[] = {"Copy", "Paste", "Copy", "Paste"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_STREQ(Control(t, 1530 + k).text, buttons[k]);
        EXPECT_EQ(GroupOf(t, Control(t, 1530 + k)), k < 2 ? "Left channel" : "Right channel");
    }
}

TEST(ResourcesDialogs, CalibrationHasSixteenRowsOfThreeEditsPerChannel) {
    const DialogTemplate& t = Template(IDD_CALIBRATION);
    EXPECT_STREQ(t.title, "Calibration");
    for (int id = 1700; id <= 1795; ++id) {
        const DialogControl& c = Control(t, id);
        EXPECT_EQ(c.kind, CONTROL_EDIT) << id;
        EXPECT_EQ(GroupOf(t, c), id < 1748 ? "Left channel" : "Right channel") << id;
    }
    // The three edits of a row share its line and read left to right: mean, sd, quantity.
    for (int row = 0; row < 32; ++row) {
        const DialogControl& mean = Control(t, 1700 + 3 * row);
        const DialogControl& sd = Control(t, 1701 + 3 * row);
        const DialogControl& quantity = Control(t, 1702 + 3 * row);
        EXPECT_TRUE(mean.y == sd.y && sd.y == quantity.y && mean.x < sd.x && sd.x < quantity.x) << row;
    }
    for (int side = 0; side < 2; ++side) {
        int base = side == 0 ? 1796 : 1801;
        const char* group = side == 0 ? "Left channel" : "Right channel";
        EXPECT_EQ(Control(t, base).kind, CONTROL_EDIT);
        EXPECT_EQ(LabelOf(t, Control(t, base)), "Quantity /Units");
        EXPECT_EQ(Control(t, base + 1).kind, CONTROL_DROPDOWN_LIST);
        EXPECT_EQ(LabelOf(t, Control(t, base + 1)), "Calibration mode");
        EXPECT_STREQ(Control(t, base + 2).text, "Clear");
        EXPECT_STREQ(Control(t, base + 3).text, "Copy");
        EXPECT_STREQ(Control(t, base + 4).text, "Paste");
        for (int k = 0; k < 5; ++k) EXPECT_EQ(GroupOf(t, Control(t, base + k)), group);
    }
    EXPECT_STREQ(Control(t, 1806).text, "Apply");
    std::set<std::string> headings;
    for (int i = 0; i < t.controlCount; ++i)
        if (t.controls[i].kind == CONTROL_STATIC) headings.insert(t.controls[i].text);
    for (const char* h : {"Mean /arb.u", "SD /arb.u", "Quantity"}) EXPECT_EQ(headings.count(h), 1u) << h;
}

TEST(ResourcesDialogs, AdvancedFilterHasLimitsPerQuantityAndChannel) {
    const DialogTemplate& t = Template(IDD_ADVANCED_FILTER);
    EXPECT_STREQ(t.title, "Advanced Pulse Filter");
    const char* quantities[] = {"Height /arb.u", "Distortion /arb.u", "Width /us"};
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 3; ++k) {
            const DialogControl& check = Control(t, 1920 + 3 * c + k);
            const DialogControl& minimum = Control(t, 1900 + 6 * c + 2 * k);
            const DialogControl& maximum = Control(t, 1901 + 6 * c + 2 * k);
            EXPECT_EQ(check.kind, CONTROL_CHECKBOX);
            EXPECT_STREQ(check.text, quantities[k]);
            EXPECT_EQ(minimum.kind, CONTROL_EDIT);
            EXPECT_EQ(maximum.kind, CONTROL_EDIT);
            // Minimum and maximum sit on the check box's row, in that order.
            EXPECT_TRUE(minimum.y == maximum.y && check.x < minimum.x && minimum.x < maximum.x);
            EXPECT_LT(std::abs(check.y - minimum.y), check.height);
        }
    }
    EXPECT_EQ(Control(t, 6).kind, CONTROL_DEFAULT_PUSHBUTTON);
    EXPECT_STREQ(Control(t, 6).text, "Apply");
}

TEST(ResourcesDialogs, InformationHasReadOnlyTextAndOk) {
    const DialogTemplate& t = Template(IDD_INFORMATION);
    EXPECT_STREQ(t.title, "Information");
    EXPECT_EQ(Control(t, 1900).kind, CONTROL_READONLY_EDIT);
    EXPECT_EQ(Control(t, IDOK).kind, CONTROL_DEFAULT_PUSHBUTTON);
    EXPECT_EQ(t.controlCount, 2);
}

TEST(ResourcesIcon, TraceStaysOnTheGrid) {
    const ProgramIconDrawing& icon = ProgramIcon();
    ASSERT_GE(icon.pointCount, 2);
    for (int i = 0; i < icon.pointCount; ++i) {
        EXPECT_TRUE(icon.points[i].x >= 0 && icon.points[i].x < 32 && icon.points[i].y >= 0 && icon.points[i].y < 32);
        if (i > 0) {
            EXPECT_GT(icon.points[i].x, icon.points[i - 1].x);
        }
    }
    EXPECT_NE(icon.background, icon.trace);
}

}  // namespace
