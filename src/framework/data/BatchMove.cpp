// The batch move: copying a data set's records into a new table.

#include "framework/data/BatchMove.h"

#include "framework/data/DataSet.h"
#include "framework/data/Table.h"

namespace tessel {

void TBatchMove::Execute() {
    if (!source_ || !destination_) DatabaseError("Invalid batch move parameters", name_);
    if (mode_ != TBatchMode::batCopy) DatabaseError("Only the copy mode of a batch move is supported", name_);
    movedCount_ = 0;
    if (!source_->Active()) source_->Open();
    source_->CheckBrowseMode();
    const std::string path = destination_->TablePath();
    destination_->Close();
    movedCount_ = static_cast<int64_t>(EngineCall([&] { return source_->Cursor()->CopyTo(path); }));
}

}  // namespace tessel
