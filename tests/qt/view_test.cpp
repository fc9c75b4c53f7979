// The Qt view offscreen: a demo window with one control of each kind, checked
// through the real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/window.h"
#include "view/qt_scheduler.h"
#include "view/qt_window_host.h"
#include "view/qt_window_view.h"
#include "view/qt_z_order.h"

namespace fhsw {
namespace {

// One QApplication for the whole test program, made before the first test
// and destroyed after the last one (not at exit, after Qt's own statics).
class QtAppEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[9] = "qt_tests";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};
[[maybe_unused]] ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

QApplication& App() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) {
        ADD_FAILURE() << "the view tests need a QApplication";
        std::abort();
    }
    return *app;
}

// Runs the event loop for `ms` milliseconds.
void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
             const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(to, &release);
}

void Type(QWidget* to, const QString& text) {
    for (QChar ch : text) SendKey(to, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
}

class DemoWindow : public Window {
public:
    explicit DemoWindow(UiContext& ui, Window* owner = nullptr, std::string name = "DEMO")
        : Window(ui, std::move(name), "DEMO - CAPTION", owner),
          title(*this, "TITLE_LABEL", "DEMO <b>TITLE</b>", {120, 120, 2655, 375}),
          field(*this, "FIELD_TEXTBOX", "abc", {2400, 960, 3000, 375}),
          notes(*this, "NOTES_TEXTBOX", "one\r\ntwo", {120, 1500, 3000, 1200}),
          frame(*this, "OPTIONS_FRAME", "Options", {3300, 1500, 3000, 1500}),
          tick(*this, "OPTION_TICKBOX", "Option", {3420, 1800, 1500, 255}),
          ok(*this, "OK_BUTTON", "OK", {6600, 1500, 975, 375}),
          cancel(*this, "CANCEL_BUTTON", "Cancel", {6600, 1980, 975, 375}),
          picture(*this, "Picture1", "no_such_image.jpg", {8000, 120, 1185, 2205}),
          line(*this, "LINE1", {120, 3600, 3000, 0}),
          pulse(*this, "PULSE_TIMER") {
        notes.setMultiLine(true);
        setDefaultButton(&ok);
        setCancelButton(&cancel);
        ok.onPress = [this] { ++okPresses; };
        cancel.onPress = [this] { ++cancelPresses; };
        tick.onChange = [this] { ++tickChanges; };
        title.onDoubleClick = [this] { ++doubleClicks; };
        pulse.onTick = [this] { ++pulses; };
    }

    Label title;
    TextBox field;
    TextBox notes;
    Frame frame;
    TickBox tick;
    Button ok;
    Button cancel;
    PictureBox picture;
    Line line;
    Timer pulse;
    int okPresses = 0, cancelPresses = 0, tickChanges = 0, doubleClicks = 0, pulses = 0;
    int unloads = 0;

protected:
    void load() override {
        setLeft(1500);
        setTop(1200);
        setWidth(10050);
        setHeight(3285);
    }
    void unload() override { ++unloads; }
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        host.onLastWindowClosed = [this] { ++lastClosed; };
    }
    void TearDown() override { FlushDeletes(); }

    template <class T>
    T* widget(DemoWindow& w, const Control& c) {
        QtWindowView* view = host.viewOf(w);
        if (!view) return nullptr;
        return qobject_cast<T*>(view->widgetOf(c));
    }

    QtScheduler scheduler;
    QtWindowHost host;
    UiContext ui{scheduler, host};
    int lastClosed = 0;
};

TEST_F(ViewTest, BuildsWidgetsAtTheirPlacesInFocusOrder) {
    DemoWindow w(ui);
    w.show();
    QtWindowView* view = host.viewOf(w);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(host.widgetOf(w), view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(view->isModal());
    EXPECT_EQ(view->windowTitle(), "DEMO - CAPTION");
    EXPECT_EQ(view->pos(), QPoint(100, 80));
    EXPECT_EQ(view->size(), QSize((10050 - 90) / 15, (3285 - 435) / 15));

    auto* title = widget<QLabel>(w, w.title);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->geometry(), QRect(8, 8, 177, 25));
    EXPECT_EQ(title->text(), "DEMO <b>TITLE</b>");  // shown as typed, not as markup
    EXPECT_EQ(title->textFormat(), Qt::PlainText);

    auto* field = widget<QLineEdit>(w, w.field);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->geometry(), QRect(160, 64, 200, 25));
    EXPECT_EQ(field->text(), "abc");

    auto* notes = widget<QPlainTextEdit>(w, w.notes);
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->toPlainText(), "one\ntwo");
    EXPECT_EQ(notes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    auto* frame = widget<QGroupBox>(w, w.frame);
    auto* tick = widget<QCheckBox>(w, w.tick);
    ASSERT_TRUE(frame && tick);
    EXPECT_EQ(frame->title(), "Options");
    // The tick box is placed in the client area and drawn over the frame.
    EXPECT_EQ(tick->parentWidget(), view);
    EXPECT_EQ(tick->geometry(), QRect(228, 120, 100, 17));
    EXPECT_LT(view->children().indexOf(frame), view->children().indexOf(tick));

    auto* ok = widget<QPushButton>(w, w.ok);
    auto* cancel = widget<QPushButton>(w, w.cancel);
    ASSERT_TRUE(ok && cancel);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(cancel->isDefault());

    auto* picture = widget<QLabel>(w, w.picture);
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->pixmap().isNull());  // a missing image shows nothing

    auto* line = widget<QFrame>(w, w.line);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->geometry(), QRect(8, 240, 201, 1));

    // Focus starts on the first control that takes it and follows the model's order.
    EXPECT_EQ(view->focusWidget(), field);
    EXPECT_EQ(field->nextInFocusChain(), notes);
    QWidget* after = notes->nextInFocusChain();
    while (after && after->focusPolicy() == Qt::NoFocus) after = after->nextInFocusChain();
    EXPECT_EQ(after, tick);
    EXPECT_EQ(tick->nextInFocusChain(), ok);
    EXPECT_EQ(ok->nextInFocusChain(), cancel);
    w.close();
}

TEST_F(ViewTest, ReflectsEveryModelChange) {
    DemoWindow w(ui);
    w.show();
    QtWindowView* view = host.viewOf(w);
    ASSERT_NE(view, nullptr);
    auto* title = widget<QLabel>(w, w.title);
    auto* field = widget<QLineEdit>(w, w.field);
    auto* notes = widget<QPlainTextEdit>(w, w.notes);
    auto* tick = widget<QCheckBox>(w, w.tick);
    auto* ok = widget<QPushButton>(w, w.ok);
    auto* frame = widget<QGroupBox>(w, w.frame);
    ASSERT_TRUE(title && field && notes && tick && ok && frame);

    w.title.setText("NEW TITLE");
    w.field.setText("xyz");
    w.notes.setText("a\r\nb\r\n\r\nc");
    w.ok.setText("STOP");
    w.frame.setText("Choices");
    EXPECT_EQ(title->text(), "NEW TITLE");
    EXPECT_EQ(field->text(), "xyz");
    EXPECT_EQ(notes->toPlainText(), "a\nb\n\nc");
    EXPECT_EQ(ok->text(), "STOP");
    EXPECT_EQ(frame->title(), "Choices");

    w.tick.setTicked(true);
    EXPECT_EQ(tick->checkState(), Qt::Checked);
    w.tick.setState(2);
    EXPECT_EQ(tick->checkState(), Qt::PartiallyChecked);
    w.tick.setState(0);
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);

    w.ok.setEnabled(false);
    w.tick.setVisible(false);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_TRUE(tick->isHidden());
    w.ok.setEnabled(true);
    w.tick.setVisible(true);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(tick->isHidden());

    w.field.setPasswordChar("*");
    w.field.setReadOnly(true);
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(field->isReadOnly());
    w.field.setPasswordChar("");
    w.field.setReadOnly(false);
    EXPECT_EQ(field->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(field->isReadOnly());
    w.notes.setReadOnly(true);
    EXPECT_TRUE(notes->isReadOnly());

    w.title.setPlace({300, 600, 1500, 300});
    EXPECT_EQ(title->geometry(), QRect(20, 40, 100, 20));
    w.title.setBold(true);
    w.title.setPointSize(14);
    w.title.setAlign(Align::Center);
    EXPECT_TRUE(title->font().bold());
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 14.0);
    EXPECT_EQ(title->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // Colours, and back to the style's own when unset.
    const QColor defaultText = field->palette().color(QPalette::Active, QPalette::Text);
    w.title.setForeground(colours::Green);
    w.title.setBackground(colours::Black);
    w.field.setForeground(colours::Red);
    w.field.setBackground(colours::LightCyan);
    w.ok.setBackground(colours::LightGreen);
    EXPECT_EQ(title->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(title->palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_TRUE(title->autoFillBackground());
    EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(field->palette().color(QPalette::Base), QColor(128, 255, 255));
    EXPECT_EQ(ok->palette().color(QPalette::Button), QColor(192, 255, 192));
    w.field.setForeground(std::nullopt);
    w.title.setBackground(std::nullopt);
    EXPECT_EQ(field->palette().color(QPalette::Active, QPalette::Text), defaultText);
    EXPECT_FALSE(title->autoFillBackground());

    // The window itself.
    w.setCaption("OTHER CAPTION");
    EXPECT_EQ(view->windowTitle(), "OTHER CAPTION");
    w.setLeft(3000);
    w.setTop(1500);
    w.setWidth(6090);
    w.setHeight(3435);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->pos(), QPoint(200, 100));
    EXPECT_EQ(view->size(), QSize(400, 200));
    // A program-set position that is not a whole pixel is kept as it is.
    w.setLeft(1507);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->pos().x(), 100);
    EXPECT_FLOAT_EQ(w.left(), 1507.0f);

    // The default button mark follows the model.
    w.setDefaultButton(&w.cancel);
    w.setCaption("AGAIN");
    EXPECT_TRUE(widget<QPushButton>(w, w.cancel)->isDefault());
    EXPECT_FALSE(ok->isDefault());
    w.close();
}

TEST_F(ViewTest, TickBoxBackgroundReallyShows) {
    DemoWindow w(ui);
    w.show();
    auto* tick = widget<QCheckBox>(w, w.tick);
    ASSERT_NE(tick, nullptr);
    w.tick.setBackground(colours::Red);
    w.tick.setForeground(colours::Black);
    const QImage image = tick->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // Right edge, beyond the caption: the background colour.
    EXPECT_EQ(QColor(image.pixel(image.width() - 2, image.height() / 2)), QColor(255, 0, 0));
    w.tick.setBackground(std::nullopt);
    const QImage plain = tick->grab().toImage();
    EXPECT_NE(QColor(plain.pixel(plain.width() - 2, plain.height() / 2)), QColor(255, 0, 0));
    w.close();
}

TEST_F(ViewTest, TextBoxThatTurnsMultiLineGetsTheOtherEditor) {
    DemoWindow w(ui);
    w.show();
    w.field.setText("x\r\ny");
    w.field.setMultiLine(true);
    auto* edit = widget<QPlainTextEdit>(w, w.field);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->toPlainText(), "x\ny");
    EXPECT_EQ(edit->geometry(), QRect(160, 64, 200, 25));
    Type(edit, "z");
    EXPECT_EQ(w.field.text(), "zx\r\ny");
    w.field.setMultiLine(false);
    auto* line = widget<QLineEdit>(w, w.field);
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isHidden());
    w.close();
}

TEST_F(ViewTest, ForwardsUserInput) {
    DemoWindow w(ui);
    w.show();
    QtWindowView* view = host.viewOf(w);
    auto* field = widget<QLineEdit>(w, w.field);
    auto* notes = widget<QPlainTextEdit>(w, w.notes);
    auto* tick = widget<QCheckBox>(w, w.tick);
    auto* ok = widget<QPushButton>(w, w.ok);
    auto* cancel = widget<QPushButton>(w, w.cancel);
    auto* title = widget<QLabel>(w, w.title);
    ASSERT_TRUE(view && field && notes && tick && ok && cancel && title);

    ok->click();
    EXPECT_EQ(w.okPresses, 1);
    w.ok.setEnabled(false);
    ok->click();  // a disabled button does not react
    EXPECT_EQ(w.okPresses, 1);
    w.ok.setEnabled(true);

    // Typing in the one-line field.
    field->setCursorPosition(3);
    Type(field, "de");
    EXPECT_EQ(w.field.text(), "abcde");
    EXPECT_EQ(field->text(), "abcde");

    // Multi-line: CR LF in the model, Ctrl+Enter starts a line, Enter presses OK.
    QTextCursor cursor = notes->textCursor();
    cursor.movePosition(QTextCursor::End);
    notes->setTextCursor(cursor);
    SendKey(notes, Qt::Key_Return, Qt::ControlModifier);
    Type(notes, "x");
    EXPECT_EQ(w.notes.text(), "one\r\ntwo\r\nx");
    SendKey(notes, Qt::Key_Return);
    EXPECT_EQ(w.okPresses, 2);
    EXPECT_EQ(w.notes.text(), "one\r\ntwo\r\nx");
    SendKey(notes, Qt::Key_Escape);
    EXPECT_EQ(w.cancelPresses, 1);

    // Enter in a one-line field presses the default button; Esc the cancel button.
    field->setFocus();
    SendKey(field, Qt::Key_Return);
    EXPECT_EQ(w.okPresses, 3);
    SendKey(field, Qt::Key_Escape);
    EXPECT_EQ(w.cancelPresses, 2);
    // Enter on a focused push button presses that button.
    cancel->setFocus();
    SendKey(cancel, Qt::Key_Return);
    EXPECT_EQ(w.cancelPresses, 3);
    EXPECT_EQ(w.okPresses, 3);

    // Tick box: the change handler runs once, not again through the echo.
    tick->click();
    EXPECT_TRUE(w.tick.ticked());
    EXPECT_EQ(w.tickChanges, 1);
    EXPECT_EQ(tick->checkState(), Qt::Checked);
    w.tick.setTicked(false);  // set by code: once more, widget follows
    EXPECT_EQ(w.tickChanges, 2);
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);
    // A handler that refuses the tick: the widget shows the model's state.
    w.tick.onChange = [&w] {
        ++w.tickChanges;
        if (w.tick.ticked()) w.tick.setTicked(false);
    };
    tick->click();
    EXPECT_FALSE(w.tick.ticked());
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);

    // A click on the caption, far from the box, counts as well.
    w.tick.onChange = [&w] { ++w.tickChanges; };
    const QPointF onCaption(tick->width() - 3, tick->height() / 2);
    QMouseEvent down(QEvent::MouseButtonPress, onCaption, tick->mapToGlobal(onCaption),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, onCaption, tick->mapToGlobal(onCaption),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tick, &down);
    QCoreApplication::sendEvent(tick, &up);
    EXPECT_TRUE(w.tick.ticked());
    EXPECT_EQ(tick->checkState(), Qt::Checked);

    // Read-only and disabled fields ignore typing.
    w.field.setReadOnly(true);
    Type(field, "q");
    EXPECT_EQ(w.field.text(), "abcde");
    EXPECT_EQ(field->text(), "abcde");

    // Label double-click.
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(title, &dbl);
    EXPECT_EQ(w.doubleClicks, 1);

    // Moved by the user: the frame position in twips.
    view->move(QPoint(210, 95));
    QCoreApplication::processEvents();
    EXPECT_FLOAT_EQ(w.left(), 3150.0f);
    EXPECT_FLOAT_EQ(w.top(), 1425.0f);
    w.close();
}

TEST_F(ViewTest, CloseControlClosesTheModelAndTheView) {
    DemoWindow w(ui);
    w.pulse.setInterval(10);
    w.show();
    w.pulse.start();
    QPointer<QtWindowView> view = host.viewOf(w);
    ASSERT_TRUE(view);
    view->close();
    EXPECT_TRUE(w.isClosed());
    EXPECT_EQ(w.unloads, 1);
    EXPECT_FALSE(w.pulse.running());
    EXPECT_EQ(host.widgetOf(w), nullptr);
    EXPECT_EQ(lastClosed, 1);
    FlushDeletes();
    EXPECT_TRUE(view.isNull());

    // A model closed by code takes its view away as well.
    DemoWindow second(ui, nullptr, "SECOND");
    second.show();
    QPointer<QtWindowView> secondView = host.viewOf(second);
    ASSERT_TRUE(secondView);
    second.close();
    EXPECT_FALSE(secondView->isVisible());
    EXPECT_EQ(lastClosed, 2);
    FlushDeletes();
    EXPECT_TRUE(secondView.isNull());
}

TEST_F(ViewTest, RunModalReturnsAfterTheDialogClosesWhileOwnerTimersTick) {
    DemoWindow main(ui);
    main.show();
    main.pulse.setInterval(10);
    main.pulse.start();
    DemoWindow dialog(ui, &main, "DIALOG");
    dialog.ok.onPress = [&dialog] { dialog.close(); };

    bool checked = false;
    QTimer::singleShot(200, [&] {
        QtWindowView* view = host.viewOf(dialog);
        ASSERT_NE(view, nullptr);
        checked = true;
        EXPECT_EQ(view->parentWidget(), host.widgetOf(main));
        EXPECT_EQ(view->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(view->isVisible());
        view->close();  // the dialog's close control
    });
    QElapsedTimer clock;
    clock.start();
    main.showModal(dialog);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(dialog.isClosed());
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_GE(main.pulses, 5);  // the owner's timer kept ticking
    EXPECT_EQ(main.modalChild(), nullptr);
    EXPECT_EQ(lastClosed, 0);  // the main window is still there

    // The dialog's OK closes it just as well.
    DemoWindow again(ui, &main, "AGAIN");
    again.ok.onPress = [&again] { again.close(); };
    QTimer::singleShot(20, [&] {
        if (auto* b = widget<QPushButton>(again, again.ok)) b->click();
    });
    main.showModal(again);
    EXPECT_TRUE(again.isClosed());
    main.close();
    EXPECT_EQ(lastClosed, 1);
}

TEST_F(ViewTest, OwnerClosingEndsItsModalDialog) {
    DemoWindow main(ui);
    main.show();
    DemoWindow dialog(ui, &main, "DIALOG");
    main.pulse.setInterval(30);
    main.pulse.onTick = [&main] { main.close(); };  // an auto-close while the dialog is open
    main.pulse.start();
    QTimer guard;  // in case the nested loop never ends
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { dialog.close(); });
    guard.start(3000);
    main.showModal(dialog);
    EXPECT_TRUE(guard.isActive());
    EXPECT_TRUE(main.isClosed());
    EXPECT_TRUE(dialog.isClosed());
    EXPECT_EQ(dialog.unloads, 1);
    EXPECT_EQ(lastClosed, 1);
}

TEST(QtSchedulerTest, RunsByDueTimeThenOrderAndCancels) {
    App();
    QtScheduler s;
    std::vector<std::string> log;
    s.callAfter(200, [&] { log.push_back("a200"); });
    s.callAfter(10, [&] { log.push_back("b10"); });
    const auto c = s.callAfter(10, [&] { log.push_back("c10"); });
    s.callAfter(10, [&] { log.push_back("d10"); });
    s.callAfter(0, [&] { log.push_back("e0"); });
    Scheduler::TaskId late = 0;
    const auto first = s.callAfter(20, [&] {
        log.push_back("f20");
        s.cancel(late);  // a pending task cancelled by a running one
        s.callAfter(5, [&] { log.push_back("g25"); });
    });
    late = s.callAfter(300, [&] { log.push_back("never"); });
    s.cancel(c);
    s.cancel(999);  // unknown: ignored
    EXPECT_EQ(s.pending(), 6u);
    QElapsedTimer clock;
    clock.start();
    while (s.pending() > 0 && clock.elapsed() < 2000) QCoreApplication::processEvents(
        QEventLoop::WaitForMoreEvents, 20);
    Spin(80);
    EXPECT_EQ(log, (std::vector<std::string>{"e0", "b10", "d10", "f20", "g25", "a200"}));
    s.cancel(first);  // already ran: ignored
    s.callAfter(5, [&] { log.push_back("h"); });
    Spin(30);
    EXPECT_EQ(log.back(), "h");
    EXPECT_EQ(s.pending(), 0u);
}

TEST(QtSchedulerTest, DrivesWindowTimers) {
    App();
    QtScheduler s;
    QtWindowHost host;
    UiContext ui{s, host};
    DemoWindow w(ui);
    w.pulse.setInterval(15);
    w.pulse.start();
    Spin(100);
    const int ticks = w.pulses;
    EXPECT_GE(ticks, 3);
    w.pulse.stop();
    Spin(50);
    EXPECT_EQ(w.pulses, ticks);
}

TEST(QtZOrderTest, OffscreenHasNoWindowManagerOrder) {
    App();
    QtWindowHost host;
    auto z = MakeZOrder(host);
    ASSERT_NE(z, nullptr);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        EXPECT_NE(dynamic_cast<NoZOrder*>(z.get()), nullptr);
        EXPECT_EQ(z->foregroundWindow(), 0u);
    }
}

}  // namespace
}  // namespace fhsw
