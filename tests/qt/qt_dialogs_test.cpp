// Offscreen tests of the dialogs built from the templates: every control present and legible, events
// to the dialog procedure (Apply, Enter, Escape, close box, check boxes, lists) and control access.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "resources/resources.h"
#include "tests/qt/qt_fixture.h"
#include "ui/commands.h"

namespace {
using Events = std::vector<std::pair<DialogEvent, int>>;

Events events;
std::vector<bool> visibleAtEvent;  // whether the dialog was on screen when each event arrived
bool handleClose = true;
std::function<void(int dialog, DialogEvent event, int control)> onEvent;

bool RecordingProcedure(int dialog, DialogEvent event, int control) {
    events.emplace_back(event, control);
    visibleAtEvent.push_back(DialogWidget(dialog) && DialogWidget(dialog)->isVisible());
    if (onEvent) onEvent(dialog, event, control);
    return event != DLG_CLOSE || handleClose;
}

class QtDialogTest : public QtTest {
  protected:
    void SetUp() override {
        QtTest::SetUp();
        events.clear();
        visibleAtEvent.clear();
        handleClose = true;
        onEvent = nullptr;
    }

    template <typename T>
    static T* Control(int dialog, int id) {
        return qobject_cast<T*>(DialogControlWidget(dialog, id));
    }
};

// The widget class of each control kind, in the order of ControlKind.
const char* const KIND_CLASS[] = {"QLabel",    "QLineEdit",   "QPlainTextEdit", "QPlainTextEdit", "QCheckBox",
                                  "QComboBox", "QPushButton", "QPushButton",    "QGroupBox",      "QLabel"};

// Whether a control shows its whole text in the room it was given.
bool TextFits(QWidget* w) {
    QFontMetrics metrics(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                            Qt::TextWordWrap | Qt::AlignLeft, label->text());
        return label->text().isEmpty() ||
               (needed.width() <= label->width() && needed.height() <= label->height());
    }
    if (auto* check = qobject_cast<QCheckBox*>(w)) return check->sizeHint().width() <= check->width();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return metrics.horizontalAdvance(button->text()) + 8 <= button->width() &&
               metrics.height() < button->height();
    return true;
}

// Every dialog is built with every control of its template as the widget of its kind, inside the
// dialog, its text whole, no two controls on top of each other and no label under a control; it is
// initialised before it is shown. The Information text is read-only and selected, ready to copy.
TEST_F(QtDialogTest, EveryDialogIsBuiltWithEveryControlOfItsTemplateLegibly) {
    onEvent = [](int dialog, DialogEvent event, int) {
        if (event == DLG_INIT && dialog == IDD_INFORMATION)
            SetDialogItemText(dialog, IDC_INFORMATION_TEXT, "Bin \r\n5");
    };
    for (int id = IDD_ABOUT; id <= IDD_INFORMATION; ++id) {
        const DialogTemplate* t = FindDialogTemplate(id);
        ASSERT_TRUE(OpenDialog(id, NO_OWNER, RecordingProcedure)) << id;
        QDialog* dialog = DialogWidget(id);
        EXPECT_EQ(dialog->windowTitle(), AnsiToQString(t->title));
        for (int i = 0; i < t->controlCount; ++i) {
            const DialogControl& c = t->controls[i];
            if (c.id == IDC_STATIC) continue;
            ASSERT_NE(DialogControlWidget(id, c.id), nullptr) << "dialog " << id << " control " << c.id;
            EXPECT_STREQ(DialogControlWidget(id, c.id)->metaObject()->className(), KIND_CLASS[c.kind])
                << c.id;
        }
        const QList<QWidget*> children =
            dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (int a = 0; a < children.size(); ++a) {
            QWidget* w = children[a];
            EXPECT_TRUE(dialog->rect().contains(w->geometry())) << id << " " << w->metaObject()->className();
            EXPECT_TRUE(TextFits(w)) << "dialog " << id << ": text cut in "
                                     << QStringToAnsi(w->property("text").toString());
            if (qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w)) continue;
            for (int b = 0; b < children.size(); ++b) {
                QWidget* o = children[b];
                if (a == b || qobject_cast<QGroupBox*>(o)) continue;
                QRect other = qobject_cast<QLabel*>(o) ? o->geometry().adjusted(0, 4, 0, -4) : o->geometry();
                EXPECT_TRUE((a > b && !qobject_cast<QLabel*>(o)) || !w->geometry().intersects(other))
                    << "dialog " << id << ": " << QStringToAnsi(o->property("text").toString())
                    << " overlaps";
            }
        }
        if (id == IDD_INFORMATION) {
            auto* text = Control<QPlainTextEdit>(id, IDC_INFORMATION_TEXT);
            EXPECT_TRUE(text->isReadOnly() && text->textCursor().hasSelection());
        }
        EndDialog(id, 0);
        EXPECT_FALSE(IsDialogOpen(id));
    }
    EXPECT_EQ(visibleAtEvent.front(), false) << "initialised before it is shown";
    Flush();
    for (int id = IDD_ABOUT; id <= IDD_INFORMATION; ++id) EXPECT_EQ(DialogWidget(id), nullptr);
}

// Typed text reaches the procedure with Apply; Enter presses the default button, except in the
// comment, which keeps its line ends; texts are Windows-1252 and cut to the buffer; check boxes and
// lists report only what the user changes; Escape is Cancel; the close box asks the procedure, and
// one that leaves the request alone receives Cancel.
TEST_F(QtDialogTest, UserInputReachesTheProcedure) {
    std::string seen;
    onEvent = [&](int dialog, DialogEvent event, int control) {
        char buffer[32];
        if (event == DLG_COMMAND && control == IDC_DAQ_APPLY)
            seen = (GetDialogItemText(dialog, IDC_DAQ_MIN_HEIGHT, buffer, sizeof buffer), buffer);
    };
    ASSERT_TRUE(OpenDialog(IDD_DAQ, NO_OWNER, RecordingProcedure));
    auto* edit = Control<QLineEdit>(IDD_DAQ, IDC_DAQ_MIN_HEIGHT);
    SetDialogItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "5");
    edit->selectAll();
    QTest::keyClicks(edit, "200");
    QTest::mouseClick(Control<QPushButton>(IDD_DAQ, IDC_DAQ_APPLY), Qt::LeftButton);
    EXPECT_EQ(seen, "200");
    QTest::keyClick(Control<QLineEdit>(IDD_DAQ, IDC_DAQ_TIME_STEP), Qt::Key_Return);
    auto* comment = Control<QPlainTextEdit>(IDD_DAQ, IDC_DAQ_COMMENTS);
    comment->setFocus();
    QTest::keyClicks(comment, "first");
    QTest::keyClick(comment, Qt::Key_Return);
    QTest::keyClicks(comment, "second");
    char buffer[64];
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_COMMENTS, buffer, sizeof buffer), 13);
    EXPECT_STREQ(buffer, "first\r\nsecond");
    SetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, "22.7 \xB5s");  // Windows-1252 both ways
    EXPECT_EQ(Control<QLineEdit>(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE)->text(),
              QString::fromUtf8("22.7 \u00B5s"));
    EXPECT_EQ(GetDialogItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE, buffer, 6), 5) << "cut to the buffer";
    EXPECT_STREQ(buffer, "22.7 ");
    CheckDialogButton(IDD_DAQ, IDC_DAQ_USE_ADVANCED_FILTER, true);  // the program's own changes are silent
    for (const char* text : {"Left All", "Right All"})
        AddComboBoxItem(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, text);
    SetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 0);
    QTest::mouseClick(Control<QCheckBox>(IDD_DAQ, IDC_DAQ_USE_SHAPE), Qt::LeftButton);
    QTest::keyClick(Control<QComboBox>(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), Qt::Key_Down);
    EXPECT_EQ(GetComboBoxSelection(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION), 1);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(events, (Events{{DLG_INIT, 0},
                              {DLG_COMMAND, IDC_DAQ_APPLY},
                              {DLG_COMMAND, IDC_DAQ_APPLY},
                              {DLG_COMMAND, IDC_DAQ_USE_SHAPE},
                              {DLG_SELECTION_CHANGE, IDC_DAQ_CHANNEL_SELECTION},
                              {DLG_COMMAND, IDCANCEL}}));

    events.clear();
    DialogWidget(IDD_DAQ)->close();
    handleClose = false;
    DialogWidget(IDD_DAQ)->close();
    EXPECT_EQ(events, (Events{{DLG_CLOSE, 0}, {DLG_CLOSE, 0}, {DLG_COMMAND, IDCANCEL}}));
    EXPECT_TRUE(IsDialogOpen(IDD_DAQ)) << "only the procedure closes a dialog";
}

// A dialog with an owner blocks that window only; one without blocks nothing; a second open raises
// the first without initialising it again; the procedure may end its dialog at any time.
TEST_F(QtDialogTest, OwnedDialogsBlockTheirOwnerOnlyAndTheProcedureMayEndTheDialog) {
    ASSERT_TRUE(OpenDialog(IDD_AUDIO_INTERFACE, 2, RecordingProcedure));
    ASSERT_TRUE(OpenDialog(IDD_CALIBRATION, NO_OWNER, RecordingProcedure));
    for (int window = 0; window < 7; ++window)
        QTest::keyClick(PlotWindowWidget(window)->windowHandle(), Qt::Key_S);
    EXPECT_EQ(Host().Count(HostCall::KEY), 6) << "window 2 is blocked by its dialog";
    QDialog* free = DialogWidget(IDD_CALIBRATION);
    events.clear();
    ASSERT_TRUE(OpenDialog(IDD_CALIBRATION, NO_OWNER, RecordingProcedure));
    EXPECT_EQ(DialogWidget(IDD_CALIBRATION), free);
    EXPECT_TRUE(events.empty()) << "an open dialog is not initialised again";

    onEvent = [](int dialog, DialogEvent event, int) {
        if (event == DLG_INIT) EndDialog(dialog, 1);
    };
    ASSERT_TRUE(OpenDialog(IDD_ABOUT, 0, RecordingProcedure));
    EXPECT_FALSE(IsDialogOpen(IDD_ABOUT));
}

}  // namespace
