// The menu of the resources and the user manual: every menu command once and grayed at first, and a
// manual (docs/manual.md, the Help PDF) that names every menu text. (The dialog templates are laid out
// and checked by the Qt tests.)
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "files/spectrum_data.h"
#include "ui/commands.h"

namespace {
// The items of the menu: their commands, and their texts as the manual writes them (without the "&"
// marks and the shortcut after the tab, in UTF-8). Every item starts grayed except Help Topics.
void CollectMenu(const MenuNode* nodes, int count, std::multiset<int>& commands,
                 std::vector<std::string>& texts) {
    for (int i = 0; i < count; ++i) {
        if (!nodes[i].text) continue;
        std::string plain;
        for (const char* p = nodes[i].text; *p && *p != '\t'; ++p)
            if (*p != '&') plain += *p;
        texts.push_back(AnsiToUtf8(plain.c_str(), plain.size()));
        if (nodes[i].children) {
            CollectMenu(nodes[i].children, nodes[i].childCount, commands, texts);
            continue;
        }
        commands.insert(nodes[i].command);
        EXPECT_EQ(nodes[i].grayed, nodes[i].command != IDM_HELP_TOPICS) << nodes[i].text;
    }
}

TEST(Resources, MenuCommandsOnceAndTheManualNamesEveryItem) {
    int count = 0;
    const MenuNode* bar = MainMenu(&count);
    std::multiset<int> commands;
    std::vector<std::string> texts;
    CollectMenu(bar, count, commands, texts);
    for (int id = IDM_OPEN; id <= IDM_ABOUT; ++id) EXPECT_EQ(commands.count(id), 1u) << id;
    for (int id : {0, IDM_INFORMATION, IDM_WRITE_DATA_FILE}) {  // sent by keys or timers only
        EXPECT_EQ(commands.count(id), 0u) << id;
        EXPECT_EQ(FindMenuItem(id), nullptr) << id;
    }

    std::ifstream in(TIK_MANUAL_PATH, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string manual = text.str();
    ASSERT_GT(texts.size(), 40u);
    for (const std::string& text : texts) EXPECT_NE(manual.find(text), std::string::npos) << text;
}

}  // namespace
