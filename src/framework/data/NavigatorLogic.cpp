// What the record navigator's buttons do and when they are enabled.

#include "framework/data/NavigatorLogic.h"

namespace tessel {

TNavigatorLogic::~TNavigatorLogic() {
    OnChange = nullptr;
    SetDataSource(nullptr);
}

void TNavigatorLogic::Update() {
    std::array<bool, kNavigateButtonCount> e{};
    TDataSet* ds = DataSet();
    if (Active() && ds) {
        const bool editing = Editing();
        const bool canModify = ds->CanModify() && !ReadOnly();
        const bool empty = ds->IsEmpty();
        auto set = [&](TNavigateBtn b, bool v) { e[static_cast<size_t>(b)] = v; };
        set(TNavigateBtn::nbFirst, !ds->Bof());
        set(TNavigateBtn::nbPrior, !ds->Bof());
        set(TNavigateBtn::nbNext, !ds->Eof());
        set(TNavigateBtn::nbLast, !ds->Eof());
        set(TNavigateBtn::nbInsert, canModify);
        set(TNavigateBtn::nbDelete, canModify && !empty);
        set(TNavigateBtn::nbEdit, canModify && !editing && !empty);
        set(TNavigateBtn::nbPost, editing);
        set(TNavigateBtn::nbCancel, editing);
        set(TNavigateBtn::nbRefresh, !editing);
    }
    if (e != enabled_) {
        enabled_ = e;
        if (OnChange) OnChange();
    }
}

void TNavigatorLogic::Click(TNavigateBtn button) {
    TDataSet* ds = DataSet();
    if (!ds || !Enabled(button)) return;
    bool proceed = true;
    if (BeforeAction) BeforeAction(button, proceed);
    if (!proceed) return;
    switch (button) {
        case TNavigateBtn::nbFirst:
            ds->First();
            break;
        case TNavigateBtn::nbPrior:
            ds->Prior();
            break;
        case TNavigateBtn::nbNext:
            ds->Next();
            break;
        case TNavigateBtn::nbLast:
            ds->Last();
            break;
        case TNavigateBtn::nbInsert:
            ds->Insert();
            break;
        case TNavigateBtn::nbDelete:
            if (confirmDelete_ && OnConfirm && !OnConfirm("Delete record?")) return;
            ds->Delete();
            break;
        case TNavigateBtn::nbEdit:
            ds->Edit();
            break;
        case TNavigateBtn::nbPost:
            ds->Post();
            break;
        case TNavigateBtn::nbCancel:
            ds->Cancel();
            break;
        case TNavigateBtn::nbRefresh:
            ds->Refresh();
            break;
    }
    if (OnClick) OnClick(button);
}

}  // namespace tessel
