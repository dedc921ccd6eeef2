#pragma once

// Helpers of the data-set tests.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/TableFiles.h"
#include "engine/paradox/Paradox.h"
#include "framework/data/DataSet.h"
#include "framework/data/DataSource.h"
#include "support/TempDir.h"

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

// employee.db (keyed on ID) or employee.dbf with five records: ID, NAME, HIRED, AMOUNT, SMALL.
inline std::string MakeEmployees(const TempDir& dir, const std::string& ext) {
    const std::string path = dir.File("employee" + ext);
    std::vector<engine::FieldDesc> fields;
    std::unique_ptr<engine::Table> table;
    if (ext == ".db") {
        fields = {engine::FieldDesc::Make("ID", engine::fldtype::kInt32),
                  engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 10),
                  engine::FieldDesc::Make("HIRED", engine::fldtype::kDate),
                  engine::FieldDesc::Make("AMOUNT", engine::fldtype::kFloat, engine::fldsub::kMoney),
                  engine::FieldDesc::Make("SMALL", engine::fldtype::kInt16)};
        table = engine::paradox::CreateParadoxTable(path, fields, {}, 1);
    } else {
        fields = {engine::FieldDesc::Make("ID", engine::fldtype::kFloat, 0, 5, 0, 'N'),
                  engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 10),
                  engine::FieldDesc::Make("HIRED", engine::fldtype::kDate),
                  engine::FieldDesc::Make("AMOUNT", engine::fldtype::kFloat, 0, 8, 2, 'N'),
                  engine::FieldDesc::Make("SMALL", engine::fldtype::kInt16)};
        table = engine::CreateTableFile(path, fields);
    }
    const char* names[] = {"Ann", "Bob", "Cy", "Di", "Ed"};
    for (int i = 0; i < 5; ++i)
        table->AppendRecord({engine::Value::Int(i + 1), engine::Value::Text(names[i]),
                             engine::Value::Date(1990 + i, 1, 15), engine::Value::Double(1000.5 * (i + 1)),
                             engine::Value::Int(i)});
    table->Close();
    return path;
}

// Every file of the directory with its bytes.
inline std::map<std::string, std::string> Snapshot(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& name : dir.Entries()) files[name] = ReadBytes(dir.File(name));
    return files;
}

inline std::vector<engine::Record> FileRecords(const std::string& path) {
    auto table = engine::OpenTableFile(path);
    std::vector<engine::Record> out;
    engine::Record r;
    for (uint32_t i = 0; i < table->RecordCount(); ++i)
        if (table->ReadRecord(i, r)) out.push_back(r);
    return out;
}

inline std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace tessel::test
