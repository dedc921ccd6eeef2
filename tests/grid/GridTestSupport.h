#pragma once

// Helpers of the grid tests.

#include <QApplication>
#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "framework/data/DataCursor.h"
#include "framework/data/DataSet.h"
#include "framework/data/DataSource.h"
#include "grid/DbGrid.h"

namespace tessel::test {

// Records made on demand: ID = position + 1, NAME = "r<id>". Counts what the data set reads.
class GeneratedCursor : public TDataCursor {
public:
    GeneratedCursor(int64_t count, bool sequenced, int64_t* reads)
        : count_(count), sequenced_(sequenced), reads_(reads) {
        fields_ = {engine::FieldDesc::Make("ID", engine::fldtype::kInt32),
                   engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 12)};
    }
    const std::vector<engine::FieldDesc>& Fields() const override { return fields_; }
    int64_t RecordCount() const override { return count_; }
    void ReadRecord(int64_t position, engine::Record& out) override {
        ++*reads_;
        std::string name = std::to_string(position + 1);
        name.insert(name.begin(), 'r');
        out = {engine::Value::Int(position + 1), engine::Value::Text(name)};
    }
    bool IsSequenced() const override { return sequenced_; }

private:
    std::vector<engine::FieldDesc> fields_;
    int64_t count_;
    bool sequenced_;
    int64_t* reads_;
};

class GeneratedDataSet : public TDataSet {
public:
    explicit GeneratedDataSet(int64_t count, bool sequenced = true) : count_(count), sequenced_(sequenced) {}
    ~GeneratedDataSet() override { Close(); }
    int64_t reads = 0;

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override {
        return std::make_unique<GeneratedCursor>(count_, sequenced_, &reads);
    }

private:
    int64_t count_;
    bool sequenced_;
};

// Records in memory, editable.
class MemoryDataSet : public TDataSet {
public:
    MemoryDataSet(std::vector<engine::FieldDesc> fields, std::vector<engine::Record> records)
        : fields_(std::move(fields)), records_(std::move(records)) {}
    ~MemoryDataSet() override { Close(); }

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override { return std::make_unique<TMemoryCursor>(fields_, records_); }

private:
    std::vector<engine::FieldDesc> fields_;
    std::vector<engine::Record> records_;
};

// A grid that writes down every repaint request and pixel shift.
class RecordingGrid : public TDbGrid {
public:
    using TDbGrid::TDbGrid;
    std::vector<QRect> invalidated;
    std::vector<int> scrolled;
    void Clear() {
        invalidated.clear();
        scrolled.clear();
    }
    bool WholeRepainted() const {
        for (const QRect& r : invalidated)
            if (r.contains(QRect(QPoint(0, 0), ClientSize()))) return true;
        return false;
    }

protected:
    void InvalidateRect(const QRect& rect) override {
        invalidated.push_back(rect);
        TDbGrid::InvalidateRect(rect);
    }
    void ScrollPixels(int dy, const QRect& rect) override {
        scrolled.push_back(dy);
        TDbGrid::ScrollPixels(dy, rect);
    }
};

// The grid's client area as drawn.
inline QImage Shot(QWidget& grid) {
    QAbstractScrollArea* area = qobject_cast<QAbstractScrollArea*>(&grid);
    QWidget* target = area ? area->viewport() : &grid;
    return target->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace tessel::test
