// Tests of the record navigator.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPainter>

#include "GridTestSupport.h"
#include "grid/DbNavigator.h"

namespace tessel {
namespace {

using B = TNavigateBtn;

std::vector<bool> EnabledButtons(const TDbNavigator& nav) {
    std::vector<bool> out;
    for (int i = 0; i < kNavigateButtonCount; ++i) out.push_back(nav.Button(static_cast<B>(i))->isEnabled());
    return out;
}

TEST(DbNavigator, ButtonsFollowTheDataSetAndMoveIt) {
    test::GeneratedDataSet ds(20);  // read-only records
    TDataSource source(&ds);
    TDbNavigator nav;
    nav.SetDataSource(&source);
    EXPECT_EQ(EnabledButtons(nav), std::vector<bool>(10, false));
    ds.Open();
    //                                first  prior  next  last  ins    del    edit   post   cancel refresh
    EXPECT_EQ(EnabledButtons(nav),
              (std::vector<bool>{false, false, true, true, false, false, false, false, false, true}));
    nav.Button(B::nbNext)->click();
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_TRUE(nav.Button(B::nbFirst)->isEnabled());
    nav.Button(B::nbLast)->click();
    EXPECT_EQ(ds.RecNo(), 20);
    EXPECT_FALSE(nav.Button(B::nbNext)->isEnabled());
    nav.Button(B::nbFirst)->click();
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST(DbNavigator, DeleteAsksFirstOnEditableRecords) {
    test::MemoryDataSet ds({engine::FieldDesc::Make("ID", engine::fldtype::kInt32)},
                           {{engine::Value::Int(1)}, {engine::Value::Int(2)}});
    TDataSource source(&ds);
    TDbNavigator nav;
    nav.SetDataSource(&source);
    ds.Open();
    std::vector<std::string> asked;
    bool answer = false;
    nav.OnConfirm = [&](const std::string& q) {
        asked.push_back(q);
        return answer;
    };
    EXPECT_TRUE(nav.Button(B::nbDelete)->isEnabled());
    nav.Button(B::nbDelete)->click();
    EXPECT_EQ(ds.RecordCount(), 2);
    answer = true;
    nav.Button(B::nbDelete)->click();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(asked, (std::vector<std::string>{"Delete record?", "Delete record?"}));
    nav.Button(B::nbEdit)->click();
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_TRUE(nav.Button(B::nbPost)->isEnabled());
    EXPECT_FALSE(nav.Button(B::nbEdit)->isEnabled());
    nav.Button(B::nbCancel)->click();
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
}

TEST(DbNavigator, TenEqualButtonsWithHintsAndDistinctGlyphs) {
    TDbNavigator nav;
    nav.resize(240, 25);
    nav.show();
    for (int i = 0; i < kNavigateButtonCount; ++i) {
        EXPECT_EQ(nav.Button(static_cast<B>(i))->geometry(), QRect(24 * i, 0, 24, 25));
        EXPECT_FALSE(nav.Button(static_cast<B>(i))->toolTip().isEmpty());
    }
    EXPECT_EQ(nav.Button(B::nbRefresh)->toolTip(), "Refresh data");
    std::vector<QImage> glyphs;
    for (int i = 0; i < kNavigateButtonCount; ++i) {
        QImage image(11, 11, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        TDbNavigator::DrawGlyph(p, static_cast<B>(i), image.rect(), true);
        p.end();
        EXPECT_NE(image.pixelColor(5, 5).value() + image.pixelColor(2, 5).value() + image.pixelColor(5, 2).value(),
                  3 * 255 + 1);  // something is drawn
        for (const QImage& other : glyphs) EXPECT_NE(image, other) << i;
        glyphs.push_back(image);
    }
}

}  // namespace
}  // namespace tessel
