#include "view/qt/qt_window_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "ui/text_fit.h"

namespace fhsw {

namespace {

// Smallest client area shown, whatever the model's size says.
constexpr int kMinClientWidth = 80;
constexpr int kMinClientHeight = 40;
// The size that the twips layouts of the windows were drawn for.
constexpr double kDefaultPointSize = 8;
// The notice strip: black on light yellow, at most this share of the window.
const QColor kNoticeBackground(255, 255, 192);
constexpr double kNoticeMaxShare = 0.5;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

Qt::Alignment Horizontal(Align a) {
    switch (a) {
    case Align::Center: return Qt::AlignHCenter;
    case Align::Right: return Qt::AlignRight;
    case Align::Left: break;
    }
    return Qt::AlignLeft;
}

QColor ToQColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

QPixmap LoadImage(const std::string& name) {
    if (name.empty()) return {};
    const QString base = QStringLiteral(":/images/") + Q(name);
    for (const char* suffix : {"", ".png", ".jpg"}) {
        QPixmap pixmap(base + QLatin1String(suffix));
        if (!pixmap.isNull()) return pixmap;
    }
    return {};
}

// A straight line from one corner of its rectangle to the other, one pixel
// wide, in the foreground colour.
class LineWidget final : public QFrame {
public:
    explicit LineWidget(QWidget* parent) : QFrame(parent) {
        setFrameShape(QFrame::NoFrame);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    // Ends relative to the widget: falling (top-left to bottom-right) or rising.
    void setRising(bool rising) {
        rising_ = rising;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        const int r = width() - 1, b = height() - 1;
        if (rising_)
            p.drawLine(0, b, r, 0);
        else
            p.drawLine(0, 0, r, b);
    }

private:
    bool rising_ = false;
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

// Shows the model's mask character in a password field (the style's own is
// a dot).
class MaskStyle final : public QProxyStyle {
public:
    explicit MaskStyle(QChar mask) : mask_(mask) {}
    QChar mask() const { return mask_; }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return mask_.unicode();
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    QChar mask_;
};

void ApplyMask(QLineEdit* line, const std::string& mask) {
    const QString m = Q(mask);
    const auto echo = m.isEmpty() ? QLineEdit::Normal : QLineEdit::Password;
    if (!m.isEmpty()) {
        auto* current = dynamic_cast<MaskStyle*>(line->style());
        if (!current || current->mask() != m.at(0)) {
            auto* style = new MaskStyle(m.at(0));
            style->setParent(line);
            line->setStyle(style);
            if (current) current->deleteLater();
        }
    }
    if (line->echoMode() != echo) line->setEchoMode(echo);
}

bool FitsIn(const QFont& font, const QString& text, const QSize& area, int flags) {
    const QRect need =
        QFontMetrics(font).boundingRect(QRect(0, 0, area.width(), 1 << 20), flags, text);
    return need.width() <= area.width() && need.height() <= area.height();
}

bool IsEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

}  // namespace

void FitLabelText(QLabel* label) {
    const QString text = label->text();
    QFont font = label->font();
    const QSize area = label->contentsRect().size();
    const TextFit fit = FitText(font.pointSizeF(), [&](double points, bool wrapped) {
        font.setPointSizeF(points);
        return text.isEmpty() ||
               FitsIn(font, text, area, wrapped ? Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop : 0);
    });
    font.setPointSizeF(fit.points);
    if (label->font() != font) label->setFont(font);
    const QString tip = fit.oneLine ? QString() : text;
    if (label->toolTip() != tip) label->setToolTip(tip);
}

int TwipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

std::string ToDisplayLines(const std::string& modelText) {
    std::string out;
    out.reserve(modelText.size());
    for (std::size_t i = 0; i < modelText.size(); ++i) {
        const char c = modelText[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < modelText.size() && modelText[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string ToModelLines(const std::string& displayText) {
    std::string out;
    out.reserve(displayText.size() + displayText.size() / 16);
    for (char c : displayText) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// ---- construction --------------------------------------------------------

QtWindowView::QtWindowView(Window& window, QWidget* parent) : QDialog(parent), window_(window) {
    if (!parent) setWindowFlags(Qt::Window);
    setObjectName(Q(window.name()));
    setModal(false);

    items_.reserve(window.controls().size());
    for (Control* c : window.controls()) {
        items_.push_back(Item{c, nullptr});
        items_.back().widget = createWidget(*c);
        wireInput(*c, items_.back().widget);
    }
    applyWindow();
    for (Item& item : items_) applyControl(item);
    fixStacking();
    fixTabOrder();
    // The first control that takes input gets the focus; a read-only text
    // is not one (focus would select it).
    for (Item& item : items_) {
        QWidget* w = item.widget;
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || w->isHidden()) continue;
        if (item.control->kind() == ControlKind::TextBox &&
            static_cast<TextBox*>(item.control)->readOnly())
            continue;
        w->setFocus(Qt::OtherFocusReason);
        break;
    }

    observing_.attach(
        window_,
        [this](Control& c) {
            if (Item* item = itemOf(c)) applyControl(*item);
        },
        [this] { applyWindow(); });
    window_.onClosed.push_back([self = QPointer<QtWindowView>(this)] {
        if (self) self->modelClosed();
    });
}

QtWindowView::~QtWindowView() {
    if (!detached_) detach();
}

QWidget* QtWindowView::createWidget(Control& control) {
    switch (control.kind()) {
    case ControlKind::Label: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->installEventFilter(this);
        return label;
    }
    case ControlKind::TextBox: {
        if (static_cast<TextBox&>(control).multiLine()) {
            auto* edit = new QPlainTextEdit(this);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setTabChangesFocus(true);
            edit->installEventFilter(this);
            return edit;
        }
        auto* line = new QLineEdit(this);
        line->setMaxLength(std::numeric_limits<int>::max());  // not Qt's 32767: nothing is cut
        return line;
    }
    case ControlKind::TickBox:
        return new TickBoxWidget(this);
    case ControlKind::Button: {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::Frame:
        return new QGroupBox(this);
    case ControlKind::Picture: {
        auto* picture = new QLabel(this);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return picture;
    }
    case ControlKind::Line:
        return new LineWidget(this);
    }
    return new QWidget(this);
}

void QtWindowView::wireInput(Control& control, QWidget* widget) {
    switch (control.kind()) {
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(control);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            connect(edit, &QPlainTextEdit::textChanged, this, [this, &box, edit] {
                if (applying_ || detached_) return;
                box.type(ToModelLines(S(edit->toPlainText())));
                if (!detached_) resyncText(box);
            });
        } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            connect(line, &QLineEdit::textEdited, this, [this, &box](const QString& text) {
                if (applying_ || detached_) return;
                box.type(S(text));
                if (!detached_) resyncText(box);
            });
        }
        break;
    }
    case ControlKind::TickBox: {
        auto& box = static_cast<TickBox&>(control);
        connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked, this, [this, &box] {
            if (applying_ || detached_) return;
            box.click();
            // The model may refuse or handle the click in its own way.
            if (!detached_) resyncTick(box);
        });
        break;
    }
    case ControlKind::Button: {
        auto& button = static_cast<Button&>(control);
        connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this, [this, &button] {
            if (applying_ || detached_) return;
            button.press();
        });
        break;
    }
    default:
        break;  // labels report double-clicks through the event filter
    }
}

// ---- model to widgets ----------------------------------------------------

QPoint QtWindowView::modelFramePos() const {
    return {TwipsToPixels(window_.left()), TwipsToPixels(window_.top())};
}

QSize QtWindowView::modelClientSize() const {
    return {std::max(kMinClientWidth, TwipsToPixels(window_.width() - kFrameWidthTwips)),
            std::max(kMinClientHeight, TwipsToPixels(window_.height() - kFrameHeightTwips))};
}

void QtWindowView::applyWindow() {
    if (detached_) return;
    const bool was = applying_;
    applying_ = true;
    const QString title = Q(window_.caption());
    if (windowTitle() != title) setWindowTitle(title);
    const QPoint p = modelFramePos();
    if (pos() != p) move(p);
    const QSize s = modelClientSize();
    if (size() != s) resize(s);
    applyDefaultMarks();
    applyNotice();
    applying_ = was;
}

void QtWindowView::applyNotice() {
    const QString text = Q(ToDisplayLines(window_.notice()));
    if (text.isEmpty()) {
        if (notice_) notice_->hide();
        return;
    }
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setObjectName(QStringLiteral("FHSW_NOTICE"));
        notice_->setTextFormat(Qt::PlainText);
        notice_->setWordWrap(true);
        notice_->setMargin(4);
        notice_->setAutoFillBackground(true);
        QPalette pal = notice_->palette();
        pal.setColor(QPalette::Window, kNoticeBackground);
        pal.setColor(QPalette::WindowText, Qt::black);
        notice_->setPalette(pal);
        QFont font = notice_->font();
        font.setBold(true);
        notice_->setFont(font);
        notice_->setCursor(Qt::PointingHandCursor);
        notice_->installEventFilter(this);
    }
    notice_->setText(text + QStringLiteral("  (click to dismiss)"));
    layoutNotice();
    notice_->setToolTip(text);
    notice_->show();
    notice_->raise();
}

void QtWindowView::layoutNotice() {
    if (!notice_) return;
    const int w = width();
    const int need = notice_->heightForWidth(w);
    const int h = std::min(std::max(need, notice_->fontMetrics().height() + 8),
                           static_cast<int>(height() * kNoticeMaxShare));
    notice_->setGeometry(0, height() - h, w, h);
    const QString tip = notice_->toolTip();
    FitLabelText(notice_);
    notice_->setToolTip(tip);
}

void QtWindowView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutNotice();
}

void QtWindowView::applyDefaultMarks() {
    for (Item& item : items_) {
        if (auto* b = qobject_cast<QPushButton*>(item.widget)) {
            const bool isDefault = item.control == window_.defaultButton();
            if (b->isDefault() != isDefault) b->setDefault(isDefault);
        }
    }
}

void QtWindowView::applyCommon(Control& c, QWidget* w) {
    // Geometry.
    const TwipsRect& r = c.place();
    if (c.kind() == ControlKind::Line) {
        const int x0 = TwipsToPixels(r.left), y0 = TwipsToPixels(r.top);
        const int x1 = TwipsToPixels(r.left + r.width), y1 = TwipsToPixels(r.top + r.height);
        const QRect g(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1,
                      std::abs(y1 - y0) + 1);
        if (w->geometry() != g) w->setGeometry(g);
        static_cast<LineWidget*>(w)->setRising((x1 - x0) * (y1 - y0) < 0);
    } else {
        const QRect g(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                      TwipsToPixels(r.height));
        if (w->geometry() != g) w->setGeometry(g);
    }

    if (w->isEnabled() != c.enabled()) w->setEnabled(c.enabled());
    if (w->isHidden() == c.visible()) w->setVisible(c.visible());

    // Colours: unset means the style's own.
    // Labels, tick boxes, frames: their own background role (a tick box's is
    // Button), filled only when a colour is set.
    QPalette::ColorRole fgRole = QPalette::WindowText, bgRole = w->backgroundRole();
    bool fillable = true;
    if (c.kind() == ControlKind::TextBox) {
        fgRole = QPalette::Text;
        bgRole = QPalette::Base;
        fillable = false;
    } else if (c.kind() == ControlKind::Button) {
        fgRole = QPalette::ButtonText;
        bgRole = QPalette::Button;
        fillable = false;
    }
    QPalette pal = QApplication::palette(w);
    if (c.foreground()) {
        // A disabled control keeps the style's greyed text.
        pal.setColor(QPalette::Active, fgRole, ToQColor(*c.foreground()));
        pal.setColor(QPalette::Inactive, fgRole, ToQColor(*c.foreground()));
    }
    if (c.background()) pal.setColor(bgRole, ToQColor(*c.background()));
    if (w->palette() != pal) w->setPalette(pal);
    const bool fill = c.background().has_value() && fillable;
    if (w->autoFillBackground() != fill) w->setAutoFillBackground(fill);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        if (edit->viewport()->palette() != pal) edit->viewport()->setPalette(pal);
    }

    QFont font = QApplication::font(w);
    font.setBold(c.bold());
    font.setPointSizeF(c.pointSize() > 0 ? c.pointSize() : kDefaultPointSize);
    if (w->font() != font) w->setFont(font);
}

void QtWindowView::applyControl(Item& item) {
    if (detached_) return;
    Control& c = *item.control;

    // A text box that turned multi-line (or back) needs the other editor.
    if (c.kind() == ControlKind::TextBox) {
        const bool multi = static_cast<TextBox&>(c).multiLine();
        if (multi != (qobject_cast<QPlainTextEdit*>(item.widget) != nullptr)) {
            QWidget* old = item.widget;
            old->hide();
            old->disconnect(this);
            old->removeEventFilter(this);
            old->deleteLater();
            item.widget = createWidget(c);
            wireInput(c, item.widget);
            if (isVisible()) item.widget->show();
            fixStacking();
            fixTabOrder();
        }
    }

    QWidget* w = item.widget;
    const bool was = applying_;
    applying_ = true;
    QSignalBlocker block(w);
    applyCommon(c, w);

    const QString text = Q(c.text());
    switch (c.kind()) {
    case ControlKind::Label: {
        auto* label = static_cast<QLabel*>(w);
        if (label->text() != text) label->setText(text);
        const Qt::Alignment a = Horizontal(c.align()) | Qt::AlignTop;
        if (label->alignment() != a) label->setAlignment(a);
        FitLabelText(label);
        break;
    }
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(c);
        const Qt::FocusPolicy policy = box.tabStop() ? Qt::StrongFocus : Qt::ClickFocus;
        if (w->focusPolicy() != policy) w->setFocusPolicy(policy);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
            if (edit->isReadOnly() != box.readOnly()) edit->setReadOnly(box.readOnly());
            const QString shown = Q(ToDisplayLines(box.text()));
            if (edit->toPlainText() != shown) edit->setPlainText(shown);
            QTextOption option = edit->document()->defaultTextOption();
            const Qt::Alignment a = Horizontal(c.align());
            if (option.alignment() != a) {
                option.setAlignment(a);
                edit->document()->setDefaultTextOption(option);
            }
        } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
            if (line->isReadOnly() != box.readOnly()) line->setReadOnly(box.readOnly());
            ApplyMask(line, box.passwordChar());
            if (line->text() != text) {
                line->setText(text);
                // A text that is only read is shown from its start.
                if (box.readOnly()) line->setCursorPosition(0);
            }
            const Qt::Alignment a = Horizontal(c.align()) | Qt::AlignVCenter;
            if (line->alignment() != a) line->setAlignment(a);
        }
        break;
    }
    case ControlKind::TickBox: {
        auto* box = static_cast<QCheckBox*>(w);
        if (box->text() != text) box->setText(text);
        resyncTick(static_cast<TickBox&>(c));
        break;
    }
    case ControlKind::Button: {
        auto* button = static_cast<QPushButton*>(w);
        if (button->text() != text) button->setText(text);
        const bool isDefault = &c == window_.defaultButton();
        if (button->isDefault() != isDefault) button->setDefault(isDefault);
        break;
    }
    case ControlKind::Frame: {
        auto* frame = static_cast<QGroupBox*>(w);
        if (frame->title() != text) frame->setTitle(text);
        break;
    }
    case ControlKind::Picture: {
        const QVariant loaded = w->property("fhswImage");
        if (!loaded.isValid() || loaded.toString() != text) {
            static_cast<QLabel*>(w)->setPixmap(LoadImage(c.text()));
            w->setProperty("fhswImage", text);
        }
        break;
    }
    case ControlKind::Line:
        w->update();
        break;
    }
    applying_ = was;
}

void QtWindowView::resyncText(TextBox& box) {
    Item* item = itemOf(box);
    if (!item) return;
    const bool was = applying_;
    applying_ = true;
    QSignalBlocker block(item->widget);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(item->widget)) {
        const QString shown = Q(ToDisplayLines(box.text()));
        if (edit->toPlainText() != shown) edit->setPlainText(shown);
    } else if (auto* line = qobject_cast<QLineEdit*>(item->widget)) {
        const QString shown = Q(box.text());
        if (line->text() != shown) line->setText(shown);
    }
    applying_ = was;
}

void QtWindowView::resyncTick(TickBox& box) {
    Item* item = itemOf(box);
    if (!item) return;
    auto* check = static_cast<QCheckBox*>(item->widget);
    const Qt::CheckState want = box.state() == 0   ? Qt::Unchecked
                                : box.state() == 1 ? Qt::Checked
                                                   : Qt::PartiallyChecked;
    const bool was = applying_;
    applying_ = true;
    QSignalBlocker block(check);
    if (check->isTristate() != (want == Qt::PartiallyChecked))
        check->setTristate(want == Qt::PartiallyChecked);
    if (check->checkState() != want) check->setCheckState(want);
    applying_ = was;
}

void QtWindowView::fixStacking() {
    // Frames sit behind the controls drawn over them.
    for (Item& item : items_)
        if (item.control->kind() == ControlKind::Frame) item.widget->lower();
}

void QtWindowView::fixTabOrder() {
    QWidget* previous = nullptr;
    for (Item& item : items_) {
        QWidget* w = item.widget;
        if (w->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

QtWindowView::Item* QtWindowView::itemOf(const Control& control) {
    for (Item& item : items_)
        if (item.control == &control) return &item;
    return nullptr;
}

QtWindowView::Item* QtWindowView::itemOf(const QObject* widget) {
    for (Item& item : items_)
        if (item.widget == widget) return &item;
    return nullptr;
}

QWidget* QtWindowView::widgetOf(const Control& control) const {
    for (const Item& item : items_)
        if (item.control == &control) return item.widget;
    return nullptr;
}

// ---- widgets to model ----------------------------------------------------

void QtWindowView::pressEnter() {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        if (Item* item = itemOf(button)) {
            static_cast<Button*>(item->control)->press();
            return;
        }
    }
    window_.pressDefault();
}

void QtWindowView::keyPressEvent(QKeyEvent* event) {
    if (detached_) {
        event->ignore();
        return;
    }
    if (IsEnter(event)) {
        event->accept();
        pressEnter();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        window_.pressCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool QtWindowView::eventFilter(QObject* watched, QEvent* event) {
    if (detached_) return QDialog::eventFilter(watched, event);
    if (watched == notice_ && notice_) {
        if (event->type() == QEvent::MouseButtonRelease) {
            window_.setNotice({});
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    Item* item = itemOf(watched);
    if (!item) return QDialog::eventFilter(watched, event);

    if (event->type() == QEvent::MouseButtonDblClick &&
        item->control->kind() == ControlKind::Label) {
        static_cast<Label*>(item->control)->doubleClick();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* edit = qobject_cast<QPlainTextEdit*>(item->widget);
        if (!edit) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsEnter(key)) {
            if (key->modifiers() & Qt::ControlModifier) {
                // Ctrl+Enter is the way to start a new line here.
                if (!edit->isReadOnly()) edit->textCursor().insertText(QStringLiteral("\n"));
            } else {
                pressEnter();
            }
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            window_.pressCancel();
            return true;
        }
    }
    return false;
}

void QtWindowView::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (applying_ || detached_ || !isVisible()) return;
    const QPoint p = pos();  // the frame's position
    if (p == modelFramePos()) return;
    window_.movedByUser(static_cast<float>(p.x() * kTwipsPerPixel),
                        static_cast<float>(p.y() * kTwipsPerPixel));
}

void QtWindowView::closeEvent(QCloseEvent* event) {
    // The model's closing cannot be refused.
    event->accept();
    if (!detached_) window_.close();
}

// ---- end -----------------------------------------------------------------

void QtWindowView::modelClosed() {
    if (detached_) return;
    // Dialogs owned by this window end with it.
    for (QtWindowView* child : findChildren<QtWindowView*>(Qt::FindDirectChildrenOnly))
        if (!child->detached()) child->model().close();
    detach();
    hide();
    if (onDetached) onDetached();
    deleteLater();
}

void QtWindowView::detach() {
    detached_ = true;
    observing_.release();
}

}  // namespace fhsw
