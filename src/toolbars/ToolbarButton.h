#pragma once

// Toolbar buttons and their glyph strips.

#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QShortcut;
class QTimer;

namespace tessel {

// The images of a glyph strip: Glyph holds NumGlyphs equal-width images side by side, each
// transparent where it has the colour of its own bottom-left pixel (or, with a mask, where the
// mask is white).
namespace glyphs {

// Image `index` of the strip, cut out and made transparent. An index outside the strip gives a
// null image.
QImage CutImage(const QImage& strip, int numGlyphs, int index, const QImage& mask = QImage());

// A grey embossed copy of an image for a disabled button: its shape (the pixels that are
// neither transparent nor near white) in `highlight` one pixel right and down, and in `shadow`
// on top. The old style draws every opaque pixel once in `shadow`.
QImage DisabledImage(const QImage& image, const QColor& highlight, const QColor& shadow, bool oldStyle);

}  // namespace glyphs

// The flat image button of the toolbars: no border until the mouse is over it, a pressed look
// while held, a click on release inside, optional latching groups, auto-repeat and a drop-down
// menu.
class TToolbarButton : public QWidget {
    Q_OBJECT

public:
    enum TButtonState { stUp = 0, stDisabled = 1, stPressed = 2, stDown = 3, stHot = 4 };
    enum TButtonDisplayMode { dmBoth, dmGlyphOnly, dmTextOnly };
    enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

    explicit TToolbarButton(QWidget* parent = nullptr);
    ~TToolbarButton() override;

    // Images.
    const QImage& Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);  // clamped to 1..5
    const QImage& GlyphMask() const { return glyphMask_; }
    void SetGlyphMask(const QImage& mask);
    // An image list as the alternative source: ImageIndex picks the image (-1: none).
    void SetImages(const std::vector<QImage>* images);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    // The image the button shows in its current state (empty when it has none).
    QImage CurrentImage() const;

    // Caption and layout.
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TButtonDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TButtonDisplayMode mode);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return margin_; }
    void SetMargin(int margin);
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wrap);

    // Look.
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    bool NoBorder() const { return noBorder_; }
    void SetNoBorder(bool noBorder);
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool opaque);
    QColor Color() const;
    void SetColor(const QColor& color);  // an invalid colour: the button face
    bool HighlightWhenDown() const { return highlightWhenDown_; }
    void SetHighlightWhenDown(bool on);
    bool OldDisabledStyle() const { return oldDisabledStyle_; }
    void SetOldDisabledStyle(bool on);
    bool ShowBorderWhenInactive() const { return showBorderWhenInactive_; }
    void SetShowBorderWhenInactive(bool on);

    // Latching groups.
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int index);
    bool Down() const { return down_; }
    void SetDown(bool down);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool allow);

    // Auto-repeat (milliseconds).
    bool Repeating() const { return repeating_; }
    void SetRepeating(bool on) { repeating_ = on; }
    int RepeatDelay() const { return repeatDelay_; }
    void SetRepeatDelay(int ms) { repeatDelay_ = ms; }
    int RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(int ms) { repeatInterval_ = ms; }

    // Drop-down menu.
    QMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(QMenu* menu);
    bool DropdownArrow() const { return dropdownArrow_; }
    void SetDropdownArrow(bool on);
    int DropdownArrowWidth() const { return dropdownArrowWidth_; }
    void SetDropdownArrowWidth(int width);
    bool DropdownCombo() const { return dropdownCombo_; }
    void SetDropdownCombo(bool on);
    bool DropdownAlways() const { return dropdownAlways_; }
    void SetDropdownAlways(bool on);

    // Dialog-button behaviour.
    bool Default() const { return default_; }
    void SetDefault(bool on);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    // Hint: shown as a tooltip while ShowHint is on.
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show) { showHint_ = show; }

    std::function<void(TToolbarButton*)> OnClick;
    std::function<void(TToolbarButton*)> OnDblClick;
    std::function<void(TToolbarButton*, bool& showMenu, bool& removeClicks)> OnDropdown;
    std::function<void(TToolbarButton*)> OnMouseEnter;
    std::function<void(TToolbarButton*)> OnMouseExit;

    TButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseInControl_; }
    bool BorderShown() const;
    // Runs the click: group toggling, modal result, then OnClick (or the drop-down).
    void Click();

    QSize sizeHint() const override { return {23, 22}; }

    // The button the shared hot timer watches (none when no button is hot).
    static TToolbarButton* HotButton();
    static bool HotTimerActive();
    // What the shared timer does every 125 ms: the hot button leaves when the widget under the
    // cursor is no longer it.
    static void CheckHotButton();
    static constexpr int kHotTimerInterval = 125;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool HasDropdown() const;
    bool HasArrow() const;
    QRect ComboArrowRect() const;
    void MouseEntered(bool force);
    void MouseLeft();
    void EndHold();
    void SetState(TButtonState state);
    TButtonState RestingState() const;
    void InvalidateImages();
    void UpdateShortcuts();
    void ShortcutActivated();
    void RepeatTick();
    void ShowDropdown();
    QImage StateImage(int index) const;
    void PaintButton(QPainter& painter);

    QImage glyph_;
    QImage glyphMask_;
    int numGlyphs_ = 1;
    const std::vector<QImage>* images_ = nullptr;
    int imageIndex_ = -1;
    QString caption_;
    TButtonDisplayMode displayMode_ = dmBoth;
    TButtonLayout layout_ = blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
    bool wordWrap_ = false;
    bool flat_ = true;
    bool noBorder_ = false;
    bool opaque_ = true;
    std::optional<QColor> color_;
    bool highlightWhenDown_ = true;
    bool oldDisabledStyle_ = false;
    bool showBorderWhenInactive_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    bool allowAllUp_ = false;
    bool repeating_ = false;
    int repeatDelay_ = 400;
    int repeatInterval_ = 100;
    QPointer<QMenu> dropdownMenu_;
    bool dropdownArrow_ = true;
    int dropdownArrowWidth_ = 9;
    bool dropdownCombo_ = false;
    bool dropdownAlways_ = false;
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
    QString hint_;
    bool showHint_ = false;

    TButtonState state_ = stUp;
    bool mouseInControl_ = false;
    bool mouseHeld_ = false;
    bool menuHeld_ = false;
    bool clickInProgress_ = false;
    bool discardClicks_ = false;
    QTimer* repeatTimer_ = nullptr;
    std::vector<QShortcut*> shortcuts_;
    // Images per state index (0..4) and the generated disabled one, built on first use.
    mutable std::array<std::optional<QImage>, 6> imageCache_;
};

}  // namespace tessel
