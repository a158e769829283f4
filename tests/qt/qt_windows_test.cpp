// Offscreen tests of the plot windows: menu states, keys, mouse, scroll bars, placement, painting,
// rendering, timers, posted notifications, clipboard and text conversion.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <functional>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <string>
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
    for (int command = IDM_OPEN; command <= IDM_ABOUT; ++command) {
        ASSERT_NE(MenuAction(command), nullptr) << command;
        EXPECT_EQ(MenuAction(command)->text(), AnsiToQString(FindMenuItem(command)->text));
    }
    EXPECT_EQ(MenuAction(IDM_INFORMATION), nullptr);
    WindowPlacement placements[7];
    for (int i = 0; i < 7; ++i) GetPlotWindowPlacement(i, &placements[i]);
    DestroyPlotWindow(0);
    EXPECT_EQ(PlotWindowWidget(0), nullptr);
    EXPECT_EQ(MenuAction(IDM_OPEN), nullptr);
    EnableMenuItem(IDM_OPEN, true);
    EnableMenuItem(IDM_SAVE, true);
    CheckMenuItem(IDM_SAVE, true);
    Flush();
    ASSERT_TRUE(CreatePlotWindows(placements));
    EXPECT_TRUE(MenuAction(IDM_OPEN)->isEnabled());
    EXPECT_TRUE(MenuAction(IDM_SAVE)->isChecked());
    CheckMenuItem(IDM_SAVE, false);
    EXPECT_FALSE(MenuAction(IDM_SAVE)->isCheckable()) << "no empty check box beside an unchecked item";
    EnableMenuItem(IDM_OPEN, false);
    EXPECT_FALSE(MenuAction(IDM_OPEN)->isEnabled());
    EnableMenuItem(12345, true);  // not in the menu: nothing happens
    RedrawMenuBar();

    EnableMenuItem(IDM_VIEW_HEIGHT, true);
    MenuAction(IDM_VIEW_HEIGHT)->trigger();
    EXPECT_EQ(Host().Count(HostCall::COMMAND), 0);
    Flush();
    EXPECT_EQ(Host().Count(HostCall::COMMAND), 1);
    EXPECT_EQ(LastCall(HostCall::COMMAND), Call({0, IDM_VIEW_HEIGHT}));
}

TEST(QtKeys, QtKeysMapToVirtualKeysAndKeysWithoutAMeaningToZero) {
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Z, 'Z'}, {Qt::Key_7, '7'}, {Qt::Key_Space, VK_SPACE}, {Qt::Key_F1, VK_F1}, {Qt::Key_F12, VK_F1 + 11},
        {Qt::Key_PageUp, VK_PRIOR}, {Qt::Key_PageDown, VK_NEXT}, {Qt::Key_Left, VK_LEFT}, {Qt::Key_Up, VK_UP},
        {Qt::Key_Right, VK_RIGHT}, {Qt::Key_Down, VK_DOWN}, {Qt::Key_Delete, VK_DELETE}, {Qt::Key_Escape, VK_ESCAPE},
        {Qt::Key_Home, VK_HOME}, {Qt::Key_End, VK_END}, {Qt::Key_Shift, VK_SHIFT}, {Qt::Key_Control, VK_CONTROL},
        {Qt::Key_Comma, VK_OEM_COMMA}, {Qt::Key_Less, VK_OEM_COMMA}, {Qt::Key_Period, VK_OEM_PERIOD},
        {Qt::Key_Greater, VK_OEM_PERIOD}, {Qt::Key_Egrave, 0}, {Qt::Key_Dollar, 0}, {Qt::Key_unknown, 0}};
    for (const auto& [key, code] : keys) EXPECT_EQ(VirtualKeyFromQt(key), code) << key;
}

TEST_F(QtTest, KeysReachTheKeyHandlerWithShiftAndAltGoesToTheMenu) {
    const struct {
        int window;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int expected;
    } cases[] = {{0, Qt::Key_A, Qt::NoModifier, 'A'}, {3, Qt::Key_Q, Qt::ShiftModifier, 'Q'},
                 {5, Qt::Key_Delete, Qt::ShiftModifier, VK_DELETE}, {6, Qt::Key_Less, Qt::ShiftModifier, VK_OEM_COMMA}};
    for (const auto& c : cases) {
        ResetHost();
        QTest::keyClick(PlotWindowWidget(c.window), c.key, c.modifiers);
        EXPECT_EQ(LastCall(HostCall::KEY), Call({c.window, c.expected})) << c.key;
        EXPECT_EQ(Host().Last(HostCall::KEY)->shiftDown, c.modifiers == Qt::ShiftModifier) << c.key;
    }
    ResetHost();
    QTest::keyClick(PlotWindowWidget(0), Qt::Key_Dollar);
    EXPECT_EQ(Host().Count(HostCall::KEY), 0) << "keys without a meaning are not passed on";
    for (int window : {0, 3, 5}) QTest::keyClick(PlotWindowWidget(window), Qt::Key_A, Qt::AltModifier);
    Flush();
    while (QWidget* menu = QApplication::activePopupWidget()) menu->close();  // Alt+A opened "&Action"
    EXPECT_EQ(Host().Count(HostCall::KEY), 0) << "Alt combinations belong to the menu";
}

TEST_F(QtTest, MouseButtonsMovesAndWheelReachTheMouseHandler) {
    QWidget* area = PlotAreaWidget(5);
    QTest::mousePress(area, Qt::LeftButton, Qt::ControlModifier, QPoint(30, 40));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::ControlModifier, QPoint(12, 41));
    std::vector<Call> clicks;
    for (const HostCall& call : Host().calls)
        if (call.kind == HostCall::MOUSE && call.a != WM_MOUSEMOVE)
            clicks.push_back({call.window, call.a, call.b, call.c, call.d, call.controlDown});
    EXPECT_EQ(clicks, std::vector<Call>({{5, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 30, 40, true},
                                         {5, WM_LBUTTONUP, MK_CONTROL, 12, 41, true}}));

    ResetHost();
    QWheelEvent wheel(QPointF(5, 6), area->mapToGlobal(QPointF(5, 6)), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &wheel);
    EXPECT_EQ(LastCall(HostCall::MOUSE, 6), Call({5, WM_MOUSEWHEEL, MK_SHIFT, 5, 6, -240}));

    ResetHost();
    QMouseEvent moveEvent(QEvent::MouseMove, QPointF(50, 20), area->mapToGlobal(QPointF(50, 20)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(area, &moveEvent);
    EXPECT_EQ(LastCall(HostCall::MOUSE, 5), Call({5, WM_MOUSEMOVE, 0, 50, 20}));
}

TEST_F(QtTest, ScrollBarUsesTheTenThousandModelAndTheProgramPlacesTheThumb) {
    EXPECT_EQ(PlotScrollBar(6), nullptr);
    for (int window = 0; window < 6; ++window) ASSERT_NE(PlotScrollBar(window), nullptr);
    auto* bar = static_cast<QScrollBar*>(PlotScrollBar(1));
    SetScrollBar(1, 2500, 2000, true);
    EXPECT_TRUE(bar->isEnabled());
    // The last thumb position shows the last page.
    EXPECT_EQ(std::vector<int>({bar->minimum(), bar->maximum(), bar->pageStep(), bar->value()}),
              std::vector<int>({0, 8001, 2000, 2500}));
    SetScrollBar(1, 0, 10001, true);
    EXPECT_FALSE(bar->isEnabled()) << "everything visible: the bar is disabled, not hidden";
    EXPECT_TRUE(bar->isVisible());
    SetScrollBar(1, 20000, 0, true);
    EXPECT_EQ(bar->maximum(), 10000);
    EXPECT_EQ(bar->value(), 10000);
    SetScrollBar(1, -5, -2147483647 - 1, true);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(bar->isEnabled());

    // Requests reach the program, which alone places the thumb.
    bar = static_cast<QScrollBar*>(PlotScrollBar(2));
    SetScrollBar(2, 1000, 2000, true);
    const std::pair<QAbstractSlider::SliderAction, int> actions[] = {
        {QAbstractSlider::SliderSingleStepAdd, SB_LINERIGHT}, {QAbstractSlider::SliderSingleStepSub, SB_LINELEFT},
        {QAbstractSlider::SliderPageStepAdd, SB_PAGERIGHT},   {QAbstractSlider::SliderPageStepSub, SB_PAGELEFT},
        {QAbstractSlider::SliderToMinimum, SB_LEFT},          {QAbstractSlider::SliderToMaximum, SB_RIGHT},
    };
    for (const auto& [action, code] : actions) {
        ResetHost();
        bar->triggerAction(action);
        EXPECT_EQ(LastCall(HostCall::SCROLL), Call({2, code}));
        EXPECT_EQ(bar->value(), 1000) << "the bar does not move on its own";
    }
    ResetHost();
    Host().reaction = [](const HostCall& call) {
        if (call.kind == HostCall::SCROLL) SetScrollBar(2, 6000, 2000, true);
    };
    bar->setSliderPosition(4321);
    EXPECT_EQ(LastCall(HostCall::SCROLL, 3), Call({2, SB_THUMBTRACK, 4321}));
    EXPECT_EQ(bar->value(), 6000);
}

// A placement is the whole window, frame included (the offscreen platform draws a 2-pixel frame).
TEST_F(QtTest, PlacementIsTheWholeWindowAndRoundTrips) {
    QWidget* window = PlotWindowWidget(4);
    SetPlotWindowPlacement(4, {1, 70, 80, 570, 380});
    ASSERT_TRUE(WaitFor([&] { return window->frameGeometry() == QRect(70, 80, 500, 300); }, 5000));
    EXPECT_TRUE(IsPlotWindowVisible(4));
    WindowPlacement read{};
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(read.showCommand, 1u);
    EXPECT_EQ(QRect(QPoint(read.left, read.top), QPoint(read.right, read.bottom)), QRect(70, 80, 501, 301));
    int width = 0, height = 0;
    GetClientSize(4, &width, &height);
    EXPECT_EQ(width, window->width());
    EXPECT_LT(width, 500);
    EXPECT_GT(height, 200);
    EXPECT_LT(height, 300) << "the scroll bar is not part of the client area";

    // Hidden, shown again, maximised and placed anew: the normal rectangle stays the one placed.
    SetPlotWindowPlacement(4, {0, 70, 80, 570, 380});
    EXPECT_FALSE(IsPlotWindowVisible(4));
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(read.showCommand, 0u);
    ShowPlotWindow(4, true);
    EXPECT_TRUE(IsPlotWindowVisible(4));
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(read.right - read.left, 500);
    SetPlotWindowPlacement(4, {3, 60, 90, 460, 290});
    Flush();
    GetPlotWindowPlacement(4, &read);
    EXPECT_EQ(read.showCommand, 3u);
    EXPECT_EQ(QRect(read.left, read.top, read.right - read.left, read.bottom - read.top), QRect(60, 90, 400, 200));
    SetPlotWindowPlacement(4, {1, 70, 80, 570, 380});
    ASSERT_TRUE(WaitFor([&] { return window->frameGeometry() == QRect(70, 80, 500, 300); }, 5000));
}

// Resizing reports the client size; the close box only asks the program; titles are shown in Unicode
// and read back as the bytes set.
TEST_F(QtTest, ResizeCloseBoxTitlesAndWorkArea) {
    PlotWindowWidget(3)->resize(321, 222);
    Flush();
    int width = 0, height = 0;
    GetClientSize(3, &width, &height);
    EXPECT_EQ(LastCall(HostCall::SIZE, 3), Call({3, width, height}));
    EXPECT_EQ(width, 321);
    PlotWindowWidget(2)->close();
    EXPECT_EQ(LastCall(HostCall::CLOSE, 1), Call({2}));
    EXPECT_TRUE(IsPlotWindowVisible(2));

    SetWindowTitle(3, "Interval/\xB5s Histogram   r\xC3\xA9sum\xC3\xA9.pls");
    EXPECT_EQ(PlotWindowWidget(3)->windowTitle(), QString::fromUtf8("Interval/\u00B5s Histogram   r\u00E9sum\u00E9.pls"));
    EXPECT_EQ(GetWindowTitle(3), "Interval/\xB5s Histogram   r\xC3\xA9sum\xC3\xA9.pls");
    WorkArea area = GetWorkArea();
    EXPECT_GT(area.right - area.left, 0);
    EXPECT_GT(area.bottom - area.top, 0);
}

TEST_F(QtTest, PaintDrawsThroughTheCanvasIntoTheWindow) {
    int paintedWidth = 0, paintedHeight = 0;
    Host().paint = [&](int) {
        CanvasClientSize(&paintedWidth, &paintedHeight);
        CanvasClear();
        CanvasSelectBrush(0);
        CanvasFillRect(10, 10, 30, 30);
        CanvasSelectPen(2);
        CanvasMoveTo(0, 50);
        CanvasLineTo(40, 50);
        CanvasSelectPen(1);
        CanvasSelectBrush(1);
        CanvasEllipse(60, 60, 65, 65);
        CanvasText(100, 2, "Bin 5  Time/\xB5s 7", 17);
    };
    QImage image = PlotAreaWidget(1)->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(paintedWidth, PlotAreaWidget(1)->width());
    EXPECT_EQ(paintedHeight, PlotAreaWidget(1)->height());
    // Right and bottom edges of a rectangle are exclusive; a line ends before its end point.
    const std::tuple<int, int, QColor> pixels[] = {{15, 15, QColor(192, 0, 0)}, {29, 29, QColor(192, 0, 0)},
                                                   {30, 30, Qt::white},         {0, 50, QColor(0, 0, 192)},
                                                   {39, 50, QColor(0, 0, 192)}, {40, 50, Qt::white},
                                                   {62, 62, QColor(0, 192, 0)}};
    for (const auto& [x, y, color] : pixels) EXPECT_EQ(QColor(image.pixel(x, y)), color) << x << "," << y;
    int dark = 0;
    for (int y = 2; y < 16; ++y)
        for (int x = 100; x < 200; ++x) dark += qGray(image.pixel(x, y)) < 96;
    EXPECT_GT(dark, 40) << "the legend text is drawn";
    EXPECT_GE(Host().Count(HostCall::PAINT), 1);
}

// The longest legend in use (the height window's with the cursor in a region and the sum of the regions
// shown) fits a window of the default width (half a 1600-pixel screen) in a readable font; the canvas
// does nothing outside painting.
TEST_F(QtTest, PlotFontFitsTheLongestLegendAndTheCanvasIsIdleOutsidePainting) {
    EXPECT_LE(QFontMetrics(PlotFont()).height(), 14);
    EXPECT_GE(QFontMetrics(PlotFont()).height(), 11);
    const char legend[] = "Bin 5150  Energy /keV 661.82  Counts 1234  Percent 1.234  Gauss 98.765  Mean 5150.123"
                          "  SD 160.123  Res% 7.312  Gross 12345  Net 12000  SumRoi 12345";
    int length = static_cast<int>(sizeof legend) - 1, width = CanvasTextWidth(legend, length);
    EXPECT_LE(2 + width, 800);
    EXPECT_GE(width, length * 5) << "narrower than about 5 pixels per character is hard to read";
    EXPECT_EQ(CanvasTextWidth("", 0), 0);
    int height = -1;
    CanvasClientSize(&width, &height);
    EXPECT_EQ(std::pair(width, height), std::pair(0, 0));
    CanvasLineTo(10, 10);
    CanvasFillRect(0, 0, 5, 5);
    CanvasText(0, 0, "x", 1);
}

TEST_F(QtTest, RenderWritesSevenPicturesAtTheClientSizes) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    Host().paint = [](int window) {
        CanvasClear();
        CanvasSelectBrush(window);
        CanvasFillRect(0, 0, 20, 20);
    };
    ASSERT_TRUE(RenderPlotWindowsToFiles(directory.path().toStdString()));
    for (int i = 0; i < 7; ++i) {
        QImage image(directory.filePath(QStringLiteral("window-%1.png").arg(i)));
        ASSERT_FALSE(image.isNull()) << i;
        EXPECT_EQ(image.size(), PlotAreaWidget(i)->size()) << i;
        EXPECT_NE(QColor(image.pixel(5, 5)), QColor(Qt::white)) << i;
        EXPECT_EQ(QColor(image.pixel(25, 25)), QColor(Qt::white)) << i;
    }
    EXPECT_FALSE(RenderPlotWindowsToFiles("/proc/no-such-folder"));
}

TEST_F(QtTest, TimersRepeatUntilKilledAndStartingARunningTimerRearmsIt) {
    StartTimer(7, 15);
    ASSERT_TRUE(WaitFor([] { return Host().Count(HostCall::TIMER) >= 2; }, 5000));
    KillTimer(7);
    Flush();
    int fired = Host().Count(HostCall::TIMER);
    QTest::qWait(60);
    EXPECT_EQ(Host().Count(HostCall::TIMER), fired);
    EXPECT_EQ(Host().Last(HostCall::TIMER)->a, 7);
    KillTimer(99);  // never started: nothing happens

    ResetHost();
    StartTimer(8, 600);
    QTest::qWait(300);
    StartTimer(8, 600);
    QTest::qWait(400);
    EXPECT_EQ(Host().Count(HostCall::TIMER), 0) << "re-armed at 300 ms, so not due before 900 ms";
    EXPECT_TRUE(WaitFor([] { return Host().Count(HostCall::TIMER) >= 1; }, 5000));
    KillTimer(8);
}

TEST_F(QtTest, AudioNotificationsFromAnotherThreadArriveInOrderAndQuitEndsTheLoop) {
    Host().reaction = [](const HostCall& call) {
        if (call.kind == HostCall::INPUT_FILLED && call.a == 199) PostQuit(7);
    };
    std::thread producer([] {
        for (int i = 0; i < 200; ++i) PostAudioNotification(i % 3 == 0 ? AUDIO_OUTPUT_DONE : AUDIO_INPUT_FILLED, i);
    });
    producer.join();
    EXPECT_EQ(RunEventLoop(), 7);
    std::vector<int> order;
    for (const HostCall& call : Host().calls) {
        if (call.kind != HostCall::INPUT_FILLED && call.kind != HostCall::OUTPUT_DONE) continue;
        EXPECT_EQ(call.kind == HostCall::OUTPUT_DONE, call.a % 3 == 0) << call.a;
        order.push_back(call.a);
    }
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
}

TEST_F(QtTest, PostedCommandRunsAfterTheCurrentHandlerAndAnEarlyQuitEndsTheLoopAtOnce) {
    PostCommand(4, IDM_ABOUT);
    EXPECT_EQ(Host().Count(HostCall::COMMAND), 0);
    Flush();
    EXPECT_EQ(LastCall(HostCall::COMMAND), Call({4, IDM_ABOUT}));
    PostQuit(3);
    EXPECT_EQ(RunEventLoop(), 3);
}

TEST_F(QtTest, OnlyTheFirstDroppedFileIsOpened) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/data/first run.pls")), QUrl::fromLocalFile(QStringLiteral("/data/b.wav"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(PlotWindowWidget(2), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(PlotWindowWidget(2), &drop);
    ASSERT_EQ(Host().Count(HostCall::DROP), 1);
    EXPECT_EQ(LastCall(HostCall::DROP, 1), Call({2}));
    EXPECT_EQ(Host().Last(HostCall::DROP)->text, "/data/first run.pls");

    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.pls"))});
    QDropEvent webDrop(QPointF(5, 5), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(PlotWindowWidget(2), &webDrop);
    EXPECT_EQ(Host().Count(HostCall::DROP), 1) << "only local files are opened";
}

// Runs check on the modal window the next call opens, once it is up.
void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) check(modal);
    });
}

TEST_F(QtTest, MessageBoxesCarryTheIconsAndButtonsOfTheirStyle) {
    const struct {  // text, style, button clicked, answer, icon, text shown
        const char* text; unsigned style; QMessageBox::StandardButton click; int answer; QMessageBox::Icon icon; const char* shown;
    } cases[] = {
        {"Wrong format", MB_OK | MB_ICONHAND, QMessageBox::Ok, IDOK, QMessageBox::Critical, "Wrong format"},
        {"Proceed?", MB_OKCANCEL | MB_ICONQUESTION, QMessageBox::Cancel, IDCANCEL, QMessageBox::Question, "Proceed?"},
        {"Left channel.\r\nWrong", MB_ICONEXCLAMATION, QMessageBox::Ok, IDOK, QMessageBox::Warning, "Left channel.\nWrong"}};
    for (const auto& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString text, title;
        bool hasCancel = false;
        OnNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            text = box->text();
            title = box->windowTitle();
            hasCancel = box->button(QMessageBox::Cancel) != nullptr;
            box->button(c.click)->click();
        });
        EXPECT_EQ(ShowMessage(c.text, c.style), c.answer) << c.text;
        EXPECT_EQ(icon, c.icon) << c.text;
        EXPECT_EQ(text, QString::fromUtf8(c.shown));
        EXPECT_EQ(title, QStringLiteral("TIK"));
        EXPECT_EQ(hasCancel, (c.style & MB_OKCANCEL) != 0) << c.text;
    }

    SetUnattended(true);
    int errors = UnattendedErrorCount();
    EXPECT_EQ(ShowMessage("Left channel shape not updated", MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(UnattendedErrorCount(), errors) << "a warning is no error";
    EXPECT_EQ(ShowMessage("Not supported input format", MB_OKCANCEL | MB_ICONHAND), IDOK);
    EXPECT_EQ(UnattendedErrorCount(), errors + 1);
    char path[64];
    const FileDialogRequest request{"Open Data", "Data\0*.pls\0\0", "pls", OFN_FILEMUSTEXIST};
    EXPECT_FALSE(AskOpenFileName(request, path, sizeof path)) << "nobody is asked while unattended";
    SetUnattended(false);
}

TEST_F(QtTest, FileDialogsUseTitleFiltersAndDefaultExtension) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QString title, suffix;
    QStringList filters;
    bool saving = false;
    OnNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->selectFile(directory.filePath(QStringLiteral("run")));
        static_cast<QDialog*>(dialog)->accept();
    });
    const FileDialogRequest save{"Save Data", "Pulse data (*.pls)\0*.pls\0Text\0*.txt;*.tsv\0\0", "pls",
                                 OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    char path[260];
    ASSERT_TRUE(AskSaveFileName(save, path, sizeof path));
    EXPECT_EQ(QString::fromUtf8(path), directory.filePath(QStringLiteral("run.pls")));
    EXPECT_EQ(QStringList({title, suffix}), QStringList({QStringLiteral("Save Data"), QStringLiteral("pls")}));
    EXPECT_TRUE(saving);
    EXPECT_EQ(filters, QStringList({QStringLiteral("Pulse data (*.pls) (*.pls)"), QStringLiteral("Text (*.txt *.tsv)")}));

    OnNextModal([&](QWidget* w) {
        static_cast<QFileDialog*>(w)->selectFile(directory.filePath(QStringLiteral("run")));
        static_cast<QDialog*>(w)->accept();
    });
    char small[8];
    EXPECT_FALSE(AskSaveFileName(save, small, sizeof small)) << "a path longer than the buffer is refused";

    OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(AskOpenFileName(save, path, sizeof path)) << "cancelled";
}

TEST_F(QtTest, ClipboardAndTextsCarryWindows1252BothWays) {
    ASSERT_TRUE(SetClipboardText("1.5\t2\xB5\r\n3\r\n"));
    std::string text;
    ASSERT_TRUE(GetClipboardText(&text));
    EXPECT_EQ(text, "1.5\t2\xB5\n3\n");
    EXPECT_FALSE(GetClipboardText(nullptr));
    EXPECT_EQ(AnsiToQString("\x80 \xB5 \x93x\x94 \xFF"), QString::fromUtf8("\u20AC \u00B5 \u201Cx\u201D \u00FF"));
    EXPECT_EQ(AnsiToQString("abc", 2), QStringLiteral("ab"));
    EXPECT_EQ(AnsiToQString(nullptr), QString());
    EXPECT_EQ(QStringToAnsi(QString::fromUtf8("\u20AC\u00B5\u2713\U0001F600")), "\x80\xB5??");
    for (int byte = 1; byte < 256; ++byte) {
        char text[2] = {static_cast<char>(byte), 0};
        EXPECT_EQ(QStringToAnsi(AnsiToQString(text)), std::string(text)) << byte;
    }
    EXPECT_EQ(TitleToQString("a\xB5\xC3"), QString::fromUtf8("a\u00B5\u00C3")) << "a cut sequence stays Windows-1252";
    EXPECT_EQ(TitleToQString("\xE2\x82\xAC"), QString::fromUtf8("\u20AC"));
}

// The program answers --help and --version on standard output and returns, even without a display.
TEST(QtProgram, HelpAndVersionAnswerWithoutADisplay) {
    std::string output;
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") + TIK_PATH + "' ";
    FILE* pipe = popen((command + "--version && " + command + "--help 2>/dev/null").c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof(buffer), pipe)) output += buffer;
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0);
    EXPECT_EQ(output.rfind("tik " TIK_VERSION "\nusage: tik [FILE]", 0), 0u) << output;
    EXPECT_NE(output.find("--render DIR"), std::string::npos);
}

}  // namespace
