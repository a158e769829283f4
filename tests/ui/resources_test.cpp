// Tests of the resources: every command in the menu once with its initial state, and dialog
// templates that can be laid out (unique ids, one default button, no overlaps, frames respected).
#include <gtest/gtest.h>

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




TEST(ResourcesDialogs, EveryTemplateIsLegible) {
    for (int id = IDD_FIRST; id <= IDD_LAST; ++id) {
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
    EXPECT_EQ(FindDialogTemplate(IDD_FIRST - 1), nullptr);
    EXPECT_EQ(FindDialogTemplate(IDD_LAST + 1), nullptr);
}

}  // namespace
