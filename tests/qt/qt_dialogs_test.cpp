// Offscreen tests of the dialogs built from the templates: every control present and legible, events
// to the dialog procedure (Apply, Enter, Escape, close box, check boxes, lists, clicks) and control access.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <functional>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "tests/qt/qt_fixture.h"
#include "ui/commands.h"

namespace {
using Events = std::vector<std::pair<DialogEvent, int>>;

struct DialogEventRecord {
    int dialog;
    DialogEvent event;
    int control;
    bool visible;  // whether the dialog was on screen when the event arrived
};

std::vector<DialogEventRecord> events;
bool handleClose = true;
std::function<void(int dialog, DialogEvent event, int control)> onEvent;

bool RecordingProcedure(int dialog, DialogEvent event, int control) {
    QDialog* widget = DialogWidget(dialog);
    events.push_back({dialog, event, control, widget && widget->isVisible()});
    if (onEvent) onEvent(dialog, event, control);
    return event != DLG_CLOSE || handleClose;
}

class QtDialogTest : public QtTest {
protected:
    void SetUp() override {
        QtTest::SetUp();
        events.clear();
        handleClose = true;
        onEvent = nullptr;
    }
    void TearDown() override {
        onEvent = nullptr;
        QtTest::TearDown();
    }

    // The events since the last clear as (event, control), all or of one kind.
    static Events EventsOf(int kind = -1) {
        Events out;
        for (const DialogEventRecord& e : events)
            if (kind < 0 || e.event == kind) out.emplace_back(e.event, e.control);
        return out;
    }

    template <typename T>
    static T* Control(int dialog, int id) {
        return qobject_cast<T*>(DialogControlWidget(dialog, id));
    }
};

// The widget class of each control kind, in the order of ControlKind.
const char* const KIND_CLASS[] = {"QLabel",      "QLineEdit",   "QPlainTextEdit", "QPlainTextEdit", "QCheckBox",
                                  "QComboBox",   "QPushButton", "QPushButton",    "QGroupBox",      "QLabel"};

// Whether a control shows its whole text in the room it was given.
bool TextFits(QWidget* w) {
    QFontMetrics metrics(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty()) return true;
        QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                            Qt::TextWordWrap | Qt::AlignLeft, label->text());
        return needed.width() <= label->width() && needed.height() <= label->height();
    }
    if (auto* check = qobject_cast<QCheckBox*>(w)) return check->sizeHint().width() <= check->width();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return metrics.horizontalAdvance(button->text()) + 8 <= button->width() && metrics.height() < button->height();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return metrics.horizontalAdvance(group->title()) + 16 <= group->width();
    return true;
}

TEST_F(QtDialogTest, EveryDialogIsBuiltWithEveryControlOfItsTemplateLegibly) {
    for (int id = IDD_ABOUT; id <= IDD_INFORMATION; ++id) {
        const DialogTemplate* t = FindDialogTemplate(id);
        ASSERT_TRUE(OpenDialog(id, NO_OWNER, RecordingProcedure)) << id;
        QDialog* dialog = DialogWidget(id);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), AnsiToQString(t->title));
        int named = 0;
        for (int i = 0; i < t->controlCount; ++i) {
            const DialogControl& c = t->controls[i];
            if (c.id == IDC_STATIC) continue;
            QWidget* w = DialogControlWidget(id, c.id);
            ASSERT_NE(w, nullptr) << "dialog " << id << " control " << c.id;
            EXPECT_STREQ(w->metaObject()->className(), KIND_CLASS[c.kind]) << c.id;
            named++;
        }
        EXPECT_GT(named, 0);
        // Every widget inside the dialog, its text whole, and no two controls on top of each other.
        const QList<QWidget*> children = dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (int a = 0; a < children.size(); ++a) {
            QWidget* w = children[a];
            EXPECT_TRUE(dialog->rect().contains(w->geometry())) << id << " " << w->metaObject()->className();
            EXPECT_TRUE(TextFits(w)) << "dialog " << id << ": text cut in "
                                     << QStringToAnsi(w->property("text").toString()) << " "
                                     << w->metaObject()->className();
            if (qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w)) continue;
            for (int b = 0; b < children.size(); ++b) {
                QWidget* o = children[b];
                if (a == b || qobject_cast<QGroupBox*>(o)) continue;
                if (qobject_cast<QLabel*>(o)) {
                    EXPECT_FALSE(w->geometry().intersects(o->geometry().adjusted(0, 4, 0, -4)))
                        << "dialog " << id << ": label " << QStringToAnsi(static_cast<QLabel*>(o)->text())
                        << " under a control";
                } else if (a < b) {
                    EXPECT_FALSE(w->geometry().intersects(o->geometry())) << "dialog " << id << ": overlap";
                }
            }
        }
        EndDialog(id, 0);
        EXPECT_FALSE(IsDialogOpen(id));
    }
    Flush();
    for (int id = IDD_ABOUT; id <= IDD_INFORMATION; ++id) EXPECT_EQ(DialogWidget(id), nullptr);
}

// Typed text reaches the procedure with Apply; Enter presses the default button, except in the comment.
TEST_F(QtDialogTest, TypingApplyAndEnterReachTheProcedure) {
    std::string seen;
    onEvent = [&](int dialog, DialogEvent event, int control) {
        char buffer[32];
        if (event == DLG_COMMAND && control == 6) seen = (GetDialogItemText(dialog, IDC_DAQ_MIN_HEIGHT, buffer, sizeof buffer), buffer);
    };
    ASSERT_TRUE(OpenDialog(IDD_DAQ, NO_OWNER, RecordingProcedure));
    auto* edit = Control<QLineEdit>(IDD_DAQ, IDC_DAQ_MIN_HEIGHT);
    SetDialogItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "5");
    edit->selectAll();
    QTest::keyClicks(edit, "200");
    QTest::mouseClick(Control<QPushButton>(IDD_DAQ, 6), Qt::LeftButton);
    EXPECT_EQ(seen, "200");
    QTest::keyClick(Control<QLineEdit>(IDD_DAQ, IDC_DAQ_TIME_STEP), Qt::Key_Return);
    EXPECT_EQ(EventsOf(DLG_COMMAND), (Events{{DLG_COMMAND, 6}, {DLG_COMMAND, 6}}));

    events.clear();
    auto* comment = Control<QPlainTextEdit>(IDD_DAQ, IDC_DAQ_COMMENTS);
    comment->setFocus();
    QTest::keyClicks(comment, "first");
    QTest::keyClick(comment, Qt::Key_Return);
    QTest::keyClicks(comment, "second");
    EXPECT_TRUE(EventsOf(DLG_COMMAND).empty());
    char buffer[64];
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_COMMENTS, buffer, sizeof buffer), 13);
    EXPECT_STREQ(buffer, "first\r\nsecond");
}

TEST_F(QtDialogTest, EscapeIsCommandTwoAndTheCloseBoxIsACloseRequest) {
    ASSERT_TRUE(OpenDialog(IDD_PULSE_SHAPE, 0, RecordingProcedure));
    QTest::keyClick(Control<QLineEdit>(IDD_PULSE_SHAPE, ShapePointId(0, 30)), Qt::Key_Escape);
    EXPECT_EQ(EventsOf(DLG_COMMAND), (Events{{DLG_COMMAND, IDCANCEL}}));
    events.clear();
    DialogWidget(IDD_PULSE_SHAPE)->close();
    EXPECT_EQ(EventsOf(), (Events{{DLG_CLOSE, 0}}));
    EXPECT_TRUE(IsDialogOpen(IDD_PULSE_SHAPE)) << "only the procedure closes a dialog";

    // A procedure that leaves close requests alone receives Cancel, as dialogs do by default.
    events.clear();
    handleClose = false;
    DialogWidget(IDD_PULSE_SHAPE)->close();
    EXPECT_EQ(EventsOf(), (Events{{DLG_CLOSE, 0}, {DLG_COMMAND, IDCANCEL}}));
}

TEST_F(QtDialogTest, CheckBoxesAndListsReportOnlyWhatTheUserChanges) {
    ASSERT_TRUE(OpenDialog(IDD_DAQ, NO_OWNER, RecordingProcedure));
    CheckDialogButton(IDD_DAQ, IDC_DAQ_USE_ADVANCED_FILTER, true);
    EXPECT_TRUE(IsDialogButtonChecked(IDD_DAQ, IDC_DAQ_USE_ADVANCED_FILTER));
    QTest::mouseClick(Control<QCheckBox>(IDD_DAQ, IDC_DAQ_USE_SHAPE), Qt::LeftButton);
    EXPECT_EQ(EventsOf(), (Events{{DLG_INIT, 0}, {DLG_COMMAND, IDC_DAQ_USE_SHAPE}}));
    EXPECT_TRUE(IsDialogButtonChecked(IDD_DAQ, IDC_DAQ_USE_SHAPE));

    events.clear();
    ClearComboBox(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION);
    for (const char* text : {"Left All", "Left Coincidence", "Right All"}) AddComboBoxItem(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, text);
    EXPECT_EQ(GetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), -1) << "adding items selects nothing";
    SetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 0);
    EXPECT_TRUE(events.empty());
    QTest::keyClick(Control<QComboBox>(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), Qt::Key_Down);
    EXPECT_EQ(EventsOf(), (Events{{DLG_SELECTION_CHANGE, IDC_DAQ_CHANNEL_SELECTION}}));
    EXPECT_EQ(GetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), 1);
    SetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 9);
    EXPECT_EQ(GetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), -1);
    char buffer[32];
    SetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 2);
    GetDialogItemText(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Right All");
}

TEST_F(QtDialogTest, OwnedDialogsBlockTheirOwnerOnlyAndASecondOpenRaisesTheFirst) {
    ASSERT_TRUE(OpenDialog(IDD_AUDIO_INTERFACE, 2, RecordingProcedure));
    QDialog* owned = DialogWidget(IDD_AUDIO_INTERFACE);
    EXPECT_EQ(std::pair(owned->parentWidget(), owned->windowModality()), std::pair(PlotWindowWidget(2), Qt::WindowModal));

    // Input through the window system: the owner is blocked, the other plot windows are not.
    QTest::keyClick(PlotWindowWidget(2)->windowHandle(), Qt::Key_A);
    QTest::keyClick(PlotWindowWidget(1)->windowHandle(), Qt::Key_A);
    EXPECT_EQ(Host().Count(HostCall::KEY), 1);
    EXPECT_EQ(LastCall(HostCall::KEY, 1), std::vector<int>{1});

    ASSERT_TRUE(OpenDialog(IDD_CALIBRATION, NO_OWNER, RecordingProcedure));
    QDialog* free = DialogWidget(IDD_CALIBRATION);
    ResetHost();
    for (int window = 0; window < 7; ++window)
        if (window != 2) QTest::keyClick(PlotWindowWidget(window)->windowHandle(), Qt::Key_S);
    EXPECT_EQ(Host().Count(HostCall::KEY), 6) << "an ownerless dialog blocks nothing";
    EXPECT_TRUE(free->parentWidget() == nullptr && free->windowModality() == Qt::NonModal);
    events.clear();
    ASSERT_TRUE(OpenDialog(IDD_CALIBRATION, NO_OWNER, RecordingProcedure));
    EXPECT_EQ(DialogWidget(IDD_CALIBRATION), free);
    EXPECT_TRUE(events.empty()) << "an open dialog is not initialised again";
    BringDialogToTop(IDD_CALIBRATION);
    EXPECT_TRUE(free->isVisible());
}

TEST_F(QtDialogTest, TheProcedureMayEndTheDialogAtAnyTime) {
    onEvent = [](int dialog, DialogEvent event, int) {
        if (event == DLG_INIT) EndDialog(dialog, 1);
    };
    ASSERT_TRUE(OpenDialog(IDD_ABOUT, 0, RecordingProcedure));
    EXPECT_FALSE(IsDialogOpen(IDD_ABOUT));
    Flush();
    EXPECT_EQ(DialogWidget(IDD_ABOUT), nullptr);

    onEvent = [](int dialog, DialogEvent event, int control) {
        if (event == DLG_COMMAND && control == IDOK) EndDialog(dialog, IDOK);
    };
    ASSERT_TRUE(OpenDialog(IDD_ABOUT, 0, RecordingProcedure));
    QTest::mouseClick(Control<QPushButton>(IDD_ABOUT, IDOK), Qt::LeftButton);
    EXPECT_FALSE(IsDialogOpen(IDD_ABOUT));
    SetDialogItemText(IDD_ABOUT, IDOK, "x");  // a closed dialog ignores writes
    char buffer[8] = "junk";
    EXPECT_EQ(GetDialogItemText(IDD_ABOUT, IDOK, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    events.clear();
    SendDialogEvent(IDD_ABOUT, DLG_INIT, 0);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(OpenDialog(300, NO_OWNER, RecordingProcedure)) << "no such template";

    // Clicks on the dialog itself and requests from the program reach the procedure.
    ASSERT_TRUE(OpenDialog(IDD_ABOUT, 0, RecordingProcedure));
    QTest::mouseClick(DialogWidget(IDD_ABOUT), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_FALSE(EventsOf(DLG_CLICK).empty());
    SendDialogEvent(IDD_ABOUT, DLG_COMMAND, DIALOG_REAPPLY);
    EXPECT_EQ(EventsOf().back(), std::pair(DLG_COMMAND, int{DIALOG_REAPPLY}));
}

// Initialisation runs before the dialog is shown; texts convert from and to Windows-1252, line ends
// included, and respect the buffer size.
TEST_F(QtDialogTest, InitialisationFirstAndTextsConvertAndRespectTheBufferSize) {
    onEvent = [](int dialog, DialogEvent event, int) {
        if (event == DLG_INIT) SetDialogItemText(dialog, IDC_INFORMATION_TEXT, "Bin \t Counts \r\n5\t 7");
    };
    ASSERT_TRUE(OpenDialog(IDD_INFORMATION, 1, RecordingProcedure));
    EXPECT_EQ(EventsOf(), (Events{{DLG_INIT, 0}}));
    EXPECT_FALSE(events[0].visible);
    EXPECT_TRUE(DialogWidget(IDD_INFORMATION)->isVisible());
    auto* text = Control<QPlainTextEdit>(IDD_INFORMATION, IDC_INFORMATION_TEXT);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Bin \t Counts \n5\t 7"));
    EXPECT_TRUE(text->textCursor().hasSelection()) << "the text is selected, ready to copy";

    ASSERT_TRUE(OpenDialog(IDD_DAQ, NO_OWNER, RecordingProcedure));
    SetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, "22.7 \xB5s");
    EXPECT_EQ(Control<QLineEdit>(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE)->text(), QString::fromUtf8("22.7 \u00B5s"));
    char buffer[16];
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "22.7 \xB5s");
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, buffer, 3), 2);
    EXPECT_STREQ(buffer, "22");
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, nullptr, 3), 0);
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, 4242, buffer, sizeof buffer), 0) << "no such control";

    SetDialogItemText(IDD_DAQ, IDC_DAQ_COMMENTS, "line 1\r\nline 2");
    EXPECT_EQ(Control<QPlainTextEdit>(IDD_DAQ, IDC_DAQ_COMMENTS)->toPlainText(), QStringLiteral("line 1\nline 2"));
    bool found = false;
    for (QLabel* label : DialogWidget(IDD_DAQ)->findChildren<QLabel*>())
        found |= label->text() == QString::fromUtf8("Bin size /\u00B5s");
    EXPECT_TRUE(found) << "labels show the micro sign";
}

}  // namespace
