#pragma once

// The record navigator bar: ten buttons (first, prior, next, last, insert, delete, edit, post,
// cancel, refresh) over the navigator logic of a data source. The glyphs are drawn here.

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "framework/data/NavigatorLogic.h"

class QAbstractButton;

namespace tessel {

class TDbNavigator : public QWidget {
    Q_OBJECT

public:
    explicit TDbNavigator(QWidget* parent = nullptr);
    ~TDbNavigator() override;

    TDataSource* DataSource() const { return logic_.DataSource(); }
    void SetDataSource(TDataSource* source) { logic_.SetDataSource(source); }
    TNavigatorLogic& Logic() { return logic_; }
    bool ConfirmDelete() const { return logic_.ConfirmDelete(); }
    void SetConfirmDelete(bool confirm) { logic_.SetConfirmDelete(confirm); }

    QAbstractButton* Button(TNavigateBtn button) const { return buttons_[static_cast<size_t>(button)]; }
    // Carries out a button's command as a click does.
    void BtnClick(TNavigateBtn button);
    // The hint of each button.
    static const char* Hint(TNavigateBtn button);
    // Paints a button's glyph into `rect` (enabled or greyed).
    static void DrawGlyph(QPainter& painter, TNavigateBtn button, const QRect& rect, bool enabled);

    // Asks "Delete record?"; unset: a message box.
    std::function<bool(const std::string& question)> OnConfirm;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateButtons();
    void LayOut();

    TNavigatorLogic logic_;
    std::array<QAbstractButton*, kNavigateButtonCount> buttons_{};
};

}  // namespace tessel
