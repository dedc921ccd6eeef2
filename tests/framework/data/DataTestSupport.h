#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/data/DataSet.h"
#include "framework/data/DataSource.h"

namespace tessel::test {

// A data set over records in memory.
class MemoryDataSet : public TDataSet {
public:
    MemoryDataSet(std::vector<engine::FieldDesc> fields, std::vector<engine::Record> records, bool readOnly = false)
        : fields_(std::move(fields)), records_(std::move(records)), readOnly_(readOnly) {}
    ~MemoryDataSet() override { Close(); }
    TMemoryCursor* Memory() const { return static_cast<TMemoryCursor*>(Cursor()); }

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override {
        return std::make_unique<TMemoryCursor>(fields_, records_, readOnly_);
    }

private:
    std::vector<engine::FieldDesc> fields_;
    std::vector<engine::Record> records_;
    bool readOnly_;
};

// A data set of `n` records with an integer ID (1..n) and a NAME "r<id>".
inline std::unique_ptr<MemoryDataSet> NumberedDataSet(int n, bool readOnly = false) {
    std::vector<engine::Record> records;
    for (int i = 1; i <= n; ++i) {
        std::string name = std::to_string(i);
        name.insert(name.begin(), 'r');
        records.push_back({engine::Value::Int(i), engine::Value::Text(name)});
    }
    return std::make_unique<MemoryDataSet>(
        std::vector<engine::FieldDesc>{engine::FieldDesc::Make("ID", engine::fldtype::kInt32),
                                       engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 20)},
        std::move(records), readOnly);
}

// A data link that writes down every notification it receives, with what it saw then.
class RecordingLink : public TDataLink {
public:
    std::vector<std::string> log;
    // Text typed into the "control" and not yet written to the field.
    std::string pendingText;
    TField* pendingField = nullptr;
    bool takesFocus = false;

    void Clear() { log.clear(); }

protected:
    void ActiveChanged() override { log.push_back(Active() ? "ActiveChanged(on)" : "ActiveChanged(off)"); }
    void CheckBrowseMode() override { log.push_back("CheckBrowseMode"); }
    void DataSetChanged() override { log.push_back("DataSetChanged"); }
    void DataSetScrolled(int distance) override { log.push_back("DataSetScrolled(" + std::to_string(distance) + ")"); }
    void EditingChanged() override { log.push_back(Editing() ? "EditingChanged(on)" : "EditingChanged(off)"); }
    void LayoutChanged() override { log.push_back("LayoutChanged"); }
    void RecordChanged(TField* field) override {
        log.push_back("RecordChanged(" + (field ? field->FieldName() : std::string()) + ")");
    }
    void UpdateData() override {
        log.push_back("UpdateData");
        if (pendingField) {
            TField* f = pendingField;
            pendingField = nullptr;
            f->SetText(pendingText);
        }
    }
    void FocusControl(TField*& field) override {
        log.push_back("FocusControl(" + field->FieldName() + ")");
        if (takesFocus) field = nullptr;
    }
};

}  // namespace tessel::test
