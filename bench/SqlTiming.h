#pragma once

// Timing SQL statements for the benchmarks: a query with its rows fetched and the records the
// engine's virtual tables read for it, a statement without rows, and the median of several.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/Cursor.h"
#include "engine/Database.h"
#include "engine/VirtualTable.h"

namespace tessel::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// How long one run of `f` takes.
inline double Seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return Seconds(t0, Clock::now());
}

// The best of three runs.
inline double Best(const std::function<void()>& f) {
    double best = 1e9;
    for (int k = 0; k < 3; ++k) best = std::min(best, Seconds(f));
    return best;
}

// The next number of a xorshift sequence: the same tables on every run.
inline uint64_t Rand(uint64_t& s) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
}

// A query's answer read record by record, as a reader of the whole answer does.
inline void ReadAll(engine::Database& db, const std::string& sql) {
    auto answer = db.OpenQuery(sql);
    for (bool ok = answer->First(); ok; ok = answer->Next()) (void)answer->Current();
}

struct QueryRun {
    double seconds = 0;
    size_t rows = 0;
    uint64_t reads = 0;
};

inline QueryRun TimeQuery(engine::Database& db, const std::string& sql) {
    QueryRun r;
    const uint64_t before = engine::TableModuleRecordReads();
    const auto a = Clock::now();
    auto answer = db.OpenQuery(sql);
    for (bool ok = answer->First(); ok; ok = answer->Next()) ++r.rows;
    r.seconds = Seconds(a, Clock::now());
    r.reads = engine::TableModuleRecordReads() - before;
    return r;
}

inline double TimeStatement(engine::Database& db, const std::string& sql) {
    const auto a = Clock::now();
    db.Execute(sql);
    return Seconds(a, Clock::now());
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline void ShowQuery(const char* what, const QueryRun& r) {
    std::printf("%-24s%.6f s (%zu rows, %llu records read)\n", what, r.seconds, r.rows,
                static_cast<unsigned long long>(r.reads));
}

inline void ShowRatio(const char* what, const QueryRun& slow, const QueryRun& fast) {
    std::printf("%-24s%.0f\n", what, fast.seconds > 0 ? slow.seconds / fast.seconds : 0.0);
}

}  // namespace tessel::bench
