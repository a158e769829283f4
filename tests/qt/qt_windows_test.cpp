// Offscreen smoke tests of the plot windows: the menu from the resources, keys and Alt, mouse, scroll
// bar, placement, painting and rendering to pictures, posted notifications, message boxes, file
// dialogs, the clipboard and text conversion.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <thread>
#include <tuple>

#include "platform/canvas.h"
#include "resources/resources.h"
#include "tests/qt/qt_fixture.h"
#include "ui/commands.h"
#include "ui/host_events.h"

namespace {
using Call = std::vector<int>;

// The menu is built from the resources; states set while window zero (its owner) is away apply when it
// is created again; an unchecked item shows no empty check box; an item sends its command once the
// menu has closed.
TEST_F(QtTest, MenuIsBuiltFromTheResourcesAndFollowsEnableAndCheck) {
    for (int command = IDM_OPEN; command <= IDM_ABOUT; ++command)
        EXPECT_EQ(MenuAction(command)->text(), AnsiToQString(FindMenuItem(command)->text)) << command;
    WindowPlacement placements[7];
    for (int i = 0; i < 7; ++i) GetPlotWindowPlacement(i, &placements[i]);
    DestroyPlotWindow(0);
    EXPECT_EQ(MenuAction(IDM_OPEN), nullptr);
    EnableMenuItem(IDM_SAVE, true);
    CheckMenuItem(IDM_SAVE, true);
    Flush();
    ASSERT_TRUE(CreatePlotWindows(placements));
    EXPECT_TRUE(MenuAction(IDM_SAVE)->isEnabled() && MenuAction(IDM_SAVE)->isChecked());
    CheckMenuItem(IDM_SAVE, false);
    EXPECT_FALSE(MenuAction(IDM_SAVE)->isCheckable()) << "no empty check box beside an unchecked item";

    EnableMenuItem(IDM_VIEW_HEIGHT, true);
    MenuAction(IDM_VIEW_HEIGHT)->trigger();
    EXPECT_EQ(Host().Count(HostCall::COMMAND), 0);
    Flush();
    EXPECT_EQ(LastCall(HostCall::COMMAND), Call({0, IDM_VIEW_HEIGHT}));
}

// Keys reach the key handler as virtual keys with the Shift state; keys without a meaning do not; Alt
// combinations belong to the menu. Buttons, Ctrl and the wheel reach the mouse handler.
TEST_F(QtTest, KeysAndMouseReachTheirHandlersAndAltGoesToTheMenu) {
    const std::tuple<int, Qt::Key, Qt::KeyboardModifiers, int> cases[] = {
        {0, Qt::Key_A, Qt::NoModifier, 'A'},
        {5, Qt::Key_Delete, Qt::ShiftModifier, VK_DELETE},
        {6, Qt::Key_Less, Qt::ShiftModifier, VK_OEM_COMMA},
        {1, Qt::Key_Greater, Qt::ShiftModifier, VK_OEM_PERIOD}};
    for (const auto& [window, key, modifiers, expected] : cases) {
        ResetHost();
        QTest::keyClick(PlotWindowWidget(window), key, modifiers);
        EXPECT_EQ(LastCall(HostCall::KEY), Call({window, expected})) << key;
        EXPECT_EQ(Host().Last(HostCall::KEY)->shiftDown, modifiers == Qt::ShiftModifier) << key;
    }
    ResetHost();
    QTest::keyClick(PlotWindowWidget(0), Qt::Key_Dollar);
    for (int window : {0, 3, 5}) QTest::keyClick(PlotWindowWidget(window), Qt::Key_A, Qt::AltModifier);
    Flush();
    while (QWidget* menu = QApplication::activePopupWidget()) menu->close();  // Alt+A opened "&Action"
    EXPECT_EQ(Host().Count(HostCall::KEY), 0);

    QWidget* area = PlotAreaWidget(5);
    QTest::mousePress(area, Qt::LeftButton, Qt::ControlModifier, QPoint(30, 40));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::ControlModifier, QPoint(12, 41));
    std::vector<Call> clicks;
    for (const HostCall& call : Host().calls)
        if (call.kind == HostCall::MOUSE && call.a != WM_MOUSEMOVE)
            clicks.push_back({call.window, call.a, call.b, call.c, call.d, call.controlDown});
    EXPECT_EQ(clicks, std::vector<Call>({{5, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 30, 40, true},
                                         {5, WM_LBUTTONUP, MK_CONTROL, 12, 41, true}}));
    QWheelEvent wheel(QPointF(5, 6), QPointF(), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::ShiftModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &wheel);
    EXPECT_EQ(LastCall(HostCall::MOUSE, 6), Call({5, WM_MOUSEWHEEL, MK_SHIFT, 5, 6, -240}));
}

// The scroll bar follows the program's 0-10000 model (disabled, not hidden, when all is visible);
// its requests reach the program, which alone places the thumb.
TEST_F(QtTest, ScrollBarUsesTheTenThousandModelAndTheProgramPlacesTheThumb) {
    EXPECT_EQ(PlotScrollBar(6), nullptr);
    auto* bar = static_cast<QScrollBar*>(PlotScrollBar(2));
    SetScrollBar(2, 2500, 2000, true);
    EXPECT_EQ(
        std::vector<int>({bar->minimum(), bar->maximum(), bar->pageStep(), bar->value(), bar->isEnabled()}),
        std::vector<int>({0, 8001, 2000, 2500, true}));
    SetScrollBar(2, 0, 10001, true);
    EXPECT_TRUE(bar->isVisible() && !bar->isEnabled());

    SetScrollBar(2, 1000, 2000, true);
    const std::pair<QAbstractSlider::SliderAction, int> actions[] = {
        {QAbstractSlider::SliderSingleStepAdd, SB_LINERIGHT},
        {QAbstractSlider::SliderPageStepSub, SB_PAGELEFT}};
    for (const auto& [action, code] : actions) {
        bar->triggerAction(action);
        EXPECT_EQ(LastCall(HostCall::SCROLL), Call({2, code}));
        EXPECT_EQ(bar->value(), 1000) << "the bar does not move on its own";
    }
    bar->setSliderPosition(4321);
    EXPECT_EQ(LastCall(HostCall::SCROLL, 3), Call({2, SB_THUMBTRACK, 4321}));
}

// A placement is the whole window, frame included (the offscreen platform draws a 2-pixel frame), and
// round-trips through maximising; resizing reports the client size, without the scroll bar; the close
// box only asks the program; titles show Unicode and read back as set.
TEST_F(QtTest, PlacementResizeCloseBoxAndTitles) {
    QWidget* window = PlotWindowWidget(4);
    SetPlotWindowPlacement(4, {1, 70, 80, 570, 380});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() == QRect(70, 80, 500, 300); }));
    WindowPlacement read{};
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(std::vector<int>({int(read.showCommand), read.left, read.top, read.right, read.bottom}),
              std::vector<int>({1, 70, 80, 570, 380}));
    SetPlotWindowPlacement(4, {3, 60, 90, 460, 290});
    Flush();
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(std::vector<int>({int(read.showCommand), read.left, read.top, read.right, read.bottom}),
              std::vector<int>({3, 60, 90, 460, 290}));
    SetPlotWindowPlacement(4, {1, 70, 80, 570, 380});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() == QRect(70, 80, 500, 300); }));

    PlotWindowWidget(3)->resize(321, 222);
    Flush();
    int width = 0, height = 0;
    GetClientSize(3, &width, &height);
    EXPECT_EQ(LastCall(HostCall::SIZE, 3), Call({3, 321, height}));
    EXPECT_LT(height, 222) << "the scroll bar is not part of the client area";
    PlotWindowWidget(2)->close();
    EXPECT_EQ(LastCall(HostCall::CLOSE, 1), Call({2}));
    EXPECT_TRUE(IsPlotWindowVisible(2));
    SetWindowTitle(3, "Interval/\xB5s Histogram   r\xC3\xA9sum\xC3\xA9.pls");
    EXPECT_EQ(PlotWindowWidget(3)->windowTitle(),
              QString::fromUtf8("Interval/\u00B5s Histogram   r\u00E9sum\u00E9.pls"));
    EXPECT_EQ(GetWindowTitle(3), "Interval/\xB5s Histogram   r\xC3\xA9sum\xC3\xA9.pls");
    std::string all;  // every other text is Windows-1252 both ways, the clipboard with its line ends
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(QStringToAnsi(AnsiToQString(all.c_str())), all);
    EXPECT_EQ(AnsiToQString("\x80\x93"), QString::fromUtf8("\u20AC\u201C"));
    ASSERT_TRUE(SetClipboardText("2\xB5\r\n3\r\n") && GetClipboardText(&all));
    EXPECT_EQ(all, "2\xB5\n3\n");
}

// Painting goes through the canvas into the window (right and bottom edges exclusive) and into one
// picture per window at its client size.
TEST_F(QtTest, PaintAndRenderThroughTheCanvas) {
    Host().paint = [](int window) {
        CanvasClear();
        CanvasSelectBrush(window);
        CanvasFillRect(10, 10, 30, 30);
        CanvasSelectPen(2);
        CanvasMoveTo(0, 50);
        CanvasLineTo(40, 50);
        CanvasText(100, 2, "Bin 5  Time/\xB5s 7", 17);
    };
    QImage image = PlotAreaWidget(0)->grab().toImage();
    const std::tuple<int, int, QColor> pixels[] = {{10, 10, QColor(192, 0, 0)}, {29, 29, QColor(192, 0, 0)},
                                                   {30, 30, Qt::white},         {0, 50, QColor(0, 0, 192)},
                                                   {39, 50, QColor(0, 0, 192)}, {40, 50, Qt::white}};
    for (const auto& [x, y, color] : pixels) EXPECT_EQ(QColor(image.pixel(x, y)), color) << x << "," << y;
    int dark = 0;
    for (int y = 2; y < 16; ++y)
        for (int x = 100; x < 200; ++x) dark += qGray(image.pixel(x, y)) < 96;
    EXPECT_GT(dark, 40) << "the legend text is drawn";

    QTemporaryDir directory;
    ASSERT_TRUE(RenderPlotWindowsToFiles(directory.path().toStdString()));
    for (int i = 0; i < 7; ++i) {
        QImage picture(directory.filePath(QStringLiteral("window-%1.png").arg(i)));
        EXPECT_EQ(picture.size(), PlotAreaWidget(i)->size()) << i;
        EXPECT_NE(QColor(picture.pixel(15, 15)), QColor(Qt::white)) << i;
    }
    EXPECT_FALSE(RenderPlotWindowsToFiles("/proc/no-such-folder"));
}

// Audio notifications posted from another thread arrive in order; Quit ends the loop with its code.
TEST_F(QtTest, NotificationsFromAnotherThreadArriveInOrder) {
    Host().reaction = [](const HostCall& call) {
        if (call.kind == HostCall::INPUT_FILLED && call.a == 199) PostQuit(7);
    };
    std::thread producer([] {
        for (int i = 0; i < 200; ++i)
            PostAudioNotification(i % 3 == 0 ? AUDIO_OUTPUT_DONE : AUDIO_INPUT_FILLED, i);
    });
    producer.join();
    EXPECT_EQ(RunEventLoop(), 7);
    std::vector<int> order, expected;
    for (const HostCall& call : Host().calls)
        if (call.kind == HostCall::INPUT_FILLED || call.kind == HostCall::OUTPUT_DONE)
            order.push_back(call.kind == HostCall::OUTPUT_DONE ? -call.a : call.a);
    for (int i = 0; i < 200; ++i) expected.push_back(i % 3 == 0 ? -i : i);
    EXPECT_EQ(order, expected);
}

// Runs check on the modal window the next call opens, once it is up.
void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        if (QWidget* modal = QApplication::activeModalWidget()) check(modal);
    });
}

// A message box carries the icon and buttons of its style and answers with the button clicked; a
// file dialog uses the title, filters and default extension asked for. While unattended nobody is
// asked and only errors count.
TEST_F(QtTest, MessageBoxesAndFileDialogs) {
    std::tuple<QMessageBox::Icon, QString, bool> box;
    OnNextModal([&](QWidget* w) {
        auto* message = qobject_cast<QMessageBox*>(w);
        box = {message->icon(), message->text(), message->button(QMessageBox::Ok) != nullptr};
        message->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(ShowMessage("Left.\r\nProceed?", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(box, std::make_tuple(QMessageBox::Question, QStringLiteral("Left.\nProceed?"), true));

    QTemporaryDir directory;
    QStringList seen;
    OnNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        seen = QStringList{dialog->windowTitle(), dialog->defaultSuffix()} + dialog->nameFilters();
        dialog->selectFile(directory.filePath(QStringLiteral("run")));
        static_cast<QDialog*>(dialog)->accept();
    });
    const FileDialogRequest save{"Save Data", "Pulse data (*.pls)\0*.pls\0Text\0*.txt;*.tsv\0\0", "pls",
                                 OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    char path[260];
    ASSERT_TRUE(AskSaveFileName(save, path, sizeof path));
    EXPECT_EQ(QString::fromUtf8(path), directory.filePath(QStringLiteral("run.pls")));
    EXPECT_EQ(seen, QStringList({"Save Data", "pls", "Pulse data (*.pls) (*.pls)", "Text (*.txt *.tsv)"}));

    SetUnattended(true);  // nobody is asked; only errors count
    int errors = UnattendedErrorCount();
    EXPECT_EQ(ShowMessage("Left channel shape not updated", MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(ShowMessage("Not supported input format", MB_OKCANCEL | MB_ICONHAND), IDOK);
    EXPECT_EQ(UnattendedErrorCount(), errors + 1) << "a warning is no error";
    SetUnattended(false);
}

}  // namespace
