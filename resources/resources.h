// The program's resources as data: the menu of window 0 (109), the dialog templates 201-207 with every
// control's id, kind, label and place in dialog units, and the drawing of the program icon (101).
#pragma once

#include "core/ids.h"

// ---- Menu ----------------------------------------------------------------------------------------
// A node of the menu tree. Texts are Windows-1252 with "&" marking the mnemonic and "\t" starting the
// shortcut text shown at the right edge.
struct MenuNode {
    const char* text;          // nullptr for a separator
    int command;               // command id of an item; 0 for a popup or a separator
    const MenuNode* children;  // entries of a popup; nullptr for an item or a separator
    int childCount;
    bool grayed;               // state of an item when the menu is loaded
};

// The popups of the menu bar, in order.
const MenuNode* MainMenu(int* count);
// The item with this command id anywhere in the tree, or nullptr.
const MenuNode* FindMenuItem(int command);

// ---- Dialog templates ----------------------------------------------------------------------------
enum ControlKind {
    CONTROL_STATIC,             // label text
    CONTROL_EDIT,               // single-line edit
    CONTROL_MULTILINE_EDIT,     // multi-line edit, Enter starts a new line
    CONTROL_READONLY_EDIT,      // read-only multi-line edit whose text can be selected and copied
    CONTROL_CHECKBOX,           // automatic check box with its label
    CONTROL_DROPDOWN_LIST,      // drop-down list without an edit field
    CONTROL_PUSHBUTTON,
    CONTROL_DEFAULT_PUSHBUTTON, // pressed by Enter
    CONTROL_GROUPBOX,           // frame with a caption around related controls
    CONTROL_ICON                // the program icon
};

// One control. Geometry is in dialog units (a quarter of the average character width horizontally,
// an eighth of the character height vertically); a drop-down list's height is that of the closed box.
struct DialogControl {
    int id;
    ControlKind kind;
    const char* text;  // Windows-1252; label, caption or button text; nullptr when the control has none
    int x, y, width, height;
};

struct DialogTemplate {
    int id;
    const char* title;
    int width, height;  // client area in dialog units
    const char* fontName;
    int fontPointSize;
    const DialogControl* controls;  // in tab order; group boxes precede the controls they frame
    int controlCount;
};

// The template of dialog IDD_FIRST to IDD_LAST, or nullptr for any other id.
const DialogTemplate* FindDialogTemplate(int id);
// The control with this id in the template, or nullptr (also for IDC_STATIC).
const DialogControl* FindDialogControl(const DialogTemplate& dialog, int id);

// ---- Program icon --------------------------------------------------------------------------------
// The icon on a 32 x 32 grid: a rounded square of the background colour with a baseline and one
// detector pulse drawn as a polyline. Colours are 0xRRGGBB.
struct IconPoint {
    int x, y;
};

struct ProgramIconDrawing {
    unsigned background;
    unsigned baseline;
    unsigned trace;
    int baselineY;
    const IconPoint* points;
    int pointCount;
};

const ProgramIconDrawing& ProgramIcon();
