// Answer grid benchmark: a table of 1,000,000 records and one of 10 (.dbf, generated here),
// each shown in the answer grid twice, as a table and as the answer of "SELECT * FROM". For
// each it prints the time to open, the time to the grid's first paint, and per-step times of
// Ctrl+End, 100 x Page Up, Ctrl+Home and 100 x Page Down (the data set moves those keys make,
// each followed by a paint). Run by hand, offscreen:
//   tessel_grid_bench [--records N] [--dir DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QImage>

#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "framework/data/Query.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"
#include "grid/DbGrid.h"

using namespace tessel;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void MakeTable(const std::string& path, int64_t records) {
    using engine::FieldDesc;
    namespace t = engine::fldtype;
    auto table = engine::CreateTableFile(
        path, {FieldDesc::Make("ID", t::kFloat, 0, 9, 0, 'N'), FieldDesc::Make("NAME", t::kString, 0, 20),
               FieldDesc::Make("AMOUNT", t::kFloat, 0, 10, 2, 'N')});
    for (int64_t i = 1; i <= records; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, "Customer ");
        table->AppendRecord({engine::Value::Int(i), engine::Value::Text(name), engine::Value::Double(i * 0.25)});
    }
    table->Close();
}

struct Figures {
    double open = 0, firstPaint = 0, end = 0, pageUp = 0, home = 0, pageDown = 0;
};

Figures Run(TDataSet& ds) {
    Figures f;
    TDataSource source(&ds);
    TDbGrid grid;
    grid.resize(800, 600);
    grid.show();
    grid.SetDataSource(&source);
    // Paints the grid's client area as a paint request does, into an image of its size.
    QImage surface(grid.viewport()->size(), QImage::Format_RGB32);
    auto paint = [&] { grid.viewport()->render(&surface); };
    auto t0 = Clock::now();
    ds.Open();
    f.open = Ms(t0);
    t0 = Clock::now();
    paint();
    f.firstPaint = Ms(t0);
    const int visible = std::max(1, grid.VisibleRowCount());
    t0 = Clock::now();
    ds.Last();
    paint();
    f.end = Ms(t0);
    t0 = Clock::now();
    for (int i = 0; i < 100; ++i) {
        ds.MoveBy(-visible);
        paint();
    }
    f.pageUp = Ms(t0) / 100;
    t0 = Clock::now();
    ds.First();
    paint();
    f.home = Ms(t0);
    t0 = Clock::now();
    for (int i = 0; i < 100; ++i) {
        ds.MoveBy(visible);
        paint();
    }
    f.pageDown = Ms(t0) / 100;
    ds.Close();
    return f;
}

void Print(const char* what, int64_t records, const Figures& f) {
    std::printf(
        "%-6s %9lld records: open %8.1f ms  first paint %6.2f ms  Ctrl+End %6.2f ms  "
        "PgUp %6.2f ms/step  Ctrl+Home %6.2f ms  PgDn %6.2f ms/step\n",
        what, static_cast<long long>(records), f.open, f.firstPaint, f.end, f.pageUp, f.home, f.pageDown);
}

}  // namespace

int main(int argc, char** argv) {
    int64_t records = 1'000'000;
    std::string dir = std::filesystem::temp_directory_path().string();
    for (int k = 1; k < argc; ++k) {
        if (!std::strcmp(argv[k], "--records") && k + 1 < argc)
            records = std::atoll(argv[++k]);
        else if (!std::strcmp(argv[k], "--dir") && k + 1 < argc)
            dir = argv[++k];
    }
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::string work = dir + "/tessel-grid-bench";
    std::filesystem::create_directories(work);
    engine::Engine engine(work + "/aliases.conf", work);
    SetSessionEngine(&engine);

    auto t0 = Clock::now();
    MakeTable(work + "/big.dbf", records);
    std::printf("generated big.dbf (%lld records) in %.1f s\n", static_cast<long long>(records), Ms(t0) / 1000);
    MakeTable(work + "/small.dbf", 10);

    for (const auto& [name, count] : {std::pair<const char*, int64_t>{"small", 10}, {"big", records}}) {
        TTable table;
        table.SetDatabaseName(work);
        table.SetTableName(std::string(name) + ".dbf");
        Print("table", count, Run(table));
        TQuery query;
        query.SetDatabaseName(work);
        query.SQL().Add(std::string("SELECT * FROM \"") + name + ".dbf\"");
        Print("query", count, Run(query));
    }
    SetSessionEngine(nullptr);
    std::filesystem::remove_all(work);
    return 0;
}
