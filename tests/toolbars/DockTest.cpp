// Tests of docks and tool windows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <memory>

#include "toolbars/Dock.h"
#include "toolbars/ToolWindow.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;
using namespace tessel::toolwindow;

namespace {

// A toolbar of `buttons` buttons of 23 by 22.
TToolbar* MakeToolbar(QWidget* parent, int buttons, const char* name) {
    auto* bar = new TToolbar(parent);
    bar->setObjectName(name);
    bar->SetCaption(name);
    for (int i = 0; i < buttons; ++i) {
        auto* button = new TToolbarButton(bar);
        button->resize(23, 22);
    }
    bar->Arrange();
    return bar;
}

// A shown form of 400 by 300 at (100, 100) with a top dock holding toolbars, and an ordinary
// control standing on the dock.
class DockTest : public testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<QWidget>();
        form->setGeometry(100, 100, 400, 300);
        dock = new TDock(form.get(), dpTop);
        box = new QComboBox(dock);
        box->setGeometry(300, 2, 80, 21);
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    // Drags `bar` grabbed at `grab` (its own coordinates) to the screen points given.
    static void Drag(TCustomToolWindow* bar, QPoint grab, const std::vector<QPoint>& path, bool ctrl = false,
                     bool drop = true) {
        bar->BeginDrag(grab);
        for (QPoint p : path) bar->DragTo(p, ctrl);
        bar->EndDrag(drop);
    }
    QPoint DockScreen(QPoint p) const { return dock->mapToGlobal(p); }

    std::unique_ptr<QWidget> form;
    TDock* dock = nullptr;
    QComboBox* box = nullptr;
};

}  // namespace

TEST_F(DockTest, SixButtonsDockedAtTheTopMakeA151By26Toolbar) {
    TToolbar* bar = MakeToolbar(dock, 6, "Toolbar1");
    EXPECT_EQ(bar->size(), QSize(151, 26));
    EXPECT_EQ(bar->DockedSize(dpTop, true), QSize(151, 26));
    EXPECT_EQ(dock->Thickness(), 26);
    EXPECT_EQ(dock->geometry(), QRect(0, 0, 400, 26));
    // Buttons start after the border and the double grip, centred across the row.
    auto buttons = bar->findChildren<TToolbarButton*>();
    ASSERT_EQ(buttons.size(), 6);
    EXPECT_EQ(buttons[0]->geometry(), QRect(11, 2, 23, 22));
    EXPECT_EQ(buttons[5]->geometry(), QRect(11 + 5 * 23, 2, 23, 22));
    // A single grip and no grip; a dock that forbids dragging drops the grip.
    bar->SetDragHandleStyle(dhSingle);
    EXPECT_EQ(bar->width(), 138 + 4 + 6);
    bar->SetDragHandleStyle(dhNone);
    EXPECT_EQ(bar->width(), 138 + 4);
    bar->SetDragHandleStyle(dhDouble);
    dock->SetAllowDrag(false);
    EXPECT_EQ(bar->width(), 138 + 4);
    // Separators split groups; floating adds margins, frame and caption.
    dock->SetAllowDrag(true);
    new TToolbarSep(bar);
    bar->Arrange();
    EXPECT_EQ(bar->width(), 151 + 6);
    EXPECT_EQ(bar->FloatingSize(),
              QSize(138 + 6 + 8 + 2 * kFloatingFrame, 22 + 3 + 2 * kFloatingFrame + kSmallCaption));
}

TEST_F(DockTest, ArrangementOfRowsAndPositions) {
    struct Bar {
        int buttons, row, pos;
        bool fullSize;
    };
    struct Expect {
        int row;
        QPoint at;  // in the dock
    };
    struct Case {
        const char* name;
        std::vector<Bar> bars;
        std::vector<Expect> expected;
        int dockThickness;
    };
    // Each toolbar of n buttons is 23 n + 13 wide; rows are 26 thick.
    const Case cases[] = {
        {"same position: one after the other",
         {{2, 0, 10, false}, {2, 0, 10, false}},
         {{0, {10, 0}}, {0, {69, 0}}},
         26},
        {"row too short: pushed back, never before 0",
         {{6, 0, 100, false}, {6, 0, 300, false}},
         {{0, {98, 0}}, {0, {249, 0}}},
         26},
        {"-8 comes first",
         {{2, 0, 0, false}, {2, 0, 70, false}, {2, 0, -8, false}},
         {{0, {59, 0}}, {0, {118, 0}}, {0, {0, 0}}},
         26},
        {"empty rows are removed", {{2, 3, 0, false}, {2, 7, 0, false}}, {{0, {0, 0}}, {1, {0, 26}}}, 52},
        {"full size keeps its row, the others move up",
         {{2, 0, 0, false}, {2, 0, 100, true}, {2, 1, 0, false}},
         {{1, {0, 26}}, {0, {0, 0}}, {2, {0, 52}}},
         78},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TToolbar*> bars;
        dock->BeginUpdate();
        for (const Bar& b : c.bars) {
            TToolbar* bar = MakeToolbar(dock, b.buttons, "bar");
            bar->SetDockRow(b.row);
            bar->SetDockPos(b.pos);
            bar->SetFullSize(b.fullSize);
            bars.push_back(bar);
        }
        dock->EndUpdate();
        for (size_t i = 0; i < bars.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "toolbar " << i);
            EXPECT_EQ(bars[i]->DockRow(), c.expected[i].row);
            EXPECT_EQ(bars[i]->pos(), c.expected[i].at);
        }
        EXPECT_EQ(dock->Thickness(), c.dockThickness);
        for (TToolbar* bar : bars) delete bar;
    }
    EXPECT_EQ(dock->Thickness(), 0);
    dock->SetFixAlign(true);
    EXPECT_EQ(dock->Thickness(), 1);
}

TEST_F(DockTest, LimitToOneRowAndBoundLines) {
    TToolbar* a = MakeToolbar(dock, 2, "a");
    TToolbar* b = MakeToolbar(dock, 2, "b");
    b->SetDockRow(1);
    EXPECT_EQ(dock->Thickness(), 52);
    dock->SetLimitToOneRow(true);
    EXPECT_EQ(b->DockRow(), 0);
    EXPECT_EQ(dock->Thickness(), 26);
    dock->SetBoundLines(blTop | blBottom | blLeft);
    EXPECT_EQ(dock->Thickness(), 28);
    EXPECT_EQ(a->pos(), QPoint(1, 1));
}

TEST_F(DockTest, DraggingMovesWithinOffAndBackIntoTheDock) {
    TToolbar* bar = MakeToolbar(dock, 6, "Toolbar1");
    bar->SetDockPos(0);
    TToolbar* other = MakeToolbar(dock, 2, "other");
    other->SetDockPos(200);
    TToolbar* third = MakeToolbar(dock, 2, "third");
    third->SetDockRow(1);
    const QPoint grab(4, 13);  // on the grip
    ASSERT_TRUE(box->isVisibleTo(form.get()));
    ASSERT_EQ(dock->Thickness(), 52);

    // Within the dock: the drop position becomes DockPos, and the next one makes room.
    Drag(bar, grab, {DockScreen({54, 13})});
    EXPECT_EQ(bar->DockedTo(), dock);
    EXPECT_EQ(bar->DockPos(), 50);
    EXPECT_EQ(bar->pos().x(), 50);
    EXPECT_EQ(other->pos().x(), 201);

    // Dropped with its middle on the boundary of rows 0 and 1: a new row opens between them.
    Drag(other, grab, {DockScreen({250, 26})});
    EXPECT_EQ(bar->DockRow(), 0);
    EXPECT_EQ(other->DockRow(), 1);
    EXPECT_EQ(third->DockRow(), 2);
    EXPECT_EQ(dock->Thickness(), 78);

    // Held Ctrl: no dock takes it, it floats where it is released.
    Drag(bar, grab, {DockScreen({60, 13})}, true);
    EXPECT_TRUE(bar->Floating());
    ASSERT_NE(bar->FloatingWindow(), nullptr);
    EXPECT_EQ(bar->FloatingWindow()->objectName().left(21), "FloatingWindowParent_");
    EXPECT_EQ(bar->size(), bar->FloatingSize());
    EXPECT_EQ(other->DockRow(), 0);  // the emptied row closed
    EXPECT_EQ(dock->Thickness(), 52);

    // Back over the dock below its last row: a new row at the end.
    const QPoint floatGrab(20, 8);  // on the caption
    Drag(bar, floatGrab, {DockScreen({30, 53})});
    EXPECT_EQ(bar->DockedTo(), dock);
    EXPECT_EQ(bar->DockRow(), 2);
    EXPECT_EQ(dock->Thickness(), 78);

    // Escape (a drop that is not made) changes nothing.
    const QPoint before = bar->pos();
    Drag(bar, grab, {DockScreen({100, 200})}, false, false);
    EXPECT_EQ(bar->DockedTo(), dock);
    EXPECT_EQ(bar->pos(), before);

    // Off the dock the last toolbar leaves it empty: no height, the box on it hidden.
    Drag(other, grab, {DockScreen({150, 200})});
    Drag(third, grab, {DockScreen({150, 250})});
    Drag(bar, grab, {DockScreen({150, 150})});
    EXPECT_TRUE(bar->Floating());
    EXPECT_TRUE(dock->DockList().empty());
    EXPECT_EQ(dock->Thickness(), 0);
    EXPECT_EQ(dock->height(), 0);
    EXPECT_TRUE(box->visibleRegion().isEmpty());

    // A double click on a floating toolbar docks it where it was last.
    EXPECT_TRUE(bar->ToggleDocking());
    EXPECT_EQ(bar->DockedTo(), dock);
    EXPECT_EQ(dock->Thickness(), 26);
    EXPECT_FALSE(box->visibleRegion().isEmpty());
    // ... and on a docked one floats it where it floated last.
    const QPoint floatedAt = bar->FloatingPosition();
    EXPECT_TRUE(bar->ToggleDocking());
    EXPECT_EQ(bar->FloatingWindow()->pos(), floatedAt);
}

TEST_F(DockTest, DockTargetsFollowRequestsModesAndDefaults) {
    TToolbar* bar = MakeToolbar(dock, 3, "bar");
    auto* left = new TDock(form.get(), dpLeft);
    left->show();
    EXPECT_EQ(bar->DragCandidates(), (std::vector<TDock*>{dock, left}));
    bar->SetDockableTo(1 << dpLeft);
    EXPECT_EQ(bar->DragCandidates(), (std::vector<TDock*>{left}));
    bar->SetDockableTo(kDockableToAll);
    bar->SetDockMode(dmCannotFloatOrChangeDocks);
    EXPECT_EQ(bar->DragCandidates(), (std::vector<TDock*>{dock}));

    // A toolbar that cannot float has no target off the docks.
    bar->SetDockMode(dmCannotFloat);
    bar->BeginDrag({4, 13});
    bar->DragTo(DockScreen({200, 250}), false);
    EXPECT_EQ(bar->DragTarget(), nullptr);
    EXPECT_FALSE(bar->DragWouldFloat());
    EXPECT_TRUE(bar->DragRect().isNull());
    bar->EndDrag(true);
    EXPECT_EQ(bar->DockedTo(), dock);

    // A dock that refuses is passed over.
    bar->SetDockMode(dmCanFloat);
    int asked = 0;
    dock->OnRequestDock = [&](TDock*, TCustomToolWindow*, bool& accept) {
        ++asked;
        accept = false;
    };
    bar->BeginDrag({4, 13});
    bar->DragTo(DockScreen({100, 13}), false);
    EXPECT_GT(asked, 0);
    EXPECT_TRUE(bar->DragWouldFloat());
    bar->EndDrag(false);
    dock->OnRequestDock = nullptr;

    // With no last dock a floating toolbar goes to its default dock, first in row 0.
    TToolbar* first = MakeToolbar(dock, 2, "first");
    first->SetDockPos(0);
    auto floating = std::make_unique<TToolbar>(form.get());
    EXPECT_TRUE(floating->Floating());
    EXPECT_FALSE(floating->ReturnToDock());
    floating->SetDefaultDock(dock);
    EXPECT_TRUE(floating->ReturnToDock());
    EXPECT_EQ(floating->DockedTo(), dock);
    EXPECT_EQ(floating->DockRow(), 0);
    EXPECT_EQ(floating->DockPos(), 0);
    EXPECT_GT(first->DockPos(), 0);
}

TEST_F(DockTest, CloseButtonHidesUnlessRefused) {
    std::vector<std::pair<bool, QString>> events;
    dock->OnInsertRemoveBar = [&](TDock*, bool inserting, TCustomToolWindow* bar) {
        events.push_back({inserting, bar->Caption()});
    };
    TToolbar* bar = MakeToolbar(dock, 2, "bar");
    bar->SetVisible(false);
    bar->SetVisible(true);
    EXPECT_EQ(events, (std::vector<std::pair<bool, QString>>{{true, ""}, {false, "bar"}, {true, "bar"}}));
    bar->FloatAt(form->mapToGlobal(QPoint(50, 100)));
    EXPECT_FALSE(bar->CloseButtonRect().isEmpty());
    bool allow = false;
    int closed = 0;
    bar->OnCloseQuery = [&](TCustomToolWindow*, bool& canClose) { canClose = allow; };
    bar->OnClose = [&](TCustomToolWindow*) { ++closed; };
    bar->Close();
    EXPECT_TRUE(bar->Visible());
    EXPECT_EQ(closed, 0);
    allow = true;
    bar->Close();
    EXPECT_FALSE(bar->Visible());
    EXPECT_EQ(closed, 1);
}

TEST(DockZone, CursorMustLieNearTheDockAndThePlacedRectangleTouchIt) {
    const QRect dock(0, 100, 400, 26);
    const QSize size(151, 26);
    struct Case {
        QPoint cursor;
        QPoint grab;
        bool empty;
        bool vertical;
        bool inside;
    };
    const Case cases[] = {
        {{50, 110}, {0, 0}, false, false, true},
        {{50, 80}, {0, 0}, false, false, true},    // 20 above, grab at the top: still in
        {{50, 79}, {0, 0}, false, false, false},   // 21 above: out
        {{50, 125}, {0, 25}, false, false, true},  // grab at the bottom: the zone moves down
        {{50, 145}, {0, 25}, false, false, true},
        {{50, 146}, {0, 25}, false, false, false},
        {{-32, 110}, {0, 13}, false, false, true},  // 32 left of the dock with the grab at the left
        {{-33, 110}, {0, 13}, false, false, false},
        {{430, 110}, {150, 13}, false, false, true},
        {{50, 80}, {0, 0}, false, true, false},  // a side dock wants the cursor inside it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cursor.x() << "," << c.cursor.y());
        EXPECT_EQ(InDockZone(dock, c.empty, c.vertical, c.cursor, c.grab, size, size), c.inside);
    }
    // An empty dock of no height still catches a cursor on its line.
    EXPECT_TRUE(InDockZone(QRect(0, 100, 400, 0), true, false, {50, 100}, {10, 13}, size, size));
    EXPECT_FALSE(InDockZone(QRect(0, 100, 400, 0), false, false, {50, 100}, {10, 13}, size, size));
}

TEST(FloatingPlace, StaysInsideTheWorkArea) {
    const QRect work(0, 0, 800, 600);
    EXPECT_EQ(KeepFloatingInWorkArea(QRect(100, 100, 150, 50), work), QRect(100, 100, 150, 50));
    EXPECT_EQ(KeepFloatingInWorkArea(QRect(-200, 100, 150, 50), work).left(), -8);
    EXPECT_EQ(KeepFloatingInWorkArea(QRect(100, -30, 150, 50), work).top(), 0);
    EXPECT_EQ(KeepFloatingInWorkArea(QRect(790, 590, 150, 50), work), QRect(800 - 150 + 8, 600 - 50 + 8, 150, 50));
}

TEST(CaptionText, TooLongEndsInDots) {
    auto measure = [](const QString& s) { return static_cast<int>(s.size()) * 6; };
    struct Case {
        const char* caption;
        int width;
        const char* shown;
    };
    const Case cases[] = {
        {"Toolbar1", 48, "Toolbar1"},
        {"Toolbar1", 47, "Tool..."},
        {"Toolbar1", 10, "T..."},  // never fewer than four characters
        {"", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortenCaption(c.caption, c.width, measure).toStdString(), c.shown) << c.caption << " " << c.width;
}

TEST(Placement, MisplacedPartsAreRefused) {
    QWidget form;
    auto* dock = new TDock(&form);
    auto* bar = new TToolbar(dock);
    EXPECT_THROW(new TDock(bar), EToolbarError);
    EXPECT_THROW(new TDock(dock), EToolbarError);
    auto* plain = new QWidget(&form);
    EXPECT_THROW(new TToolbar(plain), EToolbarError);
    EXPECT_THROW(new TToolbarSep(plain), EToolbarError);
    EXPECT_THROW(dock->SetPosition(dpLeft), EToolbarError);
    auto* empty = new TDock(&form, dpBottom);
    empty->SetPosition(dpRight);
    EXPECT_EQ(empty->Position(), dpRight);
}

TEST_F(DockTest, FloatingToolbarWrapsGroupsAndOffersEachArrangementOnce) {
    // Three buttons, a separator, three buttons.
    auto* bar = new TToolbar(dock);
    std::vector<TToolbarButton*> buttons;
    for (int i = 0; i < 7; ++i) {
        if (i == 3) {
            new TToolbarSep(bar);
            continue;
        }
        buttons.push_back(new TToolbarButton(bar));
    }
    bar->Arrange();
    bar->FloatAt(form->mapToGlobal(QPoint(20, 60)));
    const int chrome = 2 * kFloatingFrame;                           // frame left and right
    const int chromeV = 2 * kFloatingFrame + kSmallCaption + 2 + 1;  // frame, caption, margins
    EXPECT_EQ(bar->size(), QSize(144 + 8 + chrome, 22 + chromeV));

    struct Case {
        int wrap;
        QSize content;
        QPoint lastButton;  // in the content
    };
    const Case cases[] = {
        {0, {144, 22}, {121, 0}},
        {100, {69, 22 + 6 + 22}, {46, 28}},        // the second group starts a new line
        {8 + 50, {46, 22 * 3 + 6 + 22}, {0, 72}},  // groups wrap inside, too
    };
    const QPoint origin(kFloatingFrame + 4, kFloatingFrame + kSmallCaption + 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wrap);
        bar->SetFloatRightX(c.wrap);
        EXPECT_EQ(bar->size(), QSize(c.content.width() + 8 + chrome, c.content.height() + chromeV));
        EXPECT_EQ(buttons.back()->pos(), origin + c.lastButton);
    }
    // Wrapped at the separator, it is drawn across the toolbar between the lines.
    bar->SetFloatRightX(100);
    auto* sep = bar->findChild<TToolbarSep*>();
    EXPECT_EQ(sep->geometry(), QRect(origin + QPoint(0, 22), QSize(69, 6)));

    const auto arrangements = bar->FloatingArrangements();
    ASSERT_GE(arrangements.size(), 3u);
    EXPECT_EQ(arrangements.front(), std::make_pair(QSize(144 + 8 + chrome, 22 + chromeV), 0));
    for (size_t i = 1; i < arrangements.size(); ++i) {
        EXPECT_LT(arrangements[i].first.width(), arrangements[i - 1].first.width());
        bar->SetFloatRightX(arrangements[i].second);
        EXPECT_EQ(bar->size(), arrangements[i].first);
    }
    EXPECT_EQ(arrangements.back().first.width(), 23 + 8 + chrome);  // one button per line
}

TEST_F(DockTest, KeysDuringADragAndTheFormsVisibility) {
    TToolbar* bar = MakeToolbar(dock, 3, "bar");
    auto key = [bar](QEvent::Type type, int code) {
        QKeyEvent event(type, code,
                        type == QEvent::KeyPress && code == Qt::Key_Control ? Qt::ControlModifier : Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    // Ctrl pressed and released over the dock switches between floating and docking at once.
    bar->BeginDrag({4, 13});
    bar->DragTo(DockScreen({120, 13}), false);
    EXPECT_EQ(bar->DragTarget(), dock);
    key(QEvent::KeyPress, Qt::Key_Control);
    EXPECT_EQ(bar->DragTarget(), nullptr);
    EXPECT_TRUE(bar->DragWouldFloat());
    key(QEvent::KeyRelease, Qt::Key_Control);
    EXPECT_EQ(bar->DragTarget(), dock);
    // Escape ends the drag where it stands; other keys are ignored.
    key(QEvent::KeyPress, Qt::Key_A);
    EXPECT_TRUE(bar->Dragging());
    key(QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_FALSE(bar->Dragging());
    EXPECT_EQ(bar->DockPos(), 0);

    // Floating, it shows only while its form is shown.
    bar->SetHideWhenInactive(false);
    bar->FloatAt(form->mapToGlobal(QPoint(50, 100)));
    ASSERT_NE(bar->FloatingWindow(), nullptr);
    EXPECT_TRUE(bar->FloatingWindow()->isVisible());
    form->hide();
    EXPECT_FALSE(bar->FloatingWindow()->isVisible());
    form->show();
    EXPECT_TRUE(bar->FloatingWindow()->isVisible());
    bar->SetVisible(false);
    EXPECT_FALSE(bar->FloatingWindow()->isVisible());
}
