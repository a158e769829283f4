// The seven plot windows on Qt: client area with a back buffer, horizontal scroll bar in the 0-10000
// model, the menu of window 0, placement, and keys, mouse, drops and close requests to the host.
#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/qt/qt_platform.h"
#include "platform/ui.h"
#include "resources/resources.h"
#include "ui/host_events.h"

namespace {

constexpr int WINDOW_COUNT = 7;
constexpr int SCROLL_RANGE = 10000;

// Modifiers of the input event being handled, so IsKeyDown answers for the moment of the event.
bool eventModifiersValid = false;
Qt::KeyboardModifiers eventModifiers;

class ModifierScope {
public:
    explicit ModifierScope(Qt::KeyboardModifiers modifiers)
        : previousValid_(eventModifiersValid), previous_(eventModifiers) {
        eventModifiersValid = true;
        eventModifiers = modifiers;
    }
    ~ModifierScope() {
        eventModifiersValid = previousValid_;
        eventModifiers = previous_;
    }

private:
    bool previousValid_;
    Qt::KeyboardModifiers previous_;
};

// Mouse coordinates travel as signed 16-bit words.
int ClampCoordinate(double value) {
    if (!(value >= -32768.0)) return -32768;
    if (value > 32767.0) return 32767;
    return static_cast<int>(std::floor(value));
}

// The state of every menu item, kept apart from the menu itself: the program sets states before
// window 0 (which carries the menu) exists, and the menu is built from them.
struct MenuItemState {
    bool enabled;
    bool checked;
};

std::map<int, MenuItemState>& MenuStates() {
    static std::map<int, MenuItemState> states;
    return states;
}

MenuItemState& MenuState(int command) {
    auto it = MenuStates().find(command);
    if (it == MenuStates().end()) {
        const MenuNode* node = FindMenuItem(command);
        it = MenuStates().emplace(command, MenuItemState{node && !node->grayed, false}).first;
    }
    return it->second;
}

// A check mark shows only while checked, so unchecked items look like every other item.
void ApplyMenuState(QAction* action, const MenuItemState& state) {
    action->setEnabled(state.enabled);
    action->setCheckable(state.checked);
    action->setChecked(state.checked);
}

// Back-buffer pixels for a length in window coordinates on a screen with this pixel ratio.
int DevicePixels(int length, qreal ratio) {
    double pixels = std::ceil(length * ratio);
    if (!(pixels >= 1.0)) return 1;
    return pixels > 65536.0 ? 65536 : static_cast<int>(pixels);
}

unsigned MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned keys = 0;
    if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
    if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
    return keys;
}

// The frame (title bar and borders) the window manager last put around a plot window; none until a
// window has been shown under one.
QMargins knownFrameMargins;

// The size inside a frame of these margins that makes the whole window as large as frame.
QSize InnerSize(const QRect& frame, const QMargins& margins) {
    return QSize(std::max(frame.width() - margins.left() - margins.right(), 1),
                 std::max(frame.height() - margins.top() - margins.bottom(), 1));
}

// The client area: painted from the back buffer, which HostPaint draws into.
class PlotArea : public QWidget {
public:
    PlotArea(int index, QWidget* parent) : QWidget(parent), index_(index) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (width() <= 0 || height() <= 0) return;
        qreal ratio = devicePixelRatioF();
        QSize pixels(DevicePixels(width(), ratio), DevicePixels(height(), ratio));
        if (backBuffer_.size() != pixels) {
            backBuffer_ = QImage(pixels, QImage::Format_RGB32);
            backBuffer_.setDevicePixelRatio(ratio);
            backBuffer_.fill(Qt::white);
        }
        // A message box opened while painting runs a nested event loop; never paint into the buffer twice.
        if (!painting_) {
            painting_ = true;
            PaintPlotWindowInto(index_, backBuffer_, size());
            painting_ = false;
        }
        QPainter painter(this);
        painter.drawImage(0, 0, backBuffer_);
    }

    void resizeEvent(QResizeEvent*) override {
        backBuffer_ = QImage();
        HostSize(index_, width(), height());
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) SendMouse(WM_LBUTTONDOWN, event, event->buttons());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) SendMouse(WM_LBUTTONUP, event, event->buttons());
    }
    void mouseMoveEvent(QMouseEvent* event) override { SendMouse(WM_MOUSEMOVE, event, event->buttons()); }

    void wheelEvent(QWheelEvent* event) override {
        int delta = std::clamp(event->angleDelta().y(), -32768, 32767);
        if (delta == 0) return;
        ModifierScope scope(event->modifiers());
        HostMouse(index_, WM_MOUSEWHEEL, MouseKeys(event->buttons(), event->modifiers()),
                  ClampCoordinate(event->position().x()), ClampCoordinate(event->position().y()), delta);
    }

private:
    void SendMouse(int message, QMouseEvent* event, Qt::MouseButtons buttons) {
        ModifierScope scope(event->modifiers());
        HostMouse(index_, message, MouseKeys(buttons, event->modifiers()), ClampCoordinate(event->position().x()),
                  ClampCoordinate(event->position().y()), 0);
    }

    int index_;
    QImage backBuffer_;
    bool painting_ = false;
};

class PlotWindow : public QWidget {
public:
    explicit PlotWindow(int index) : index_(index) {
        setWindowIcon(ProgramIconImage());
        setFocusPolicy(Qt::StrongFocus);
        setAcceptDrops(true);
        setMinimumSize(120, 60);
        area = new PlotArea(index, this);
        if (index == 0) {
            menuBar = new QMenuBar(this);
            BuildMenu();
        }
        if (index < 6) {
            scrollBar = new QScrollBar(Qt::Horizontal, this);
            scrollBar->setFocusPolicy(Qt::NoFocus);
            scrollBar->setRange(0, 0);
            scrollBar->setPageStep(SCROLL_RANGE + 1);
            scrollBar->setEnabled(false);
            connect(scrollBar, &QScrollBar::actionTriggered, this, [this](int action) { OnScrollAction(action); });
            connect(scrollBar, &QScrollBar::sliderReleased, this, [this] {
                HostHorizontalScroll(index_, SB_THUMBPOSITION, scrollBar->sliderPosition());
                HostHorizontalScroll(index_, SB_ENDSCROLL, 0);
                scrollBar->setValue(scrollPosition_);
            });
        }
    }

    // Places menu, client area and scroll bar for the current size (also while hidden).
    void LayoutChildren() {
        int w = width(), top = 0, bottom = height();
        if (menuBar) {
            top = menuBar->heightForWidth(w);
            if (top <= 0) top = menuBar->sizeHint().height();
            menuBar->setGeometry(0, 0, w, top);
        }
        if (scrollBar) {
            int h = scrollBar->sizeHint().height();
            bottom -= h;
            scrollBar->setGeometry(0, bottom, w, h);
        }
        area->setGeometry(0, top, w, std::max(0, bottom - top));
    }

    // Places the whole window, frame included, on frame. The window manager adds its frame only after
    // the window is shown, so until then the size inside comes from the frame seen last, and the
    // window is fitted again once its own frame is known.
    void SetFrameGeometry(const QRect& frame) {
        wantedFrame_ = frame;
        fittings_ = 0;
        ++placing_;
        move(frame.topLeft());
        resize(InnerSize(frame, knownFrameMargins));
        LayoutChildren();
        if (isVisible()) {
            ScheduleFitFrame();
            WaitForFrame();
        }
    }

    // The normal rectangle of the whole window: the one asked for while the frame is not yet known.
    QRect NormalFrameRect() const {
        if (wantedFrame_.isValid()) return wantedFrame_;
        if (!isMinimized() && !isMaximized()) return frameGeometry();
        QRect inner = normalGeometry().isValid() ? normalGeometry() : geometry();
        return inner.marginsAdded(knownFrameMargins);
    }

    // The thumb can go from 0 to 10000 - (page - 1); a page larger than the range disables the bar.
    void SetScroll(int position, int page) {
        int visible = std::clamp(page, 0, SCROLL_RANGE + 1);
        int maximum = SCROLL_RANGE - std::max(visible - 1, 0);
        scrollPosition_ = std::clamp(position, 0, maximum);
        scrollBar->setRange(0, maximum);
        scrollBar->setPageStep(std::max(visible, 1));
        scrollBar->setValue(scrollPosition_);
        scrollBar->setEnabled(visible <= SCROLL_RANGE);
    }

    QAction* Action(int command) const {
        auto it = actions_.find(command);
        return it == actions_.end() ? nullptr : it->second;
    }

    PlotArea* area = nullptr;
    QMenuBar* menuBar = nullptr;
    QScrollBar* scrollBar = nullptr;
    std::string title;

protected:
    void resizeEvent(QResizeEvent*) override { LayoutChildren(); }

    bool event(QEvent* event) override {
        bool result = QWidget::event(event);
        QEvent::Type type = event->type();
        if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) ScheduleFitFrame();
        if (type == QEvent::Show) WaitForFrame();
        return result;
    }

    void closeEvent(QCloseEvent* event) override {
        // The program decides: hide the window, or end the program for window 0.
        event->ignore();
        HostClose(index_);
    }

    void keyPressEvent(QKeyEvent* event) override {
        int key = VirtualKeyFromQt(event->key());
        // Alt combinations belong to the menu (its mnemonics); the program's keys are plain key-downs.
        if (key == 0 || key == VK_MENU || (event->modifiers() & Qt::AltModifier)) {
            QWidget::keyPressEvent(event);
            return;
        }
        NoteKeyState(key, true);
        ModifierScope scope(event->modifiers());
        HostKeyDown(index_, key);
    }

    void keyReleaseEvent(QKeyEvent* event) override {
        int key = VirtualKeyFromQt(event->key());
        if (key != 0 && !event->isAutoRepeat()) NoteKeyState(key, false);
        QWidget::keyReleaseEvent(event);
    }

    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!FirstDroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
    }

    void dropEvent(QDropEvent* event) override {
        QString path = FirstDroppedFile(event->mimeData());
        if (path.isEmpty()) return;
        event->acceptProposedAction();
        HostDropFile(index_, QFile::encodeName(path).constData());
    }

private:
    static QString FirstDroppedFile(const QMimeData* data) {
        if (!data || !data->hasUrls() || data->urls().isEmpty()) return QString();
        const QUrl first = data->urls().first();
        return first.isLocalFile() ? first.toLocalFile() : QString();
    }

    void OnScrollAction(int action) {
        int code;
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub: code = SB_LINELEFT; break;
        case QAbstractSlider::SliderSingleStepAdd: code = SB_LINERIGHT; break;
        case QAbstractSlider::SliderPageStepSub: code = SB_PAGELEFT; break;
        case QAbstractSlider::SliderPageStepAdd: code = SB_PAGERIGHT; break;
        case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
        case QAbstractSlider::SliderToMinimum: code = SB_LEFT; break;
        case QAbstractSlider::SliderToMaximum: code = SB_RIGHT; break;
        default: return;
        }
        int requested = scrollBar->sliderPosition();
        HostHorizontalScroll(index_, code, requested);
        // The thumb goes where the program put it, not where the scroll bar would move it.
        scrollBar->setValue(scrollPosition_);
    }

    void BuildMenu() {
        int count = 0;
        const MenuNode* popups = MainMenu(&count);
        for (int i = 0; i < count; ++i) {
            QMenu* menu = menuBar->addMenu(AnsiToQString(popups[i].text));
            AddEntries(menu, popups[i].children, popups[i].childCount);
        }
    }

    void AddEntries(QMenu* menu, const MenuNode* nodes, int count) {
        for (int i = 0; i < count; ++i) {
            const MenuNode& node = nodes[i];
            if (!node.text) {
                menu->addSeparator();
            } else if (node.children) {
                AddEntries(menu->addMenu(AnsiToQString(node.text)), node.children, node.childCount);
            } else {
                QAction* action = menu->addAction(AnsiToQString(node.text));
                ApplyMenuState(action, MenuState(node.command));
                int command = node.command;
                // The command runs once the menu has closed, as a posted command message would.
                connect(action, &QAction::triggered, this, [command] { PostCommand(0, command); });
                actions_[command] = action;
            }
        }
    }

    // Once the window manager has framed the window: the size inside the frame that makes the whole
    // window the wanted rectangle. A window manager that insists on its own geometry wins after a few tries.
    // The check runs once the events of the moment are handled, so never inside a move or resize.
    void ScheduleFitFrame() {
        if (!wantedFrame_.isValid() || fitScheduled_) return;
        fitScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            fitScheduled_ = false;
            FitFrame();
        });
    }

    void FitFrame() {
        if (!wantedFrame_.isValid() || !isVisible() || isMinimized() || isMaximized()) return;
        QRect outer = frameGeometry(), inner = geometry();
        QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
        auto plausible = [](int m) { return m >= 0 && m < 200; };
        if (margins.isNull() || !plausible(margins.left()) || !plausible(margins.top()) ||
            !plausible(margins.right()) || !plausible(margins.bottom()))
            return;
        knownFrameMargins = margins;
        if (frameGeometry() == wantedFrame_ || ++fittings_ > MAX_FITTINGS) {
            wantedFrame_ = QRect();
            return;
        }
        QRect frame = wantedFrame_;
        resize(InnerSize(frame, margins));
        move(frame.topLeft());
    }

    // Without a frame after a while (no window manager, or one that draws none) the window stays as
    // placed, and from then on it is wherever the user or the window manager puts it.
    void WaitForFrame() {
        if (!wantedFrame_.isValid()) return;
        QTimer::singleShot(FRAME_WAIT_MS, this, [this, placing = placing_] {
            if (placing == placing_) wantedFrame_ = QRect();
        });
    }

    static constexpr int FRAME_WAIT_MS = 3000;
    static constexpr int MAX_FITTINGS = 4;

    int index_;
    int scrollPosition_ = 0;
    std::map<int, QAction*> actions_;
    QRect wantedFrame_;  // valid while the window is still to be fitted to it
    int fittings_ = 0;
    int placing_ = 0;  // counts placements, so a wait ends only the placement it was started for
    bool fitScheduled_ = false;
};

QPointer<PlotWindow> windows[WINDOW_COUNT];

PlotWindow* At(int window) { return window >= 0 && window < WINDOW_COUNT ? windows[window].data() : nullptr; }

// The rectangle of a placement: the whole window, frame included; reading a placement back gives the
// same numbers. The rectangle is kept at least partly on a screen.
QRect PlacementRect(const WindowPlacement& placement) {
    int64_t width = static_cast<int64_t>(placement.right) - placement.left;
    int64_t height = static_cast<int64_t>(placement.bottom) - placement.top;
    QRect rect(std::clamp(placement.left, -32768, 32767), std::clamp(placement.top, -32768, 32767),
               static_cast<int>(std::clamp<int64_t>(width, 120, 16384)),
               static_cast<int>(std::clamp<int64_t>(height, 60, 16384)));
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(rect)) return rect;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        QRect area = primary->availableGeometry();
        rect.moveTopLeft(area.topLeft());
        rect.setSize(rect.size().boundedTo(area.size()));
    }
    return rect;
}

void ApplyPlacement(PlotWindow* w, const WindowPlacement& placement) {
    if (w->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)) w->setWindowState(Qt::WindowNoState);
    w->SetFrameGeometry(PlacementRect(placement));
    switch (placement.showCommand) {
    case 0: w->hide(); break;
    case 2: w->showMinimized(); break;
    case 3: w->showMaximized(); break;
    default: w->showNormal(); break;
    }
}

}  // namespace

// ---- Internal hooks ------------------------------------------------------------------------------
QWidget* PlotWindowWidget(int window) { return At(window); }

QWidget* PlotAreaWidget(int window) {
    PlotWindow* w = At(window);
    return w ? w->area : nullptr;
}

QWidget* PlotScrollBar(int window) {
    PlotWindow* w = At(window);
    return w ? w->scrollBar : nullptr;
}

QAction* MenuAction(int command) {
    PlotWindow* w = At(0);
    return w ? w->Action(command) : nullptr;
}

bool RenderPlotWindowsToFiles(const std::string& directory) {
    bool ok = true;
    for (int i = 0; i < WINDOW_COUNT; ++i) {
        PlotWindow* w = At(i);
        if (!w) continue;
        w->LayoutChildren();
        QSize size = w->area->size();
        if (size.isEmpty()) continue;
        HostSize(i, size.width(), size.height());
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        PaintPlotWindowInto(i, image, size);
        QString path = QFile::decodeName(directory.c_str()) + QStringLiteral("/window-%1.png").arg(i);
        ok = image.save(path, "PNG") && ok;
    }
    return ok;
}

// ---- Plot windows --------------------------------------------------------------------------------
bool CreatePlotWindows(const WindowPlacement placements[7]) {
    for (int i = 0; i < WINDOW_COUNT; ++i) {
        if (windows[i]) continue;
        windows[i] = new PlotWindow(i);
    }
    for (int i = 0; i < WINDOW_COUNT; ++i) ApplyPlacement(windows[i], placements[i]);
    if (windows[0]->isVisible()) windows[0]->activateWindow();
    return true;
}

void SetWindowTitle(int window, const char* title) {
    PlotWindow* w = At(window);
    if (!w) return;
    w->title = title ? title : "";
    w->setWindowTitle(TitleToQString(w->title));
}

std::string GetWindowTitle(int window) {
    PlotWindow* w = At(window);
    return w ? w->title : std::string();
}

void ShowPlotWindow(int window, bool show) {
    PlotWindow* w = At(window);
    if (!w) return;
    if (!show) {
        w->hide();
        return;
    }
    w->show();
    if (!IsUnattended()) {
        w->raise();
        w->activateWindow();
    }
}

bool IsPlotWindowVisible(int window) {
    PlotWindow* w = At(window);
    return w && w->isVisible();
}

void GetPlotWindowPlacement(int window, WindowPlacement* placement) {
    PlotWindow* w = At(window);
    if (!w || !placement) return;
    placement->showCommand = !w->isVisible() ? 0u : w->isMinimized() ? 2u : w->isMaximized() ? 3u : 1u;
    QRect rect = w->NormalFrameRect();
    placement->left = rect.x();
    placement->top = rect.y();
    placement->right = rect.x() + rect.width();
    placement->bottom = rect.y() + rect.height();
}

void SetPlotWindowPlacement(int window, const WindowPlacement& placement) {
    if (PlotWindow* w = At(window)) ApplyPlacement(w, placement);
}

void GetClientSize(int window, int* width, int* height) {
    PlotWindow* w = At(window);
    if (width) *width = w ? w->area->width() : 0;
    if (height) *height = w ? w->area->height() : 0;
}

void InvalidateWindow(int window) {
    if (PlotWindow* w = At(window)) w->area->update();
}

WorkArea GetWorkArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return {area.x(), area.y(), area.x() + area.width(), area.y() + area.height()};
}

void DestroyPlotWindow(int window) {
    PlotWindow* w = At(window);
    if (!w) return;
    w->hide();
    windows[window] = nullptr;
    w->deleteLater();
}

void SetScrollBar(int window, int position, int page, bool) {
    PlotWindow* w = At(window);
    if (w && w->scrollBar) w->SetScroll(position, page);
}

// ---- Menu ----------------------------------------------------------------------------------------
void EnableMenuItem(int command, bool enabled) {
    if (!FindMenuItem(command)) return;
    MenuItemState& state = MenuState(command);
    state.enabled = enabled;
    if (QAction* action = MenuAction(command)) ApplyMenuState(action, state);
}

void CheckMenuItem(int command, bool checked) {
    if (!FindMenuItem(command)) return;
    MenuItemState& state = MenuState(command);
    state.checked = checked;
    if (QAction* action = MenuAction(command)) ApplyMenuState(action, state);
}

void RedrawMenuBar() {
    PlotWindow* w = At(0);
    if (w && w->menuBar) w->menuBar->update();
}

// ---- Keys ----------------------------------------------------------------------------------------
int VirtualKeyFromQt(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return VK_DELETE;
    // The comma and period key report '<' and '>' while Shift is held on most layouts.
    case Qt::Key_Comma:
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Period:
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    default: return 0;
    }
}

namespace {
std::map<int, bool> keysDown;
}

void NoteKeyState(int virtualKey, bool down) { keysDown[virtualKey] = down; }

bool IsKeyDown(int virtualKey) {
    Qt::KeyboardModifiers modifiers =
        eventModifiersValid ? eventModifiers : QGuiApplication::queryKeyboardModifiers();
    if (virtualKey == VK_SHIFT) return modifiers & Qt::ShiftModifier;
    if (virtualKey == VK_CONTROL) return modifiers & Qt::ControlModifier;
    if (virtualKey == VK_MENU) return modifiers & Qt::AltModifier;
    auto it = keysDown.find(virtualKey);
    return it != keysDown.end() && it->second;
}
