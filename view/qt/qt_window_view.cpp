#include "view/qt/qt_window_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextOption>
#include <algorithm>
#include <limits>

#include "ui/text_fit.h"

namespace fhsw {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Multi-line texts: the model keeps CR LF, the editor shows LF.
QString Shown(const std::string& model) {
    return Q(model).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
}

Qt::Alignment Horizontal(Align a) {
    return a == Align::Center ? Qt::AlignHCenter : a == Align::Right ? Qt::AlignRight : Qt::AlignLeft;
}

QColor ToQColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

bool IsEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

// A straight line from one corner of its rectangle to the other, one pixel
// wide, in the foreground colour: falling (top-left to bottom-right) or rising.
class LineWidget final : public QWidget {
public:
    LineWidget(QWidget* parent, bool rising) : QWidget(parent), rising_(rising) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        const int r = width() - 1, b = height() - 1;
        p.drawLine(0, rising_ ? b : 0, r, rising_ ? 0 : b);
    }

private:
    bool rising_;
};

// A tick box whose caption wraps onto more lines when it is too long for one,
// and that reacts to a click anywhere on it.
class TickBoxWidget final : public QCheckBox {
public:
    explicit TickBoxWidget(QWidget* parent) : QCheckBox(parent) {}

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        p.drawControl(QStyle::CE_CheckBox, option);
        const QRect area = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
        style()->drawItemText(&p, area.adjusted(2, 0, 0, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap |
                                  Qt::TextShowMnemonic,
                              option.palette, isEnabled(), caption, QPalette::WindowText);
    }
};

// Shows a mask character of the model in a password field (the style's own
// is a dot): the one the field was made with. The model may take the mask
// away and give it back later (Show Password).
class MaskStyle final : public QProxyStyle {
public:
    explicit MaskStyle(QChar mask) : mask_(mask) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return mask_.unicode();
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    QChar mask_;
};

// The look of a control (or of the notice strip, drawn as a label): unset
// colours are the style's own, a disabled control keeps the style's greyed
// text, and labels, tick boxes and frames are filled only when a colour is set.
void Paint(QWidget* w, ControlKind kind, std::optional<Rgb> fg, std::optional<Rgb> bg) {
    const bool box = kind == ControlKind::TextBox, button = kind == ControlKind::Button;
    const auto fgRole = box ? QPalette::Text : button ? QPalette::ButtonText : QPalette::WindowText;
    const auto bgRole = box ? QPalette::Base : button ? QPalette::Button : w->backgroundRole();
    QPalette pal = QApplication::palette(w);
    for (auto group : {QPalette::Active, QPalette::Inactive})
        if (fg) pal.setColor(group, fgRole, ToQColor(*fg));
    if (bg) pal.setColor(bgRole, ToQColor(*bg));
    w->setPalette(pal);
    w->setAutoFillBackground(bg && !box && !button);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) edit->viewport()->setPalette(pal);
}

QFont Face(QWidget* w, bool bold, double points) {
    QFont font = QApplication::font(w);
    font.setBold(bold);
    font.setPointSizeF(points);
    return font;
}

// Fits a label's whole text into its area by the rule of ui/text_fit.h,
// starting from the model's face size.
void FitLabelText(QLabel* label, double points) {
    const QString text = label->text();
    QFont font = label->font();
    const QSize area = label->contentsRect().size();
    const TextFit fit = FitText(points, [&](double p, bool wrapped) {
        font.setPointSizeF(p);
        const QRect need = QFontMetrics(font).boundingRect(QRect(0, 0, area.width(), 1 << 20),
                                                           wrapped ? Qt::TextWordWrap : 0, text);
        return text.isEmpty() || (need.width() <= area.width() && need.height() <= area.height());
    });
    font.setPointSizeF(fit.points);
    label->setFont(font);
    label->setToolTip(fit.oneLine ? QString() : text);
}

QLabel* NewLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->installEventFilter(parent);
    return label;
}

}  // namespace

// ---- construction --------------------------------------------------------

QtWindowView::QtWindowView(Window& window, QWidget* parent) : QDialog(parent), window_(window) {
    if (!parent) setWindowFlags(Qt::Window);
    setObjectName(Q(window.name()));
    setModal(false);

    for (Control* c : window.controls()) {
        QWidget* w = createWidget(*c);
        const PixelRect r = PixelsOf(*c);
        w->setGeometry(r.left, r.top, r.width, r.height);
        w->setFont(Face(w, c->bold(), c->pointSize()));
        // Frames sit behind the controls drawn over them.
        if (c->kind() == ControlKind::Frame) w->lower();
        items_.push_back({c, w});
        applyControl(items_.back());
    }
    // Made last, so it lies over every control.
    notice_ = NewLabel(this);
    notice_->setMargin(kNoticeMargin);
    Paint(notice_, ControlKind::Label, colours::Black, kNoticeBackground);
    notice_->setCursor(Qt::PointingHandCursor);
    applyWindow();
    // The first control that takes input gets the focus; a read-only text is
    // not one (the focus would select it).
    for (const Item& item : items_) {
        const auto* box = dynamic_cast<const TextBox*>(item.control);
        if ((item.widget->focusPolicy() & Qt::TabFocus) && item.widget->isEnabled() && !item.widget->isHidden() &&
            !(box && box->readOnly())) {
            item.widget->setFocus(Qt::OtherFocusReason);
            break;
        }
    }

    window_.onControlChanged = [this](Control& c) {
        for (const Item& item : items_)
            if (item.control == &c) applyControl(item);
    };
    window_.onWindowChanged = [this] { applyWindow(); };
    window_.onClosed.push_back([self = QPointer<QtWindowView>(this)] {
        if (!self) return;
        self->detach();
        self->hide();
        if (self->onDetached) self->onDetached();
        self->deleteLater();
    });
}

QtWindowView::~QtWindowView() {
    if (!detached_) detach();
}

// Builds the widget of a control with what the model sets once (kind, look,
// read-only, mask, default button) and hands its input to the model.
QWidget* QtWindowView::createWidget(Control& c) {
    switch (c.kind()) {
    case ControlKind::Label: {
        QLabel* label = NewLabel(this);  // double-clicks come through the event filter
        label->setAlignment(Horizontal(c.align()) | Qt::AlignTop);
        return label;
    }
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(c);
        QWidget* w;
        if (box.multiLine()) {
            auto* edit = new QPlainTextEdit(this);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setTabChangesFocus(true);
            edit->setReadOnly(box.readOnly());
            QTextOption option = edit->document()->defaultTextOption();
            option.setAlignment(Horizontal(c.align()));
            edit->document()->setDefaultTextOption(option);
            edit->installEventFilter(this);  // Enter, Ctrl+Enter and Esc
            connect(edit, &QPlainTextEdit::textChanged, this, [&box, edit] {
                box.type(S(edit->toPlainText().replace(QChar('\n'), QStringLiteral("\r\n"))));
            });
            w = edit;
        } else {
            auto* line = new QLineEdit(this);
            line->setMaxLength(std::numeric_limits<int>::max());  // not Qt's 32767: nothing is cut
            line->setReadOnly(box.readOnly());
            line->setAlignment(Horizontal(c.align()) | Qt::AlignVCenter);
            if (!box.passwordChar().empty()) {
                auto* style = new MaskStyle(Q(box.passwordChar()).at(0));
                style->setParent(line);
                line->setStyle(style);
            }
            connect(line, &QLineEdit::textEdited, this, [&box](const QString& text) { box.type(S(text)); });
            w = line;
        }
        w->setFocusPolicy(box.tabStop() ? Qt::StrongFocus : Qt::ClickFocus);
        return w;
    }
    case ControlKind::TickBox: {
        // The model may refuse or handle the click in its own way; the box
        // shows the model's state when the model reports it.
        auto* tick = new TickBoxWidget(this);
        connect(tick, &QCheckBox::clicked, this, [&c] { static_cast<TickBox&>(c).click(); });
        return tick;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        button->setDefault(&c == window_.defaultButton());
        connect(button, &QPushButton::clicked, this, [&c] { static_cast<Button&>(c).press(); });
        return button;
    }
    case ControlKind::Frame:
        return new QGroupBox(this);
    case ControlKind::Picture: {
        auto* picture = new QLabel(this);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setPixmap(QPixmap(QStringLiteral(":/images/") + Q(c.text())));
        return picture;
    }
    case ControlKind::Line:
        return new LineWidget(this, c.place().width * c.place().height < 0);
    }
    return new QWidget(this);
}

// ---- model to widgets ----------------------------------------------------

QPoint QtWindowView::framePos() const {
    return {TwipsToPixels(window_.left()), TwipsToPixels(window_.top())};
}

void QtWindowView::applyWindow() {
    moving_ = true;
    setWindowTitle(Q(window_.caption()));
    if (pos() != framePos()) move(framePos());
    const PixelRect client = ClientPixels(window_);
    if (size() != QSize(client.width, client.height)) resize(client.width, client.height);
    moving_ = false;
    layoutNotice();
}

void QtWindowView::layoutNotice() {
    const QString text = Shown(window_.notice());
    notice_->setVisible(!text.isEmpty());
    if (text.isEmpty()) return;
    notice_->setText(text + QLatin1String(kNoticeHint));
    notice_->setFont(Face(notice_, true, kDefaultPointSize));
    const int h = std::min(notice_->heightForWidth(width()), height() / 2);
    notice_->setGeometry(0, height() - h, width(), h);
    FitLabelText(notice_, kDefaultPointSize);
    notice_->setToolTip(text);
}

void QtWindowView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutNotice();
}

void QtWindowView::applyControl(const Item& item) {
    Control& c = *item.control;
    QWidget* w = item.widget;
    const QSignalBlocker block(w);
    w->setEnabled(c.enabled());
    w->setVisible(c.visible());
    Paint(w, c.kind(), c.foreground(), c.background());
    const QString text = Q(c.text());
    switch (c.kind()) {
    case ControlKind::Label:
        static_cast<QLabel*>(w)->setText(text);
        FitLabelText(static_cast<QLabel*>(w), c.pointSize());
        break;
    case ControlKind::TextBox:
        if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
            if (edit->toPlainText() != Shown(c.text())) edit->setPlainText(Shown(c.text()));
        } else {
            auto* line = static_cast<QLineEdit*>(w);
            const auto& box = static_cast<const TextBox&>(c);
            line->setEchoMode(box.passwordChar().empty() ? QLineEdit::Normal : QLineEdit::Password);
            if (line->text() == text) break;
            line->setText(text);
            if (box.readOnly()) line->setCursorPosition(0);  // a text that is only read shows its start
        }
        break;
    case ControlKind::TickBox: {
        auto* tick = static_cast<QCheckBox*>(w);
        const auto state = static_cast<const TickBox&>(c).state();
        tick->setText(text);
        tick->setTristate(state != 0 && state != 1);
        tick->setCheckState(state == 0 ? Qt::Unchecked : state == 1 ? Qt::Checked : Qt::PartiallyChecked);
        break;
    }
    case ControlKind::Button:
        static_cast<QPushButton*>(w)->setText(text);
        break;
    case ControlKind::Frame:
        static_cast<QGroupBox*>(w)->setTitle(text);
        break;
    case ControlKind::Picture:
    case ControlKind::Line:
        break;
    }
}

const QtWindowView::Item* QtWindowView::itemOf(const QObject* widget) const {
    for (const Item& item : items_)
        if (item.widget == widget) return &item;
    return nullptr;
}

QWidget* QtWindowView::widgetOf(const Control& control) const {
    for (const Item& item : items_)
        if (item.control == &control) return item.widget;
    return nullptr;
}

// ---- widgets to model ----------------------------------------------------

// Enter presses the push button that has the focus, else the default button.
void QtWindowView::pressEnter() {
    const Item* item = itemOf(focusWidget());
    if (item && item->control->kind() == ControlKind::Button)
        static_cast<Button*>(item->control)->press();
    else
        window_.pressDefault();
}

void QtWindowView::keyPressEvent(QKeyEvent* event) {
    if (detached_) {
        event->ignore();
    } else if (IsEnter(event)) {
        pressEnter();
    } else if (event->key() == Qt::Key_Escape) {
        window_.pressCancel();
    } else {
        QDialog::keyPressEvent(event);
    }
}

bool QtWindowView::eventFilter(QObject* watched, QEvent* event) {
    const Item* item = itemOf(watched);
    if (detached_) return QDialog::eventFilter(watched, event);
    if (watched == notice_ && event->type() == QEvent::MouseButtonRelease) {
        window_.setNotice({});
        return true;
    }
    if (item && item->control->kind() == ControlKind::Label && event->type() == QEvent::MouseButtonDblClick) {
        static_cast<Label*>(item->control)->doubleClick();
        return true;
    }
    auto* edit = item ? qobject_cast<QPlainTextEdit*>(item->widget) : nullptr;
    if (!edit || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape)
        window_.pressCancel();
    else if (!IsEnter(key))
        return false;
    else if (!(key->modifiers() & Qt::ControlModifier))
        pressEnter();
    else if (!edit->isReadOnly())
        edit->textCursor().insertText(QStringLiteral("\n"));  // Ctrl+Enter starts a new line
    return true;
}

void QtWindowView::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (moving_ || detached_ || !isVisible() || pos() == framePos()) return;
    window_.movedByUser(static_cast<float>(pos().x() * kTwipsPerPixel),
                        static_cast<float>(pos().y() * kTwipsPerPixel));
}

void QtWindowView::closeEvent(QCloseEvent* event) {
    // The model's closing cannot be refused.
    event->accept();
    if (!detached_) window_.close();
}

void QtWindowView::detach() {
    detached_ = true;
    window_.onControlChanged = nullptr;
    window_.onWindowChanged = nullptr;
    for (const Item& item : items_) item.widget->blockSignals(true);
}

}  // namespace fhsw
