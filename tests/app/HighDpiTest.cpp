// The window on a screen of twice the density (run with QT_SCALE_FACTOR=2 by the test of that
// name, at 1 by the others): every control's text fits its control, and the toolbar glyphs are
// drawn in their 16 colours without blended in-between pixels.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QSet>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class HighDpiTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
};

TEST_F(HighDpiTest, ControlsKeepTheirTextAndGlyphsStayCrisp) {
    TForm1 form(Setup());
    form.show();
    const QImage shot = form.grab().toImage();
    const double wanted = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qgetenv("QT_SCALE_FACTOR").toDouble() : 1.0;
    EXPECT_DOUBLE_EQ(shot.devicePixelRatio(), wanted);
    if (const QByteArray dir = qgetenv("TESSEL_SCREENSHOT_DIR"); !dir.isEmpty())
        shot.save(QString::fromLocal8Bit(dir) + QString("/window-at-%1x.png").arg(wanted));
    // No text is cut: each check box and label is as wide as its text needs.
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&form)) continue;
        if (!qobject_cast<QCheckBox*>(w) && !qobject_cast<QLabel*>(w)) continue;
        if (auto* label = qobject_cast<QLabel*>(w); label && (label->text().isEmpty() || label->wordWrap())) continue;
        EXPECT_GE(w->width(), w->sizeHint().width() - 1) << w->objectName().toStdString();
    }
    // A toolbar glyph at the screen's density: only its own colours and the button's face.
    auto* run = form.findChild<TToolbarButton*>("tbbExecute");
    ASSERT_NE(run, nullptr);
    const QImage glyph = run->grab().toImage();
    EXPECT_DOUBLE_EQ(glyph.devicePixelRatio(), wanted);
    QSet<QRgb> colours;
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x) colours.insert(glyph.pixel(x, y) | 0xFF000000u);
    EXPECT_LE(colours.size(), 16 + 4) << "blended pixels: the glyph was smoothed";
}

}  // namespace
