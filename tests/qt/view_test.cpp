// The Qt view offscreen: a demo window with a control of each kind that the
// windows use, checked through the real widgets.
#include <gtest/gtest.h>

#include <QtWidgets>
#include <string>
#include <vector>

#include "forms/about_window.h"
#include "forms/main_window.h"
#include "tests/support/test_app.h"
#include "ui/window.h"
#include "view/qt/qt_scheduler.h"
#include "view/qt/qt_window_host.h"
#include "view/qt/qt_window_view.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace fhsw {
namespace {

// One QApplication for the whole program, made before the first test and
// destroyed after the last one (not at exit, after Qt's own statics).
struct QtApp final : ::testing::Environment {
    int argc = 1;
    char* argv[2] = {const_cast<char*>("qt_tests"), nullptr};
    QApplication* app = nullptr;
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = new QApplication(argc, argv);
    }
    void TearDown() override { delete app; }
};
[[maybe_unused]] auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApp);

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers mods = {}, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text), up(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(to, &down);
    QCoreApplication::sendEvent(to, &up);
}

void Mouse(QWidget* to, QEvent::Type type, QPointF at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
}

// Each handler notes its run in `log`.
struct DemoWindow : Window {
    explicit DemoWindow(UiContext& ui, Window* owner = nullptr, std::string name = "DEMO")
        : Window(ui, std::move(name), "DEMO - CAPTION", owner) {
        setLeft(1500);
        setTop(1200);
        setWidth(10050);
        setHeight(3285);
        notes.setMultiLine(true);
        setDefaultButton(&ok);
        setCancelButton(&cancel);
        ok.onPress = [this] { log += "ok "; };
        cancel.onPress = [this] { log += "cancel "; };
        tick.onChange = [this] { log += "tick "; };
        title.onDoubleClick = [this] { log += "double-click "; };
        pulse.onTick = [this] { ++pulses; };
    }
    void unload() override { log += "unload "; }

    Label title{*this, "TITLE_LABEL", "DEMO <b>TITLE</b>", {120, 120, 2655, 375}};
    TextBox field{*this, "FIELD_TEXTBOX", "abc", {2400, 960, 3000, 375}};
    TextBox notes{*this, "NOTES_TEXTBOX", "one\r\ntwo", {120, 1500, 3000, 1200}};
    Frame frame{*this, "OPTIONS_FRAME", "Options", {3300, 1500, 3000, 1500}};
    TickBox tick{*this, "OPTION_TICKBOX", "Option", {3420, 1800, 1500, 255}};
    Button ok{*this, "OK_BUTTON", "OK", {6600, 1500, 975, 375}};
    Button cancel{*this, "CANCEL_BUTTON", "Cancel", {6600, 1980, 975, 375}};
    Line line{*this, "LINE1", {120, 3600, 3000, 0}};
    Timer pulse{*this, "PULSE_TIMER"};
    std::string log;
    int pulses = 0;
};

// The demo window `w`, shown, and its widgets.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.onLastWindowClosed = [this] { ++lastClosed; };
        ASSERT_TRUE(view && title && field && notes && frame && tick && ok && cancel);
    }
    void TearDown() override {
        w.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    template <class T>
    T* widget(const Control& c) { return view ? qobject_cast<T*>(view->widgetOf(c)) : nullptr; }

    QtScheduler scheduler;
    QtWindowHost host;
    UiContext ui{scheduler, host};
    int lastClosed = 0;
    DemoWindow w{ui};
    QtWindowView* const view = (w.show(), host.viewOf(w));
    QLabel* const title = widget<QLabel>(w.title);
    QLineEdit* const field = widget<QLineEdit>(w.field);
    QPlainTextEdit* const notes = widget<QPlainTextEdit>(w.notes);
    QGroupBox* const frame = widget<QGroupBox>(w.frame);
    QCheckBox* const tick = widget<QCheckBox>(w.tick);
    QPushButton* const ok = widget<QPushButton>(w.ok);
    QPushButton* const cancel = widget<QPushButton>(w.cancel);
};

// Built in pixels from twips, in focus order, then following every model change.
TEST_F(ViewTest, ShowsTheModelAndFollowsEveryChange) {
    EXPECT_EQ(view->pos(), QPoint(100, 80));
    EXPECT_EQ(view->size(), QSize(664, 190));  // the client area inside a 6 by 29 pixel frame
    EXPECT_EQ(title->geometry(), QRect(8, 8, 177, 25));
    EXPECT_EQ(field->geometry(), QRect(160, 64, 200, 25));
    EXPECT_EQ(widget<QFrame>(w.line)->geometry(), QRect(8, 240, 201, 1));
    EXPECT_EQ(title->textFormat(), Qt::PlainText);  // "DEMO <b>TITLE</b>" shown as typed
    EXPECT_TRUE(ok->isDefault());
    // The tick box sits in the client area, drawn over the frame.
    EXPECT_EQ(tick->parentWidget(), view);
    EXPECT_EQ(tick->geometry(), QRect(228, 120, 100, 17));
    EXPECT_LT(view->children().indexOf(frame), view->children().indexOf(tick));
    // Focus starts on the first control that takes it and follows the model's order.
    EXPECT_EQ(view->focusWidget(), field);
    std::vector<QWidget*> chain;
    for (QWidget* at = field; chain.size() < 5; at = at->nextInFocusChain())
        if (at->focusPolicy() != Qt::NoFocus) chain.push_back(at);
    EXPECT_EQ(chain, (std::vector<QWidget*>{field, notes, tick, ok, cancel}));

    for (Control* c : std::vector<Control*>{&w.title, &w.field, &w.ok, &w.frame})
        c->setText(c->name());
    w.notes.setText("a\r\nb\r\n\r\nc");
    EXPECT_EQ((QStringList{title->text(), field->text(), ok->text(), frame->title()}),
              (QStringList{"TITLE_LABEL", "FIELD_TEXTBOX", "OK_BUTTON", "OPTIONS_FRAME"}));
    EXPECT_EQ(notes->toPlainText(), "a\nb\n\nc");
    for (auto [state, shown] :
         {std::pair{1, Qt::Checked}, {2, Qt::PartiallyChecked}, {0, Qt::Unchecked}}) {
        w.tick.setState(state);
        EXPECT_EQ(tick->checkState(), shown) << state;
    }
    for (bool on : {false, true}) {
        w.ok.setEnabled(on);
        w.tick.setVisible(on);
        w.field.setReadOnly(!on);
        w.notes.setReadOnly(!on);
        EXPECT_EQ(ok->isEnabled(), on);
        EXPECT_EQ(tick->isHidden(), !on);
        EXPECT_EQ(field->isReadOnly(), !on);
        EXPECT_EQ(notes->isReadOnly(), !on);
    }
    w.title.setPlace({300, 600, 3000, 450});
    w.title.setBold(true);
    w.title.setPointSize(14);
    w.title.setAlign(Align::Center);
    EXPECT_EQ(title->geometry(), QRect(20, 40, 200, 30));
    EXPECT_TRUE(title->font().bold());
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 14.0);
    EXPECT_EQ(title->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // The window itself; a program-set position that is not a whole pixel is kept.
    w.setCaption("OTHER CAPTION");
    w.setLeft(3007);
    w.setTop(1500);
    w.setWidth(6090);
    w.setHeight(3435);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->windowTitle(), "OTHER CAPTION");
    EXPECT_EQ(view->pos(), QPoint(200, 100));
    EXPECT_EQ(view->size(), QSize(400, 200));
    EXPECT_FLOAT_EQ(w.left(), 3007.0f);

    // Colours, and back to the style's own when unset.
    auto colour = [](QWidget* x, auto role) { return x->palette().color(QPalette::Active, role); };
    w.title.setForeground(colours::Green);
    w.title.setBackground(colours::Black);
    w.field.setForeground(colours::Red);
    w.field.setBackground(colours::LightCyan);
    w.ok.setBackground(colours::LightGreen);
    EXPECT_EQ(colour(title, QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(colour(title, QPalette::Window), QColor(0, 0, 0));
    EXPECT_TRUE(title->autoFillBackground());
    EXPECT_EQ(colour(field, QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(colour(field, QPalette::Base), QColor(128, 255, 255));
    EXPECT_EQ(colour(ok, QPalette::Button), QColor(192, 255, 192));
    w.title.setBackground(std::nullopt);
    EXPECT_FALSE(title->autoFillBackground());

    // The tick box's background really shows at its right edge, beyond the caption.
    auto edge = [this] {
        const QImage image = tick->grab().toImage();
        return QColor(image.pixel(image.width() - 2, image.height() / 2));
    };
    w.tick.setBackground(colours::Red);
    EXPECT_EQ(edge(), QColor(255, 0, 0));
    w.tick.setBackground(std::nullopt);
    EXPECT_NE(edge(), QColor(255, 0, 0));
}

TEST_F(ViewTest, ForwardsUserInput) {
    ok->click();
    w.ok.setEnabled(false);
    ok->click();  // a disabled button does not react
    w.ok.setEnabled(true);
    field->setCursorPosition(3);
    SendKey(field, Qt::Key_D, {}, "d");
    SendKey(field, Qt::Key_E, {}, "e");
    w.field.setReadOnly(true);
    SendKey(field, Qt::Key_Q, {}, "q");  // a read-only field ignores typing
    EXPECT_EQ(w.field.text(), "abcde");
    EXPECT_EQ(field->text(), "abcde");
    // A text longer than Qt's usual limit of 32767 is kept whole when typed into.
    w.field.setReadOnly(false);
    w.field.setText(std::string(40000, 'y'));
    field->end(false);
    SendKey(field, Qt::Key_Z, {}, "z");
    EXPECT_EQ(w.field.text(), std::string(40000, 'y') + "z");
    w.field.setText("abcde");

    // Multi-line: CR LF in the model, Ctrl+Enter starts a line, Enter presses OK, Esc Cancel.
    notes->moveCursor(QTextCursor::End);
    SendKey(notes, Qt::Key_Return, Qt::ControlModifier);
    SendKey(notes, Qt::Key_X, {}, "x");
    SendKey(notes, Qt::Key_Return);
    SendKey(notes, Qt::Key_Escape);
    EXPECT_EQ(w.notes.text(), "one\r\ntwo\r\nx");
    // In a one-line field Enter presses the default button and Esc the cancel button;
    // Enter on a focused push button presses that button.
    SendKey(field, Qt::Key_Return);
    SendKey(field, Qt::Key_Escape);
    cancel->setFocus();
    SendKey(cancel, Qt::Key_Return);

    // A tick-box click runs the change handler once, not again through the echo; so does
    // a click on its caption, far from the box.
    tick->click();
    const QPointF onCaption(tick->width() - 3, tick->height() / 2);
    Mouse(tick, QEvent::MouseButtonPress, onCaption, Qt::LeftButton);
    Mouse(tick, QEvent::MouseButtonRelease, onCaption, Qt::NoButton);
    EXPECT_FALSE(w.tick.ticked());
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);
    Mouse(title, QEvent::MouseButtonDblClick, QPointF(3, 3), Qt::LeftButton);
    EXPECT_EQ(w.log, "ok ok cancel ok cancel cancel tick tick double-click ");

    // A handler that refuses the tick: the widget shows the model's state.
    w.tick.onChange = [this] {
        if (w.tick.ticked()) w.tick.setTicked(false);
    };
    tick->click();
    EXPECT_FALSE(w.tick.ticked());
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);

    view->move(QPoint(210, 95));  // moved by the user: the frame position in twips
    QCoreApplication::processEvents();
    EXPECT_FLOAT_EQ(w.left(), 3150.0f);
    EXPECT_FLOAT_EQ(w.top(), 1425.0f);
}

// A text longer than its label is never cut: it wraps, in a smaller face when
// needed, and the whole text is the tooltip; one that fits is left as it is.
TEST_F(ViewTest, LongTextsAreShownWhole) {
    const std::string reason(120, 'x');
    struct Case {
        std::string text;
        bool fitsOnOneLine;   // at the model's size
        bool wholeOnScreen;   // wrapped in the label at the size shown
    } cases[] = {
        {"READY...", true, true},
        {"!!! COMPLETED - CLOSING WHEN DIALOG CLOSES !!!", false, true},
        {"!!! SEND FAILED: cannot start /opt/mailers/fh-sendwarden-run: No such file or directory !!!",
         false, true},
        // One long word: no face is small enough; the tooltip holds it.
        {"!!! SEND FAILED: " + reason + " !!!", false, false},
    };
    w.title.setPlace({120, 120, 3600, 375});  // 240 x 25 pixels, like a status line
    w.title.setBold(true);
    w.title.setPointSize(12);
    for (const Case& c : cases) {
        w.title.setText(c.text);
        const QString whole = QString::fromStdString(c.text);
        EXPECT_EQ(title->text(), whole);
        EXPECT_EQ(title->toolTip(), c.fitsOnOneLine ? QString() : whole) << c.text;
        EXPECT_EQ(title->font().pointSizeF() < 12.0, !c.fitsOnOneLine) << c.text;
        EXPECT_GE(title->font().pointSizeF(), 6.0);
        const QRect need = QFontMetrics(title->font())
                               .boundingRect(QRect(0, 0, title->width(), 10000),
                                             Qt::TextWordWrap, whole);
        EXPECT_EQ(need.width() <= title->width() && need.height() <= title->height(),
                  c.wholeOnScreen)
            << c.text << ": needs " << need.width() << "x" << need.height();
    }
    // Back to a short text: the model's face again, no tooltip.
    w.title.setText("READY...");
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 12.0);
    EXPECT_TRUE(title->toolTip().isEmpty());
}

// A notice (a setting that could not be stored) shows along the window's
// bottom, whole, until it is clicked away; a password field shows the
// model's mask character and still edits the real text.
TEST_F(ViewTest, NoticesAndPasswordMask) {
    const std::string message =
        "!!! SETTING NOT STORED: FH_SENDWARDEN.ini: Read-only file system - "
        "the change is lost when the program ends !!!";
    w.setNotice(message);
    auto* notice = view->findChild<QLabel*>("FHSW_NOTICE");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().startsWith(QString::fromStdString(message)));
    EXPECT_EQ(notice->toolTip(), QString::fromStdString(message));
    EXPECT_EQ(notice->geometry().bottom(), view->height() - 1);
    EXPECT_EQ(notice->width(), view->width());
    Mouse(notice, QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton);
    Mouse(notice, QEvent::MouseButtonRelease, QPointF(5, 5), Qt::NoButton);
    EXPECT_EQ(w.notice(), "");
    EXPECT_FALSE(notice->isVisible());

    w.field.setText("secret");
    for (const char* mask : {"*", "#", ""}) {
        w.field.setPasswordChar(mask);
        EXPECT_EQ(field->displayText(), *mask ? QString(6, QChar(*mask)) : QString("secret")) << mask;
    }
    // Typing into a masked field still edits the real text.
    w.field.setPasswordChar("*");
    field->setFocus();
    field->setCursorPosition(6);
    SendKey(field, Qt::Key_Backspace);
    SendKey(field, Qt::Key_Z, {}, "z");
    EXPECT_EQ(w.field.text(), "secrez");
    EXPECT_EQ(field->displayText(), "******");
}

// The real About window opens with nothing selected: its first controls are
// read-only texts, which take no initial focus (it would select them); the
// focus is on OK.
TEST_F(ViewTest, AboutWindowOpensWithNothingSelected) {
    test::TestApp fakes;  // its store and platform fakes, shown through the Qt host
    AppContext app{ui, fakes.store, fakes.launcher, fakes.processes, fakes.zorder, fakes.files};
    MainWindow main(app);
    AboutWindow about(app, main);
    QtWindowView aboutView(about);
    aboutView.show();
    QCoreApplication::processEvents();
    for (Control* c : about.controls()) {
        if (auto* line = qobject_cast<QLineEdit*>(aboutView.widgetOf(*c))) {
            EXPECT_FALSE(line->hasSelectedText()) << c->name();
        }
        if (auto* edit = qobject_cast<QPlainTextEdit*>(aboutView.widgetOf(*c))) {
            EXPECT_FALSE(edit->textCursor().hasSelection()) << c->name();
        }
    }
    EXPECT_EQ(aboutView.focusWidget(), aboutView.widgetOf(about.OK_BUTTON));
    about.close();
    main.close();
}

TEST_F(ViewTest, CloseControlClosesTheModelAndTheView) {
    QPointer<QtWindowView> first = view;
    view->close();
    EXPECT_TRUE(w.isClosed());
    EXPECT_EQ(w.log, "unload ");
    EXPECT_EQ(lastClosed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

// runModal returns once the dialog has closed (by its close control), the owner's
// timer ticking meanwhile; an owner closed by code (auto-close) ends its dialog too.
TEST_F(ViewTest, RunModalWhileOwnerTimersTickAndOwnerClosingUnderADialog) {
    w.pulse.setInterval(10);
    w.pulse.start();
    DemoWindow dialog(ui, &w, "DIALOG");
    QObject context;  // takes the pending single shots away with the test
    bool checked = false;
    QTimer::singleShot(200, &context, [&] {
        QtWindowView* dialogView = host.viewOf(dialog);
        ASSERT_NE(dialogView, nullptr);
        checked = true;
        EXPECT_EQ(dialogView->parentWidget(), view);
        EXPECT_EQ(dialogView->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(dialogView->isVisible());
        dialogView->close();  // the dialog's close control
    });
    w.showModal(dialog);
    EXPECT_TRUE(checked);
    EXPECT_EQ(dialog.log, "unload ");
    EXPECT_GE(w.pulses, 5);    // the owner's timer kept ticking
    EXPECT_EQ(lastClosed, 0);  // and the owner is still there

    DemoWindow second(ui, &w, "SECOND");
    w.pulse.onTick = [this] { w.close(); };
    QTimer::singleShot(3000, &context, [&] {  // in case the nested loop never ends
        ADD_FAILURE() << "the dialog outlived its owner";
        second.close();
    });
    QPointer<QtWindowView> owner = view;
    w.showModal(second);
    EXPECT_TRUE(w.isClosed());
    EXPECT_EQ(second.log, "unload ");
    EXPECT_EQ(lastClosed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(owner.isNull());
}

TEST(QtSchedulerTest, RunsByDueTimeThenOrderAndCancels) {
    QtScheduler s;
    std::vector<std::string> log;
    auto note = [&log](const char* what) { return [&log, what] { log.push_back(what); }; };
    s.callAfter(200, note("a200"));
    s.callAfter(10, note("b10"));
    const auto c = s.callAfter(10, note("c10"));
    s.callAfter(10, note("d10"));
    s.callAfter(0, note("e0"));
    Scheduler::TaskId late = 0, first = 0;
    first = s.callAfter(20, [&] {
        log.push_back("f20");
        s.cancel(late);  // a pending task cancelled by a running one
        s.callAfter(5, [&] {
            log.push_back("g25");
            s.cancel(first);  // already ran: ignored
        });
    });
    late = s.callAfter(300, note("never"));
    s.cancel(c);
    s.cancel(999);  // unknown: ignored
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(log, (std::vector<std::string>{"e0", "b10", "d10", "f20", "g25", "a200"}));
    EXPECT_EQ(s.pending(), 0u);
}

}  // namespace
}  // namespace fhsw
