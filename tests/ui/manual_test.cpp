// The user manual (docs/manual.md, printed to the Help PDF) covers the program: every menu text and
// every key that the key handler reacts to is described there.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/click_output.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "files/spectrum_data.h"
#include "platform/headless/headless.h"
#include "resources/resources.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation.h"

namespace {

std::string ReadManual() {
    std::ifstream in(TIK_MANUAL_PATH, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A menu text as the manual writes it: without the "&" mnemonic marks and without the shortcut
// after the tab, converted from Windows-1252 to UTF-8.
std::string PlainMenuText(const char* text) {
    std::string plain;
    for (const char* p = text; *p && *p != '\t'; ++p)
        if (*p != '&') plain += *p;
    return AnsiToUtf8(plain.c_str(), plain.size());
}

void CollectMenuTexts(const MenuNode* nodes, int count, std::vector<std::string>* texts) {
    for (int i = 0; i < count; ++i) {
        if (!nodes[i].text) continue;
        texts->push_back(PlainMenuText(nodes[i].text));
        if (nodes[i].children) CollectMenuTexts(nodes[i].children, nodes[i].childCount, texts);
    }
}

// The keys of the key handler and how the manual's key tables name them.
struct DocumentedKey {
    int virtualKey;
    const char* name;
};

constexpr DocumentedKey DOCUMENTED_KEYS[] = {
    {'A', "A"},          {'C', "C"},           {'S', "S"},        {VK_SPACE, "Space"}, {'Q', "Q"},
    {'L', "L"},          {'T', "T"},           {VK_F1, "F1"},     {VK_F2, "F2"},       {VK_OEM_COMMA, ","},
    {VK_OEM_PERIOD, "."}, {VK_PRIOR, "Page Up"}, {VK_NEXT, "Page Down"}, {VK_UP, "Up"}, {VK_DOWN, "Down"},
    {VK_LEFT, "Left"},   {VK_RIGHT, "Right"},  {'B', "B"},        {'E', "E"},          {'F', "F"},
    {'D', "D"},          {'G', "G"},           {'H', "H"},        {VK_DELETE, "Delete"}, {'K', "K"},
    {'R', "R"},          {'U', "U"},
};

bool IsDocumentedKey(int virtualKey) {
    for (const DocumentedKey& key : DOCUMENTED_KEYS)
        if (key.virtualKey == virtualKey) return true;
    return false;
}

// Everything a key can change: run state, view state, settings, click parameters, the ROI marks,
// the Information window, commands sent and messages shown.
struct KeyEffects {
    uint32_t runState;
    std::vector<double> view;
    std::vector<unsigned char> settingsBytes;
    int32_t clickDensity, pitchOffset, roiBeginMark, roiEndMark;
    int informationWindow;
    size_t commands, messages;

    bool operator==(const KeyEffects& other) const {
        return runState == other.runState && view == other.view && settingsBytes == other.settingsBytes &&
               clickDensity == other.clickDensity && pitchOffset == other.pitchOffset &&
               roiBeginMark == other.roiBeginMark && roiEndMark == other.roiEndMark &&
               informationWindow == other.informationWindow && commands == other.commands &&
               messages == other.messages;
    }
};

KeyEffects CurrentEffects() {
    KeyEffects effects;
    effects.runState = runState;
    for (const ViewState& v : viewState) {
        for (double value : {v.zoom, v.verticalGain, static_cast<double>(v.scrollPosition),
                             static_cast<double>(v.cursorBin), v.positionFraction, v.pageFraction, v.lineStep})
            effects.view.push_back(value);
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&settings);
    effects.settingsBytes.assign(bytes, bytes + sizeof(SettingsRecord));
    effects.clickDensity = clickDensity;
    effects.pitchOffset = pitchOffset;
    effects.roiBeginMark = roiBeginMark;
    effects.roiEndMark = roiEndMark;
    effects.informationWindow = informationWindow;
    effects.commands = DispatchedCommands().size();
    effects.messages = Headless().messages.size();
    return effects;
}

using Manual = TikTest;

TEST_F(Manual, MentionsEveryMenuText) {
    std::string manual = ReadManual();
    ASSERT_FALSE(manual.empty()) << "cannot read " << TIK_MANUAL_PATH;
    int count = 0;
    const MenuNode* bar = MainMenu(&count);
    std::vector<std::string> texts;
    CollectMenuTexts(bar, count, &texts);
    ASSERT_GT(texts.size(), 40u);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Countinue Data Acquisition"), texts.end());
    for (const std::string& text : texts) EXPECT_NE(manual.find(text), std::string::npos) << "menu text: " << text;
}

TEST_F(Manual, KeyTablesNameEveryKey) {
    std::string manual = ReadManual();
    ASSERT_FALSE(manual.empty()) << "cannot read " << TIK_MANUAL_PATH;
    for (const DocumentedKey& key : DOCUMENTED_KEYS) {
        std::string row = std::string("| `") + key.name + "` |";
        EXPECT_NE(manual.find(row), std::string::npos) << "no key table row for " << key.name;
    }
}

// A key outside the manual's tables must be one the program ignores: pressing it, with or without
// Shift, in the pulses view, the pulse height window and the Audio Input window changes nothing. The
// state is one in which the documented keys do act (input ready, a left region around the cursor,
// the cursor away from bin 0), so that a new key with a condition would show its effect too.
TEST_F(Manual, KeysOutsideTheTablesDoNothing) {
    runState |= RS_INPUT_READY;
    settings.roi[0][0] = RoiRecord{8, 12, 0.8, 1.2, 0.0, 0.0, 0.0, 0.0};
    for (ViewState& v : viewState) v.cursorBin = 10;
    for (int window : {WND_PULSES, WND_HEIGHT, WND_AUDIO_INPUT}) {
        for (bool shift : {false, true}) {
            Headless().keysDown[VK_SHIFT] = shift;
            for (int key = 1; key < 255; ++key) {
                if (IsDocumentedKey(key) || key == VK_SHIFT || key == VK_CONTROL) continue;
                KeyEffects before = CurrentEffects();
                HostKeyDown(window, key);
                EXPECT_TRUE(CurrentEffects() == before) << "window " << window << " key 0x" << std::hex << key
                                                        << (shift ? " with Shift" : "");
            }
        }
    }
}

}  // namespace
