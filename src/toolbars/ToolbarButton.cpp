// Toolbar buttons: glyphs, states and painting.

#include "toolbars/ToolbarButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>

#include "toolbars/ToolWindow.h"

namespace tessel {

namespace glyphs {

QImage CutImage(const QImage& strip, int numGlyphs, int index, const QImage& mask) {
    if (strip.isNull() || numGlyphs < 1 || index < 0 || index >= numGlyphs) return {};
    const int width = strip.width() / numGlyphs;
    if (width <= 0) return {};
    QImage image = strip.copy(index * width, 0, width, strip.height()).convertToFormat(QImage::Format_ARGB32);
    QImage maskPart;
    if (!mask.isNull())
        maskPart = mask.copy(index * width, 0, width, strip.height()).convertToFormat(QImage::Format_RGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1) | 0xff000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool clear = maskPart.isNull()
                                   ? (line[x] | 0xff000000u) == transparent
                                   : x < maskPart.width() && y < maskPart.height() && qGray(maskPart.pixel(x, y)) > 127;
            if (clear) line[x] = 0;
        }
    }
    return image;
}

QImage DisabledImage(const QImage& image, const QColor& highlight, const QColor& shadow, bool oldStyle) {
    if (image.isNull()) return {};
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_ARGB32);
    result.fill(Qt::transparent);
    // The shape: opaque pixels; in the embossed style light pixels drop out, so that a white
    // highlight inside a drawing does not turn into a grey blot.
    auto inShape = [&](int x, int y) {
        const QRgb pixel = source.pixel(x, y);
        if (qAlpha(pixel) < 128) return false;
        return oldStyle || qGray(pixel) < 192;
    };
    const int w = source.width(), h = source.height();
    if (!oldStyle) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (inShape(x, y) && x + 1 < w && y + 1 < h) result.setPixel(x + 1, y + 1, highlight.rgba());
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (inShape(x, y)) result.setPixel(x, y, shadow.rgba());
    return result;
}

}  // namespace glyphs

namespace {

// What every button shares: the hot timer with the button it watches, and the dither pattern
// of latched buttons. Made with the first button and freed with the last.
struct TSharedButtonState {
    QTimer timer;
    QPointer<TToolbarButton> hot;
    int buttons = 0;
    QPixmap dither;
    QRgb ditherFace = 0, ditherLight = 0;
};

TSharedButtonState* shared = nullptr;

const QPixmap& DitherPattern(const QPalette& palette) {
    const QRgb face = palette.color(QPalette::Button).rgb();
    const QRgb light = palette.color(QPalette::Light).rgb();
    if (shared->dither.isNull() || shared->ditherFace != face || shared->ditherLight != light) {
        QImage image(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) image.setPixel(x, y, (x + y) % 2 ? light : face);
        shared->dither = QPixmap::fromImage(image);
        shared->ditherFace = face;
        shared->ditherLight = light;
    }
    return shared->dither;
}

bool ApplicationActive() {
    return QApplication::activeWindow() != nullptr;
}

// Edges of one pixel: raised (light top-left, shadow bottom-right) or sunken (the reverse).
void DrawEdge1(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.bottom(), r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.setPen(bottomRight);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
}

void DrawArrow(QPainter& p, const QRect& area, const QColor& color) {
    const int cx = area.left() + area.width() / 2;
    const int cy = area.top() + area.height() / 2;
    p.setPen(color);
    for (int i = 0; i < 3; ++i) p.drawLine(cx - 2 + i, cy - 1 + i, cx + 2 - i, cy - 1 + i);
}

}  // namespace

namespace {

// A toolbar button is a push button to assistive technology: its name, enabled state, press.
class TToolbarButtonAccessible : public QAccessibleWidget {
public:
    explicit TToolbarButtonAccessible(TToolbarButton* b) : QAccessibleWidget(b, QAccessible::Button) {}
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        auto* b = static_cast<TToolbarButton*>(widget());
        if (action == pressAction() && b->isEnabled()) b->Click();
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = static_cast<const TToolbarButton*>(widget())->AllowAllUp();
        s.checked = static_cast<const TToolbarButton*>(widget())->Down();
        return s;
    }
};

QAccessibleInterface* ButtonFactory(const QString&, QObject* object) {
    if (auto* b = qobject_cast<TToolbarButton*>(object)) return new TToolbarButtonAccessible(b);
    return nullptr;
}

}  // namespace

TToolbarButton::TToolbarButton(QWidget* parent) : QWidget(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(ButtonFactory);
        return true;
    }();
    (void)accessible;
    if (!shared) {
        shared = new TSharedButtonState;
        shared->timer.setInterval(kHotTimerInterval);
        QObject::connect(&shared->timer, &QTimer::timeout, [] { CheckHotButton(); });
    }
    ++shared->buttons;
    resize(23, 22);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    // Visible unless hidden, also when made after its parent is on screen.
    if (parent) show();
    repeatTimer_ = new QTimer(this);
    connect(repeatTimer_, &QTimer::timeout, this, [this] { RepeatTick(); });
}

TToolbarButton::~TToolbarButton() {
    if (shared->hot == this) {
        shared->hot = nullptr;
        shared->timer.stop();
    }
    if (--shared->buttons == 0) {
        delete shared;
        shared = nullptr;
    }
}

TToolbarButton* TToolbarButton::HotButton() {
    return shared ? shared->hot.data() : nullptr;
}

bool TToolbarButton::HotTimerActive() {
    return shared && shared->timer.isActive();
}

void TToolbarButton::CheckHotButton() {
    if (!shared) return;
    TToolbarButton* hot = shared->hot;
    if (!hot) {
        shared->timer.stop();
        return;
    }
    if (QApplication::widgetAt(QCursor::pos()) != hot) hot->MouseLeft();
}

// ---- properties -------------------------------------------------------------------------

void TToolbarButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    InvalidateImages();
}

void TToolbarButton::SetNumGlyphs(int count) {
    count = std::clamp(count, 1, 5);
    if (count == numGlyphs_) return;
    numGlyphs_ = count;
    InvalidateImages();
}

void TToolbarButton::SetGlyphMask(const QImage& mask) {
    glyphMask_ = mask;
    InvalidateImages();
}

void TToolbarButton::SetImages(const std::vector<QImage>* images) {
    images_ = images;
    InvalidateImages();
}

void TToolbarButton::SetImageIndex(int index) {
    if (index == imageIndex_) return;
    imageIndex_ = index;
    InvalidateImages();
}

void TToolbarButton::SetCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    UpdateShortcuts();
    update();
}

void TToolbarButton::SetDisplayMode(TButtonDisplayMode mode) {
    if (mode == displayMode_) return;
    displayMode_ = mode;
    UpdateShortcuts();
    update();
}

void TToolbarButton::SetLayout(TButtonLayout layout) {
    if (layout == layout_) return;
    layout_ = layout;
    update();
}

void TToolbarButton::SetMargin(int margin) {
    if (margin == margin_ || margin < -1) return;
    margin_ = margin;
    update();
}

void TToolbarButton::SetSpacing(int spacing) {
    if (spacing == spacing_ || spacing < -1) return;
    spacing_ = spacing;
    update();
}

void TToolbarButton::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void TToolbarButton::SetWordWrap(bool wrap) {
    wordWrap_ = wrap;
    update();
}

void TToolbarButton::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

void TToolbarButton::SetNoBorder(bool noBorder) {
    noBorder_ = noBorder;
    update();
}

void TToolbarButton::SetOpaque(bool opaque) {
    opaque_ = opaque;
    update();
}

QColor TToolbarButton::Color() const {
    return color_ ? *color_ : palette().color(QPalette::Button);
}

void TToolbarButton::SetColor(const QColor& color) {
    if (color.isValid())
        color_ = color;
    else
        color_.reset();
    update();
}

void TToolbarButton::SetHighlightWhenDown(bool on) {
    highlightWhenDown_ = on;
    update();
}

void TToolbarButton::SetOldDisabledStyle(bool on) {
    if (on == oldDisabledStyle_) return;
    oldDisabledStyle_ = on;
    InvalidateImages();
}

void TToolbarButton::SetShowBorderWhenInactive(bool on) {
    showBorderWhenInactive_ = on;
}

void TToolbarButton::SetGroupIndex(int index) {
    groupIndex_ = index;
    if (groupIndex_ == 0 && down_) SetDown(false);
}

void TToolbarButton::SetDown(bool down) {
    if (groupIndex_ == 0) down = false;  // only group buttons latch
    if (down == down_) return;
    if (down_ && !allowAllUp_) {
        // A latched group button without AllowAllUp only goes up when another one goes down.
        return;
    }
    down_ = down;
    if (down_ && parentWidget()) {
        for (QObject* child : parentWidget()->children()) {
            auto* other = qobject_cast<TToolbarButton*>(child);
            if (!other || other == this || other->groupIndex_ != groupIndex_) continue;
            other->allowAllUp_ = allowAllUp_;
            if (other->down_) {
                other->down_ = false;
                other->SetState(other->RestingState());
            }
        }
    }
    if (state_ != stDisabled && state_ != stPressed) SetState(RestingState());
    update();
}

void TToolbarButton::SetAllowAllUp(bool allow) {
    allowAllUp_ = allow;
    if (parentWidget() && groupIndex_ != 0) {
        for (QObject* child : parentWidget()->children())
            if (auto* other = qobject_cast<TToolbarButton*>(child); other && other->groupIndex_ == groupIndex_)
                other->allowAllUp_ = allow;
    }
}

void TToolbarButton::SetDropdownMenu(QMenu* menu) {
    dropdownMenu_ = menu;
    update();
}

void TToolbarButton::SetDropdownArrow(bool on) {
    dropdownArrow_ = on;
    update();
}

void TToolbarButton::SetDropdownArrowWidth(int width) {
    dropdownArrowWidth_ = std::max(1, width);
    update();
}

void TToolbarButton::SetDropdownCombo(bool on) {
    dropdownCombo_ = on;
    update();
}

void TToolbarButton::SetDropdownAlways(bool on) {
    dropdownAlways_ = on;
    update();
}

void TToolbarButton::SetDefault(bool on) {
    default_ = on;
    UpdateShortcuts();
}

void TToolbarButton::SetCancel(bool on) {
    cancel_ = on;
    UpdateShortcuts();
}

void TToolbarButton::SetHint(const QString& hint) {
    hint_ = hint;
    // Assistive technology names the button by its hint.
    setAccessibleName(hint);
}

bool TToolbarButton::HasDropdown() const {
    return dropdownMenu_ || dropdownAlways_;
}

bool TToolbarButton::HasArrow() const {
    return HasDropdown() && dropdownArrow_;
}

QRect TToolbarButton::ComboArrowRect() const {
    if (!HasDropdown() || !dropdownCombo_) return {};
    const int width = dropdownArrowWidth_ + 2;
    return QRect(this->width() - width, 0, width, height());
}

// ---- state ------------------------------------------------------------------------------

TToolbarButton::TButtonState TToolbarButton::RestingState() const {
    if (!isEnabled()) return stDisabled;
    if (down_) return stDown;
    return mouseInControl_ ? stHot : stUp;
}

void TToolbarButton::SetState(TButtonState state) {
    if (state == state_) return;
    state_ = state;
    update();
}

bool TToolbarButton::BorderShown() const {
    if (noBorder_) return false;
    if (!flat_ || state_ == stPressed || state_ == stDown) return true;
    return mouseInControl_ && isEnabled();
}

void TToolbarButton::MouseEntered(bool force) {
    if (mouseInControl_ || !isEnabled()) return;
    if (!force && !ApplicationActive() && !showBorderWhenInactive_) return;
    if (shared->hot && shared->hot != this) shared->hot->MouseLeft();
    shared->hot = this;
    mouseInControl_ = true;
    if (state_ == stUp) state_ = stHot;
    if (flat_ || numGlyphs_ > 4) update();
    shared->timer.start();
    if (OnMouseEnter) OnMouseEnter(this);
}

void TToolbarButton::MouseLeft() {
    if (!mouseInControl_ || mouseHeld_) return;
    mouseInControl_ = false;
    if (shared->hot == this) {
        shared->hot = nullptr;
        shared->timer.stop();
    }
    if (state_ == stHot) state_ = down_ ? stDown : stUp;
    update();
    if (OnMouseExit) OnMouseExit(this);
}

void TToolbarButton::EndHold() {
    mouseHeld_ = false;
    menuHeld_ = false;
    repeatTimer_->stop();
    if (state_ == stPressed) SetState(RestingState());
}

// ---- mouse and keyboard -----------------------------------------------------------------

void TToolbarButton::mousePressEvent(QMouseEvent* event) {
    if (discardClicks_) return;
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    MouseEntered(true);
    mouseHeld_ = true;
    menuHeld_ = HasDropdown() && (!dropdownCombo_ || ComboArrowRect().contains(event->position().toPoint()));
    if (down_ && allowAllUp_)
        update();
    else
        SetState(stPressed);
    if (menuHeld_) {
        Click();
    } else if (repeating_) {
        Click();
        repeatTimer_->start(repeatDelay_);
    }
}

void TToolbarButton::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (!mouseHeld_) {
        if (inside) MouseEntered(false);
        return;
    }
    if (menuHeld_) return;
    TButtonState next;
    if (inside)
        next = (down_ && allowAllUp_) ? stDown : stPressed;
    else
        next = down_ ? stDown : stUp;
    SetState(next);
}

void TToolbarButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        if (isEnabled() && mouseHeld_) EndHold();
        return;
    }
    if (event->button() != Qt::LeftButton || !mouseHeld_) return;
    const bool inside = rect().contains(event->position().toPoint());
    const bool wasMenu = menuHeld_;
    mouseHeld_ = false;
    menuHeld_ = false;
    repeatTimer_->stop();
    if (inside && !repeating_ && !wasMenu) {
        Click();
    } else if (state_ == stPressed) {
        SetState(RestingState());
    }
    if (!inside) MouseLeft();
}

void TToolbarButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click still presses the button; a latched button also
    // reports the double click.
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() && down_ && OnDblClick) OnDblClick(this);
}

void TToolbarButton::RepeatTick() {
    repeatTimer_->setInterval(repeatInterval_);
    if (mouseHeld_ && rect().contains(mapFromGlobal(QCursor::pos()))) Click();
}

void TToolbarButton::Click() {
    if (clickInProgress_) return;
    clickInProgress_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{clickInProgress_};
    if (groupIndex_ != 0) {
        if (!down_)
            SetDown(true);
        else if (allowAllUp_)
            SetDown(false);
    }
    if (state_ == stPressed && !menuHeld_) SetState(RestingState());
    QPointer<TToolbarButton> self(this);
    if (menuHeld_ || (HasDropdown() && !dropdownCombo_)) {
        ShowDropdown();
        return;
    }
    if (modalResult_ != 0) {
        if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
    }
    if (self && OnClick) OnClick(this);
}

void TToolbarButton::ShowDropdown() {
    bool showMenu = true;
    bool removeClicks = true;
    if (OnDropdown) OnDropdown(this, showMenu, removeClicks);
    if (!showMenu || !dropdownMenu_) return;
    QPointer<TToolbarButton> self(this);
    bool vertical = false;
    if (auto* tool = qobject_cast<TCustomToolWindow*>(parentWidget())) vertical = tool->IsVertical();
    const QPoint at = vertical ? mapToGlobal(QPoint(width(), 0)) : mapToGlobal(QPoint(0, height()));
    dropdownMenu_->exec(at);
    if (!self) return;
    // The press that closed the menu over this button must not open it again.
    if (removeClicks) {
        discardClicks_ = true;
        QCoreApplication::processEvents();
        if (!self) return;
        discardClicks_ = false;
    }
    EndHold();
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) MouseLeft();
}

void TToolbarButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            mouseHeld_ = false;
            menuHeld_ = false;
            repeatTimer_->stop();
            if (mouseInControl_) {
                mouseInControl_ = false;
                if (shared->hot == this) {
                    shared->hot = nullptr;
                    shared->timer.stop();
                }
            }
            state_ = stDisabled;
        } else {
            state_ = down_ ? stDown : stUp;
        }
        InvalidateImages();
    } else if (event->type() == QEvent::PaletteChange) {
        InvalidateImages();
    }
    QWidget::changeEvent(event);
}

bool TToolbarButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            if (showHint_ && !hint_.isEmpty())
                QToolTip::showText(help->globalPos(), hint_, this);
            else
                QToolTip::hideText();
            return true;
        }
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
            // The mouse mode ends: no hold survives losing the window.
            if (mouseHeld_) EndHold();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void TToolbarButton::UpdateShortcuts() {
    for (QShortcut* shortcut : shortcuts_) delete shortcut;
    shortcuts_.clear();
    auto add = [this](const QKeySequence& keys) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { ShortcutActivated(); });
        shortcuts_.push_back(shortcut);
    };
    if (default_) {
        add(QKeySequence(Qt::Key_Return));
        add(QKeySequence(Qt::Key_Enter));
    }
    if (cancel_) add(QKeySequence(Qt::Key_Escape));
    if (displayMode_ != dmGlyphOnly) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
        if (!mnemonic.isEmpty()) add(mnemonic);
    }
}

void TToolbarButton::ShortcutActivated() {
    QWidget* parent = parentWidget();
    if (!isEnabled() || !isVisible() || (parent && (!parent->isEnabled() || !parent->isVisible()))) return;
    Click();
}

// ---- images and painting ----------------------------------------------------------------

void TToolbarButton::InvalidateImages() {
    for (auto& image : imageCache_) image.reset();
    update();
}

QImage TToolbarButton::StateImage(int index) const {
    auto& cached = imageCache_[static_cast<size_t>(index)];
    if (cached) return *cached;
    QImage image;
    const bool fromList = images_ && imageIndex_ >= 0 && imageIndex_ < static_cast<int>(images_->size());
    const int count = fromList ? 1 : numGlyphs_;
    auto cut = [&](int i) {
        if (fromList) return i == 0 ? glyphs::CutImage((*images_)[static_cast<size_t>(imageIndex_)], 1, 0) : QImage();
        return glyphs::CutImage(glyph_, numGlyphs_, i, glyphMask_);
    };
    if (index == 5) {
        image = glyphs::DisabledImage(StateImage(0), palette().color(QPalette::Light), palette().color(QPalette::Dark),
                                      oldDisabledStyle_);
    } else if (index < count) {
        image = cut(index);
    } else if (index == stDisabled) {
        image = StateImage(5);
    } else {
        image = StateImage(0);
    }
    cached = image;
    return image;
}

QImage TToolbarButton::CurrentImage() const {
    if (displayMode_ == dmTextOnly) return {};
    return StateImage(state_);
}

void TToolbarButton::paintEvent(QPaintEvent*) {
    QPainter screen(this);
    if (opaque_ || !flat_) {
        QPixmap buffer(size());
        buffer.fill(Color());
        QPainter painter(&buffer);
        PaintButton(painter);
        painter.end();
        screen.drawPixmap(0, 0, buffer);
    } else {
        PaintButton(screen);
    }
}

void TToolbarButton::PaintButton(QPainter& p) {
    const QPalette& pal = palette();
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor darkShadow = pal.color(QPalette::Shadow);
    const bool pressedLook = state_ == stPressed || state_ == stDown;
    const bool border = BorderShown();
    const QRect comboArrow = ComboArrowRect();
    QRect plain = rect();
    if (!comboArrow.isNull()) plain.setRight(comboArrow.left() - 1);

    auto drawBorder = [&](const QRect& r, bool sunken) {
        if (flat_) {
            if (sunken)
                DrawEdge1(p, r, shadow, light);
            else
                DrawEdge1(p, r, light, shadow);
        } else {
            p.fillRect(r.adjusted(1, 1, -1, -1), Color());
            if (sunken) {
                DrawEdge1(p, r, darkShadow, light);
                DrawEdge1(p, r.adjusted(1, 1, -1, -1), shadow, pal.color(QPalette::Button));
            } else {
                DrawEdge1(p, r, light, darkShadow);
                DrawEdge1(p, r.adjusted(1, 1, -1, -1), pal.color(QPalette::Button), shadow);
            }
        }
    };
    if (border) {
        drawBorder(plain, pressedLook && !menuHeld_);
        if (!comboArrow.isNull()) drawBorder(comboArrow, menuHeld_ || (pressedLook && !dropdownCombo_));
    }
    if (!comboArrow.isNull()) {
        QRect arrowArea = comboArrow;
        if (menuHeld_) arrowArea.translate(1, 1);
        DrawArrow(p, arrowArea, isEnabled() ? pal.color(QPalette::ButtonText) : shadow);
    }

    const int inset = noBorder_ ? 0 : (flat_ ? 1 : 2);
    QRect content = plain.adjusted(inset, inset, -inset, -inset);
    if (pressedLook && !(dropdownCombo_ && menuHeld_)) content.translate(1, 1);
    if (state_ == stDown && highlightWhenDown_ && !(flat_ && mouseInControl_))
        p.fillRect(plain.adjusted(inset, inset, -inset, -inset), QBrush(DitherPattern(pal)));
    if (HasArrow() && comboArrow.isNull()) {
        QRect arrowArea(content.right() - dropdownArrowWidth_ + 1, content.top(), dropdownArrowWidth_,
                        content.height());
        DrawArrow(p, arrowArea, isEnabled() ? pal.color(QPalette::ButtonText) : shadow);
        content.setRight(arrowArea.left() - 1);
    }

    const QImage image = CurrentImage();
    const QString text = displayMode_ == dmGlyphOnly ? QString() : caption_;
    const QSize glyphSize = image.isNull() ? QSize(0, 0) : image.size();
    const int textFlags = Qt::TextShowMnemonic | (wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine);
    QSize textSize(0, 0);
    if (!text.isEmpty()) {
        const int limit = layout_ == blGlyphLeft || layout_ == blGlyphRight
                              ? std::max(1, content.width() - glyphSize.width())
                              : content.width();
        textSize = fontMetrics().boundingRect(QRect(0, 0, wordWrap_ ? limit : 10000, 10000), textFlags, text).size();
    }
    QPoint glyphAt, textAt;
    if (text.isEmpty()) {
        glyphAt = QPoint(content.left() + (content.width() - glyphSize.width()) / 2,
                         content.top() + (content.height() - glyphSize.height()) / 2);
    } else {
        const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
        const int room = horizontal ? content.width() : content.height();
        const int glyphLen = horizontal ? glyphSize.width() : glyphSize.height();
        const int textLen = horizontal ? textSize.width() : textSize.height();
        int margin = margin_, spacing = image.isNull() ? 0 : spacing_;
        if (margin == -1) {
            if (spacing == -1) {
                spacing = (room - glyphLen - textLen) / 3;
                margin = spacing;
            } else {
                margin = (room - (glyphLen + spacing + textLen)) / 2;
            }
        } else if (spacing == -1) {
            spacing = (room - (margin + glyphLen + textLen)) / 2;
        }
        if (image.isNull()) spacing = 0;
        int glyphPos, textPos;
        const bool glyphFirst = layout_ == blGlyphLeft || layout_ == blGlyphTop;
        if (glyphFirst) {
            glyphPos = margin;
            textPos = margin + glyphLen + spacing;
        } else {
            glyphPos = room - margin - glyphLen;
            textPos = room - margin - glyphLen - spacing - textLen;
        }
        if (horizontal) {
            glyphAt = QPoint(content.left() + glyphPos, content.top() + (content.height() - glyphSize.height()) / 2);
            textAt = QPoint(content.left() + textPos, content.top() + (content.height() - textSize.height()) / 2);
        } else {
            glyphAt = QPoint(content.left() + (content.width() - glyphSize.width()) / 2, content.top() + glyphPos);
            textAt = QPoint(content.left() + (content.width() - textSize.width()) / 2, content.top() + textPos);
        }
    }
    if (!image.isNull()) p.drawImage(glyphAt, image);
    if (!text.isEmpty()) {
        const QRect textRect(textAt, textSize);
        const int flags = textFlags | static_cast<int>(alignment_ & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
        p.setFont(font());
        if (!isEnabled()) {
            p.setPen(light);
            p.drawText(textRect.translated(1, 1), flags, text);
            p.setPen(shadow);
        } else {
            p.setPen(pal.color(QPalette::ButtonText));
        }
        p.drawText(textRect, flags, text);
    }
}

}  // namespace tessel
