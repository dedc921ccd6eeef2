// Tests of toolbar buttons.

#include "toolbars/ToolbarButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <memory>

using namespace tessel;

namespace {

const QRgb kClear = qRgb(255, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

// A strip of `count` images of `size` pixels: image i is a filled square in its own colour on
// the clear background, the bottom-left pixel left clear.
QImage Strip(int count, int size, const std::vector<QRgb>& colours) {
    QImage strip(count * size, size, QImage::Format_RGB32);
    strip.fill(kClear);
    for (int i = 0; i < count; ++i)
        for (int y = 2; y < size - 2; ++y)
            for (int x = 2; x < size - 2; ++x) strip.setPixel(i * size + x, y, colours[static_cast<size_t>(i)]);
    return strip;
}

void Send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// One window with buttons on it, shown and active, so that hot tracking applies.
class ButtonTest : public testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<QWidget>();
        form->setGeometry(100, 100, 200, 100);
        button = new TToolbarButton(form.get());
        button->move(10, 10);
        button->OnClick = [this](TToolbarButton*) { ++clicks; };
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    void TearDown() override { QCursor::setPos(0, 0); }

    void Press(QPoint at = {5, 5}) { Send(button, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    void Move(QPoint at, bool held) {
        Send(button, QEvent::MouseMove, at, Qt::NoButton, held ? Qt::LeftButton : Qt::NoButton);
    }
    void Release(QPoint at = {5, 5}) { Send(button, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }

    std::unique_ptr<QWidget> form;
    TToolbarButton* button = nullptr;
    int clicks = 0;
};

}  // namespace

TEST(Glyphs, StripIsCutIntoEqualImagesTransparentAtTheBottomLeftColour) {
    const QImage strip = Strip(2, 18, {kRed, kBlue});
    const QImage first = glyphs::CutImage(strip, 2, 0);
    const QImage second = glyphs::CutImage(strip, 2, 1);
    EXPECT_EQ(first.size(), QSize(18, 18));
    EXPECT_EQ(second.size(), QSize(18, 18));
    EXPECT_EQ(first.pixel(5, 5), 0xff000000u | kRed);
    EXPECT_EQ(second.pixel(5, 5), 0xff000000u | kBlue);
    EXPECT_EQ(qAlpha(first.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(second.pixel(17, 17)), 0);
    EXPECT_TRUE(glyphs::CutImage(strip, 2, 2).isNull());
    // A mask decides instead of the colour: white is transparent.
    QImage mask(36, 18, QImage::Format_RGB32);
    mask.fill(Qt::black);
    mask.setPixel(5, 5, qRgb(255, 255, 255));
    const QImage masked = glyphs::CutImage(strip, 2, 0, mask);
    EXPECT_EQ(qAlpha(masked.pixel(5, 5)), 0);
    EXPECT_EQ(qAlpha(masked.pixel(0, 0)), 255);
}

TEST(Glyphs, DisabledImageIsAGreyEmbossOfTheShape) {
    const QImage image = glyphs::CutImage(Strip(1, 10, {kRed}), 1, 0);
    const QColor light(255, 255, 255), shadow(128, 128, 128);
    const QImage embossed = glyphs::DisabledImage(image, light, shadow, false);
    EXPECT_EQ(embossed.pixel(2, 2), shadow.rgba());  // the shape in the shadow colour
    EXPECT_EQ(embossed.pixel(8, 8), light.rgba());   // one pixel right and down: the highlight
    EXPECT_EQ(qAlpha(embossed.pixel(0, 0)), 0);      // outside stays clear
    const QImage old = glyphs::DisabledImage(image, light, shadow, true);
    EXPECT_EQ(old.pixel(7, 7), shadow.rgba());
    EXPECT_EQ(qAlpha(old.pixel(8, 8)), 0);  // no highlight in the old style
}

TEST_F(ButtonTest, ImageFollowsTheStateAndAMissingDisabledImageIsGenerated) {
    struct Case {
        int numGlyphs;
        bool enabled;
        bool hot;
        QRgb expected;  // centre pixel, 0: a grey generated image
    };
    const Case cases[] = {
        {2, true, false, kRed},            // up: image 0
        {2, true, true, kRed},             // hot: image 4 does not exist, image 0
        {2, false, false, kBlue},          // disabled: image 1
        {1, false, false, 0},              // disabled, one image: generated
        {5, true, true, qRgb(0, 255, 0)},  // hot with five images: image 4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.numGlyphs << " images, enabled " << c.enabled << ", hot " << c.hot);
        button->setEnabled(true);
        button->SetGlyph(Strip(c.numGlyphs, 18, {kRed, kBlue, qRgb(0, 0, 0), qRgb(1, 1, 1), qRgb(0, 255, 0)}));
        button->SetNumGlyphs(c.numGlyphs);
        if (c.hot) Move({5, 5}, false);
        button->setEnabled(c.enabled);
        const QImage image = button->CurrentImage();
        ASSERT_EQ(image.size(), QSize(18, 18));
        const QRgb centre = image.pixel(9, 9) & 0xffffffu;
        if (c.expected)
            EXPECT_EQ(centre, c.expected & 0xffffffu);
        else
            EXPECT_EQ(qRed(centre), qGreen(centre)) << "not grey";
        QCursor::setPos(0, 0);
        TToolbarButton::CheckHotButton();
    }
}

TEST_F(ButtonTest, ClickRunsOnReleaseInsideOnly) {
    struct Case {
        const char* name;
        std::vector<QPoint> movesWhileHeld;
        QPoint release;
        int clicks;
    };
    const Case cases[] = {
        {"press and release inside", {}, {5, 5}, 1},
        {"off and released outside", {{40, 5}}, {40, 5}, 0},
        {"off and back on", {{40, 5}, {6, 6}}, {6, 6}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clicks = 0;
        Press();
        EXPECT_EQ(button->State(), TToolbarButton::stPressed);
        for (QPoint at : c.movesWhileHeld) {
            Move(at, true);
            EXPECT_EQ(button->State(), button->rect().contains(at) ? TToolbarButton::stPressed : TToolbarButton::stUp);
        }
        Release(c.release);
        EXPECT_EQ(clicks, c.clicks);
        EXPECT_NE(button->State(), TToolbarButton::stPressed);
    }
}

TEST_F(ButtonTest, DisabledButtonIgnoresTheMouseAndShowsNoBorder) {
    button->setEnabled(false);
    Move({5, 5}, false);
    Press();
    Release();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(button->State(), TToolbarButton::stDisabled);
    EXPECT_FALSE(button->BorderShown());
    // Disabling a held, hot button ends both; enabling returns to up.
    button->setEnabled(true);
    Move({5, 5}, false);
    Press();
    button->setEnabled(false);
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_EQ(TToolbarButton::HotButton(), nullptr);
    button->setEnabled(true);
    EXPECT_EQ(button->State(), TToolbarButton::stUp);
    Release();
    EXPECT_EQ(clicks, 0);
}

TEST_F(ButtonTest, RightReleaseEndsTheHold) {
    Press();
    Send(button, QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton, Qt::LeftButton);
    EXPECT_EQ(button->State(), TToolbarButton::stHot);
    Release();
    EXPECT_EQ(clicks, 0);
}

TEST_F(ButtonTest, FlatBorderShowsOnlyWhileHotAndOnlyInAnActiveApplication) {
    auto topLeftPixel = [this] {
        QImage image(button->size(), QImage::Format_RGB32);
        button->render(&image);
        return image.pixel(0, 0);
    };
    const QRgb face = button->Color().rgb();
    EXPECT_FALSE(button->BorderShown());
    EXPECT_EQ(topLeftPixel(), face);
    Move({5, 5}, false);
    EXPECT_EQ(button->State(), TToolbarButton::stHot);
    EXPECT_TRUE(button->BorderShown());
    EXPECT_NE(topLeftPixel(), face);
    EXPECT_EQ(TToolbarButton::HotButton(), button);
    EXPECT_TRUE(TToolbarButton::HotTimerActive());

    // The shared timer's check: the cursor is elsewhere, the button leaves.
    QCursor::setPos(0, 0);
    TToolbarButton::CheckHotButton();
    EXPECT_EQ(button->State(), TToolbarButton::stUp);
    EXPECT_EQ(TToolbarButton::HotButton(), nullptr);
    EXPECT_FALSE(TToolbarButton::HotTimerActive());

    QApplication::setActiveWindow(nullptr);
    Move({5, 5}, false);
    EXPECT_FALSE(button->BorderShown());
    button->SetShowBorderWhenInactive(true);
    Move({5, 5}, false);
    EXPECT_TRUE(button->BorderShown());
}

TEST_F(ButtonTest, HotMovesFromButtonToButtonAndAHeldButtonNeverLeaves) {
    auto* other = new TToolbarButton(form.get());
    other->move(40, 10);
    Move({5, 5}, false);
    Send(other, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(TToolbarButton::HotButton(), other);
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_EQ(button->State(), TToolbarButton::stUp);

    Press();
    QCursor::setPos(0, 0);
    TToolbarButton::CheckHotButton();
    EXPECT_EQ(TToolbarButton::HotButton(), button);
    EXPECT_EQ(button->State(), TToolbarButton::stPressed);
    Release({60, 60});
    EXPECT_EQ(TToolbarButton::HotButton(), nullptr);
    EXPECT_EQ(clicks, 0);
}

TEST_F(ButtonTest, GroupButtonsLatch) {
    auto* other = new TToolbarButton(form.get());
    other->move(40, 10);
    for (TToolbarButton* b : {button, other}) b->SetGroupIndex(1);
    struct Step {
        TToolbarButton* clicked;
        bool allowAllUp;
        bool buttonDown, otherDown;
    };
    const Step steps[] = {
        {button, false, true, false},  // goes down
        {button, false, true, false},  // already down without AllowAllUp: stays down
        {other, false, false, true},   // the other goes down and releases the first
        {other, true, false, false},   // with AllowAllUp a second click lets it up
    };
    int n = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << ++n);
        s.clicked->SetAllowAllUp(s.allowAllUp);
        s.clicked->Click();
        EXPECT_EQ(button->Down(), s.buttonDown);
        EXPECT_EQ(other->Down(), s.otherDown);
        EXPECT_EQ(button->State(), s.buttonDown ? TToolbarButton::stDown : TToolbarButton::stUp);
    }
    // AllowAllUp is handed to the whole group.
    EXPECT_TRUE(button->AllowAllUp());
    // Without a group a button never stays down.
    auto* plain = new TToolbarButton(form.get());
    plain->SetDown(true);
    EXPECT_FALSE(plain->Down());
}

TEST_F(ButtonTest, DropdownAndRepeatClickOnThePress) {
    int dropdowns = 0;
    button->SetDropdownAlways(true);
    button->OnDropdown = [&](TToolbarButton*, bool& showMenu, bool&) {
        ++dropdowns;
        showMenu = false;
    };
    Press();
    EXPECT_EQ(dropdowns, 1);
    Release();
    EXPECT_EQ(dropdowns, 1);
    EXPECT_EQ(clicks, 0);

    // A combo button: the plain part clicks on release, the arrow part drops down at once.
    button->SetDropdownCombo(true);
    Press({3, 5});
    EXPECT_EQ(dropdowns, 1);
    Release({3, 5});
    EXPECT_EQ(clicks, 1);
    Press({button->width() - 3, 5});
    EXPECT_EQ(dropdowns, 2);
    Release({button->width() - 3, 5});
    EXPECT_EQ(clicks, 1);

    button->SetDropdownAlways(false);
    button->SetRepeating(true);
    clicks = 0;
    Press();
    EXPECT_EQ(clicks, 1);  // at once; the release adds none
    Release();
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, HintShowsOnlyWhileShowHintIsOn) {
    button->SetHint("Open SQL file");
    for (bool show : {false, true}) {
        SCOPED_TRACE(show);
        QToolTip::hideText();
        button->SetShowHint(show);
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(button, &help);
        EXPECT_EQ(QToolTip::isVisible(), show);
        EXPECT_EQ(QToolTip::text(), show ? "Open SQL file" : "");
    }
    QToolTip::hideText();
}
