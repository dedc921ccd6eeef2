#pragma once

// What a record navigator does, without the buttons: which of its ten commands are possible
// in the data set's state, and carrying one out. A navigator widget shows Enabled() and calls
// Click(); OnChange tells it to repaint.

#include <array>
#include <functional>

#include "framework/data/DataSource.h"

namespace tessel {

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
constexpr int kNavigateButtonCount = 10;

class TNavigatorLogic : public TDataLink {
public:
    TNavigatorLogic() { Update(); }
    ~TNavigatorLogic() override;

    bool Enabled(TNavigateBtn button) const { return enabled_[static_cast<size_t>(button)]; }
    const std::array<bool, kNavigateButtonCount>& EnabledButtons() const { return enabled_; }

    // Carries out a command when it is enabled. Delete asks ConfirmDelete first when set.
    void Click(TNavigateBtn button);

    bool ConfirmDelete() const { return confirmDelete_; }
    void SetConfirmDelete(bool confirm) { confirmDelete_ = confirm; }
    // Asked with "Delete record?"; returns whether to go on. Unset: go on.
    std::function<bool(const std::string& question)> OnConfirm;
    // Before a command; clearing the flag stops it.
    std::function<void(TNavigateBtn, bool& proceed)> BeforeAction;
    // After a command has run.
    std::function<void(TNavigateBtn)> OnClick;
    // The enabled states changed.
    std::function<void()> OnChange;

protected:
    void ActiveChanged() override { Update(); }
    void DataSetChanged() override { Update(); }
    void DataSetScrolled(int) override { Update(); }
    void EditingChanged() override { Update(); }
    void RecordChanged(TField*) override {}

private:
    void Update();
    std::array<bool, kNavigateButtonCount> enabled_{};
    bool confirmDelete_ = true;
};

}  // namespace tessel
