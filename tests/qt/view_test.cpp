// The Qt view offscreen: a demo window with a control of each kind that the
// windows use, checked through the real widgets.
#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <string>
#include <vector>

#include "forms/about_window.h"
#include "forms/main_window.h"
#include "tests/support/test_app.h"
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

// Each handler notes its run in `log`.
struct DemoWindow : Window {
    explicit DemoWindow(UiContext& ui, Window* owner = nullptr, std::string name = "DEMO")
        : Window(ui, std::move(name), "DEMO - CAPTION", owner) {
        setLeft(1500);
        setTop(1200);
        setWidth(10050);
        setHeight(3285);
        StyleAsTitle(title);
        notes.setMultiLine(true);
        secret.setPasswordChar("*");
        setDefaultButton(&ok);
        setCancelButton(&cancel);
        ok.onPress = [this] { log += "ok "; };
        cancel.onPress = [this] { log += "cancel "; };
        tick.onChange = [this] { log += "tick "; };
        title.onDoubleClick = [this] { log += "double-click "; };
    }
    void unload() override { log += "unload "; }

    // 240 x 25 pixels, like the status line.
    Label title{*this, "TITLE_LABEL", "DEMO <b>TITLE</b>", {120, 120, 3600, 375}};
    TextBox field{*this, "FIELD_TEXTBOX", "abc", {2400, 960, 3000, 375}};
    TextBox secret{*this, "SECRET_TEXTBOX", "secret", {2400, 1320, 3000, 375}};
    TextBox notes{*this, "NOTES_TEXTBOX", "one\r\ntwo", {120, 1500, 3000, 1200}};
    TickBox tick{*this, "OPTION_TICKBOX", "Option", {3420, 1800, 1500, 255}};
    Button ok{*this, "OK_BUTTON", "OK", {6600, 1500, 975, 375}};
    Button cancel{*this, "CANCEL_BUTTON", "Cancel", {6600, 1980, 975, 375}};
    Timer pulse{*this, "PULSE_TIMER"};
    std::string log;
    int pulses = 0;
};

// The demo window `w`, shown, and its widgets.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.onLastWindowClosed = [this] { ++lastClosed; };
        ASSERT_TRUE(view && title && field && secret && notes && tick && ok && cancel);
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
    QLineEdit* const secret = widget<QLineEdit>(w.secret);
    QPlainTextEdit* const notes = widget<QPlainTextEdit>(w.notes);
    QCheckBox* const tick = widget<QCheckBox>(w.tick);
    QPushButton* const ok = widget<QPushButton>(w.ok);
    QPushButton* const cancel = widget<QPushButton>(w.cancel);
};

TEST_F(ViewTest, ShowsTheModelAndFollowsItsChanges) {
    // Twips to pixels, 15 to one.
    EXPECT_EQ(view->pos(), QPoint(100, 80));
    EXPECT_EQ(field->geometry(), QRect(160, 64, 200, 25));
    EXPECT_EQ(title->text(), "DEMO <b>TITLE</b>");  // shown as typed
    EXPECT_TRUE(ok->isDefault());
    // Focus starts on the first control that takes it and follows the model's order.
    EXPECT_EQ(view->focusWidget(), field);
    std::vector<QWidget*> chain;
    for (QWidget* at = field; chain.size() < 6; at = at->nextInFocusChain())
        if (at->focusPolicy() != Qt::NoFocus) chain.push_back(at);
    EXPECT_EQ(chain, (std::vector<QWidget*>{field, secret, notes, tick, ok, cancel}));

    for (Control* c : std::initializer_list<Control*>{&w.title, &w.field, &w.ok}) c->setText(c->name());
    w.notes.setText("a\r\nb\r\n\r\nc");
    w.tick.setState(2);
    w.ok.setEnabled(false);
    w.field.setVisible(false);
    EXPECT_EQ((QStringList{title->text(), field->text(), ok->text(), notes->toPlainText()}),
              (QStringList{"TITLE_LABEL", "FIELD_TEXTBOX", "OK_BUTTON", "a\nb\n\nc"}));
    EXPECT_EQ(tick->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_TRUE(field->isHidden());
    // The window itself; a program-set position that is not a whole pixel is kept.
    w.setLeft(3007);
    EXPECT_EQ(view->windowTitle(), "DEMO - CAPTION");
    EXPECT_EQ(view->pos(), QPoint(200, 80));
    EXPECT_FLOAT_EQ(w.left(), 3007.0f);

    // Colours: the title look, a field's text and face.
    auto colour = [](QWidget* x, auto role) { return x->palette().color(QPalette::Active, role); };
    w.field.setForeground(colours::Red);
    w.field.setBackground(colours::LightCyan);
    EXPECT_EQ((std::vector{colour(title, QPalette::WindowText), colour(title, QPalette::Window),
                           colour(field, QPalette::Text), colour(field, QPalette::Base)}),
              (std::vector<QColor>{{0, 255, 0}, {0, 0, 0}, {255, 0, 0}, {128, 255, 255}}));
    // The tick box's background really shows at its right edge, beyond the
    // caption, and goes back to the style's own when unset.
    for (auto [background, shown] : {std::pair{std::optional{colours::Red}, true}, {std::nullopt, false}}) {
        w.tick.setBackground(background);
        const QImage image = tick->grab().toImage();
        EXPECT_EQ(QColor(image.pixel(image.width() - 2, image.height() / 2)) == QColor(255, 0, 0), shown);
    }
}

TEST_F(ViewTest, ForwardsUserInput) {
    ok->click();
    // Typing, also into a text longer than Qt's usual limit of 32767, which is kept whole.
    w.field.setText(std::string(40000, 'y'));
    field->end(false);
    QTest::keyClick(field, Qt::Key_Z);
    EXPECT_EQ(w.field.text(), std::string(40000, 'y') + "z");
    // A masked field shows the model's mask character and edits the real text.
    secret->end(false);
    QTest::keyClick(secret, Qt::Key_Z);
    EXPECT_EQ(secret->displayText(), "*******");
    EXPECT_EQ(w.secret.text(), "secretz");
    w.secret.setPasswordChar("");
    EXPECT_EQ(secret->displayText(), "secretz");

    // Multi-line: CR LF in the model, Ctrl+Enter starts a line, Enter presses OK, Esc Cancel.
    notes->moveCursor(QTextCursor::End);
    QTest::keyClick(notes, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(notes, Qt::Key_X);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClick(notes, Qt::Key_Escape);
    EXPECT_EQ(w.notes.text(), "one\r\ntwo\r\nx");
    // In a one-line field Enter presses the default button and Esc the cancel button;
    // Enter on a focused push button presses that button.
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Escape);
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);

    // A tick-box click runs the change handler once, not again through the echo; so does
    // a click on its caption, far from the box.
    tick->click();
    QTest::mouseClick(tick, Qt::LeftButton, {}, QPoint(tick->width() - 3, tick->height() / 2));
    EXPECT_FALSE(w.tick.ticked());
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(w.log, "ok ok cancel ok cancel cancel tick tick double-click ");

    // A handler that refuses the tick: the widget shows the model's state.
    w.tick.onChange = [this] {
        if (w.tick.ticked()) w.tick.setTicked(false);
    };
    tick->click();
    EXPECT_FALSE(w.tick.ticked());
    EXPECT_EQ(tick->checkState(), Qt::Unchecked);
}

// A text longer than its label is never cut: it wraps, in a smaller face when
// needed, and the whole text is the tooltip; one that fits is left as it is.
TEST_F(ViewTest, LongTextsAreShownWhole) {
    struct Case {
        std::string text;
        bool fitsOnOneLine;  // at the model's size
        bool wholeOnScreen;  // wrapped in the label at the size shown
    } cases[] = {
        {"!!! SEND FAILED: cannot start /opt/mailers/fh-sendwarden-run: No such file or directory !!!", false, true},
        // One long word: no face is small enough; the tooltip holds it.
        {"!!! SEND FAILED: " + std::string(120, 'x') + " !!!", false, false},
        {"READY...", true, true},  // back to the model's face, no tooltip
    };
    for (const Case& c : cases) {
        w.title.setText(c.text);
        const QString whole = QString::fromStdString(c.text);
        EXPECT_EQ(title->toolTip(), c.fitsOnOneLine ? QString() : whole) << c.text;
        EXPECT_EQ(title->font().pointSizeF() < 12.0, !c.fitsOnOneLine) << c.text;
        EXPECT_GE(title->font().pointSizeF(), 6.0);
        const QRect need =
            QFontMetrics(title->font()).boundingRect(QRect(0, 0, title->width(), 10000), Qt::TextWordWrap, whole);
        EXPECT_EQ(need.width() <= title->width() && need.height() <= title->height(), c.wholeOnScreen) << c.text;
    }
}

// A notice (a setting that could not be stored) shows along the window's
// bottom, whole in its tooltip, until it is clicked away.
TEST_F(ViewTest, NoticeShowsUntilClicked) {
    const QString message = "!!! SETTING NOT STORED: FH_SENDWARDEN.ini: Read-only file system - "
                            "the change is lost when the program ends !!!";
    w.setNotice(message.toStdString());
    QLabel* notice = nullptr;
    for (QLabel* label : view->findChildren<QLabel*>())
        if (label->isVisible() && label->text().startsWith(message)) notice = label;
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->toolTip(), message);
    EXPECT_EQ(notice->geometry(), QRect(0, view->height() - notice->height(), view->width(), notice->height()));
    EXPECT_LE(notice->height(), view->height() / 2);
    QTest::mouseClick(notice, Qt::LeftButton);
    EXPECT_EQ(w.notice(), "");
    EXPECT_FALSE(notice->isVisible());
}

// The real About window opens with the focus on OK: its first controls are
// read-only texts, which take no initial focus (it would select them).
TEST_F(ViewTest, AboutWindowOpensWithNothingSelected) {
    test::TestApp fakes;
    MainWindow main(fakes.ctx);
    AboutWindow about(fakes.ctx, main);
    QtWindowView aboutView(about);
    EXPECT_EQ(aboutView.focusWidget(), aboutView.widgetOf(about.OK_BUTTON));
}

// runModal returns once the dialog has closed by its close control, pressed
// here by the owner's timer, which keeps ticking meanwhile; the owner's close
// control ends the program.
TEST_F(ViewTest, DialogsRunModallyAndCloseControlsCloseTheModel) {
    DemoWindow dialog(ui, &w, "DIALOG");
    w.pulse.onTick = [&] {
        if (++w.pulses == 5) host.viewOf(dialog)->close();
    };
    w.pulse.setInterval(10);
    w.pulse.start();
    w.showModal(dialog);
    EXPECT_EQ(dialog.log, "unload ");
    EXPECT_EQ(lastClosed, 0);

    QPointer<QtWindowView> owner = view;
    view->close();
    EXPECT_EQ(w.log, "unload ");
    EXPECT_EQ(lastClosed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(owner.isNull());
}

}  // namespace
}  // namespace fhsw
