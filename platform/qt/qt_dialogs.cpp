// Dialogs on Qt, built from the templates in resources/: real widgets placed in dialog units scaled
// from the dialog font, events to the dialog procedure, and the control access of the seam.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QAbstractItemView>
#include <QGuiApplication>
#include <QIcon>
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/qt/qt_platform.h"
#include "platform/ui.h"
#include "resources/resources.h"

namespace {

// Dialog units to pixels from the dialog font: a quarter of the average character width across,
// an eighth of the character height down, rounded as Windows rounds them.
struct DialogUnits {
    int baseX = 6, baseY = 13;

    explicit DialogUnits(const QFont& font) {
        QFontMetrics metrics(font);
        int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX = std::max(1, (width / 26 + 1) / 2);
        baseY = std::max(1, metrics.height());
    }
    int X(int units) const { return (units * baseX + 2) / 4; }
    int Y(int units) const { return (units * baseY + 4) / 8; }
};

// A check box that toggles wherever its rectangle is clicked, not only on the box and its text.
class DialogCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

class TemplateDialog : public QDialog {
public:
    TemplateDialog(const DialogTemplate& dialog, QWidget* owner, DialogProcedure procedure)
        : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          id_(dialog.id),
          procedure_(procedure) {
        setWindowTitle(AnsiToQString(dialog.title));
        setWindowIcon(ProgramIconImage());
        DialogUnits units(font());
        for (int i = 0; i < dialog.controlCount; ++i) Build(dialog.controls[i], units);
        setFixedSize(units.X(dialog.width), units.Y(dialog.height));
    }

    QWidget* Control(int id) const {
        auto it = controls_.find(id);
        return it == controls_.end() ? nullptr : it->second;
    }

    bool Send(DialogEvent event, int control) { return procedure_ && procedure_(id_, event, control); }

    // Focus on the first control that takes it, with its text selected as a dialog does.
    void FocusFirstControl() {
        for (QWidget* w : tabOrder_) {
            if (!w->isEnabled() || w->focusPolicy() == Qt::NoFocus) continue;
            w->setFocus(Qt::TabFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
            if (auto* text = qobject_cast<QPlainTextEdit*>(w)) text->selectAll();
            return;
        }
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        // Escape is the Cancel command (id 2), whether or not the dialog has such a button.
        if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
            Send(DLG_COMMAND, IDCANCEL);
            return;
        }
        QDialog::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent* event) override {
        // The procedure closes the dialog itself; one that ignores close requests gets Cancel instead.
        event->ignore();
        QPointer<TemplateDialog> self(this);
        if (!Send(DLG_CLOSE, 0) && self && DialogWidget(id_) == this) Send(DLG_COMMAND, IDCANCEL);
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) Send(DLG_CLICK, 0);
        QDialog::mousePressEvent(event);
    }

    void reject() override {}

private:
    void Build(const DialogControl& c, const DialogUnits& u) {
        QRect rect(u.X(c.x), u.Y(c.y), u.X(c.width), u.Y(c.height));
        QString text = AnsiToQString(c.text);
        QWidget* widget = nullptr;
        switch (c.kind) {
        case CONTROL_STATIC: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(c.height > 12);
            label->setAlignment(Qt::AlignLeft | (c.height > 12 ? Qt::AlignTop : Qt::AlignVCenter));
            // A little room above and below so descenders of a tall font are never cut.
            if (c.height <= 12) rect.adjust(0, -u.Y(2), 0, u.Y(2));
            widget = label;
            break;
        }
        case CONTROL_EDIT:
            widget = new QLineEdit(this);
            break;
        case CONTROL_MULTILINE_EDIT:
        case CONTROL_READONLY_EDIT: {
            auto* edit = new QPlainTextEdit(this);
            edit->setTabChangesFocus(true);
            if (c.kind == CONTROL_READONLY_EDIT) {
                edit->setReadOnly(true);
                edit->setLineWrapMode(QPlainTextEdit::NoWrap);
                edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
                edit->setTabStopDistance(u.X(32));
            }
            widget = edit;
            break;
        }
        case CONTROL_CHECKBOX: {
            auto* check = new DialogCheckBox(text, this);
            int id = c.id;
            connect(check, &QCheckBox::clicked, this, [this, id] { Send(DLG_COMMAND, id); });
            widget = check;
            break;
        }
        case CONTROL_DROPDOWN_LIST: {
            auto* list = new QComboBox(this);
            list->view()->setTextElideMode(Qt::ElideNone);
            int id = c.id;
            connect(list, &QComboBox::currentIndexChanged, this, [this, id] { Send(DLG_SELECTION_CHANGE, id); });
            widget = list;
            break;
        }
        case CONTROL_PUSHBUTTON:
        case CONTROL_DEFAULT_PUSHBUTTON: {
            auto* button = new QPushButton(text, this);
            button->setDefault(c.kind == CONTROL_DEFAULT_PUSHBUTTON);
            int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] { Send(DLG_COMMAND, id); });
            widget = button;
            break;
        }
        case CONTROL_GROUPBOX: {
            auto* group = new QGroupBox(text, this);
            group->setFocusPolicy(Qt::NoFocus);
            widget = group;
            break;
        }
        case CONTROL_ICON: {
            auto* icon = new QLabel(this);
            icon->setPixmap(ProgramIconImage().pixmap(32, 32));
            rect.setSize(QSize(32, 32));
            widget = icon;
            break;
        }
        }
        widget->setGeometry(rect);
        if (c.kind == CONTROL_GROUPBOX) widget->lower();
        tabOrder_.push_back(widget);
        if (c.id != IDC_STATIC) controls_[c.id] = widget;
    }

    int id_;
    DialogProcedure procedure_;
    std::map<int, QWidget*> controls_;
    std::vector<QWidget*> tabOrder_;
};

std::map<int, QPointer<TemplateDialog>> openDialogs;

TemplateDialog* Find(int dialog) {
    auto it = openDialogs.find(dialog);
    return it == openDialogs.end() ? nullptr : it->second.data();
}

template <typename T>
T* ControlAs(int dialog, int control) {
    TemplateDialog* d = Find(dialog);
    return d ? qobject_cast<T*>(d->Control(control)) : nullptr;
}

QString ControlText(QWidget* w) {
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* text = qobject_cast<QPlainTextEdit*>(w)) return text->toPlainText().replace('\n', QStringLiteral("\r\n"));
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
    return QString();
}

// An ownerless dialog opens over window 0 (or in the middle of the screen), wholly on the screen.
void PlaceOverMainWindow(QDialog* d) {
    QWidget* main = PlotWindowWidget(0);
    QScreen* screen = main && main->isVisible() ? main->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    QPoint center = main && main->isVisible() ? main->frameGeometry().center() : area.center();
    QPoint topLeft = center - QPoint(d->width() / 2, d->height() / 2);
    topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - d->width())));
    topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() - d->height())));
    d->move(topLeft);
}

}  // namespace

QDialog* DialogWidget(int dialog) { return Find(dialog); }

QWidget* DialogControlWidget(int dialog, int control) {
    TemplateDialog* d = Find(dialog);
    return d ? d->Control(control) : nullptr;
}

bool OpenDialog(int dialog, int owner, DialogProcedure procedure) {
    if (Find(dialog)) {
        BringDialogToTop(dialog);
        return true;
    }
    const DialogTemplate* t = FindDialogTemplate(dialog);
    if (!t) return false;
    QWidget* ownerWindow = owner == NO_OWNER ? nullptr : PlotWindowWidget(owner);
    auto* d = new TemplateDialog(*t, ownerWindow, procedure);
    d->setAttribute(Qt::WA_DeleteOnClose, false);
    // An owned dialog blocks its owner only; one without owner blocks nothing.
    d->setWindowModality(ownerWindow ? Qt::WindowModal : Qt::NonModal);
    openDialogs[dialog] = d;
    QPointer<TemplateDialog> guard(d);
    d->Send(DLG_INIT, 0);
    if (!guard || Find(dialog) != d) return true;  // the procedure ended it during initialisation
    if (!ownerWindow) PlaceOverMainWindow(d);
    d->show();
    d->raise();
    d->activateWindow();
    d->FocusFirstControl();
    return true;
}

bool IsDialogOpen(int dialog) { return Find(dialog) != nullptr; }

void EndDialog(int dialog, int) {
    TemplateDialog* d = Find(dialog);
    openDialogs.erase(dialog);
    if (!d) return;
    d->hide();
    d->deleteLater();
}

void BringDialogToTop(int dialog) {
    if (TemplateDialog* d = Find(dialog)) {
        d->show();
        d->raise();
        d->activateWindow();
    }
}

void SendDialogEvent(int dialog, DialogEvent event, int control) {
    if (TemplateDialog* d = Find(dialog)) d->Send(event, control);
}

int GetDialogItemText(int dialog, int control, char* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    TemplateDialog* d = Find(dialog);
    std::string text = d && d->Control(control) ? QStringToAnsi(ControlText(d->Control(control))) : std::string();
    int n = static_cast<int>(std::min<size_t>(text.size(), static_cast<size_t>(capacity - 1)));
    std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void SetDialogItemText(int dialog, int control, const char* text) {
    TemplateDialog* d = Find(dialog);
    QWidget* w = d ? d->Control(control) : nullptr;
    if (!w) return;
    QString value = AnsiToQString(text ? text : "");
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(value);
        edit->setCursorPosition(0);
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        multi->setPlainText(value.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(value);
    }
}

bool IsDialogButtonChecked(int dialog, int control) {
    auto* check = ControlAs<QCheckBox>(dialog, control);
    return check && check->isChecked();
}

void CheckDialogButton(int dialog, int control, bool checked) {
    if (auto* check = ControlAs<QCheckBox>(dialog, control)) check->setChecked(checked);
}

void ClearComboBox(int dialog, int control) {
    if (auto* list = ControlAs<QComboBox>(dialog, control)) {
        QSignalBlocker block(list);
        list->clear();
    }
}

void AddComboBoxItem(int dialog, int control, const char* text) {
    auto* list = ControlAs<QComboBox>(dialog, control);
    if (!list) return;
    QSignalBlocker block(list);
    // Adding an item never changes the selection (Qt would select the first item of an empty list).
    int selection = list->currentIndex();
    list->addItem(AnsiToQString(text ? text : ""));
    list->setCurrentIndex(selection);
    // The open list is wide enough for its longest entry.
    int widest = list->view()->sizeHintForColumn(0) + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list->view()->setMinimumWidth(std::max(list->width(), widest));
}

void SetComboBoxSelection(int dialog, int control, int index) {
    auto* list = ControlAs<QComboBox>(dialog, control);
    if (!list) return;
    QSignalBlocker block(list);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

int GetComboBoxSelection(int dialog, int control) {
    auto* list = ControlAs<QComboBox>(dialog, control);
    return list ? list->currentIndex() : -1;
}
