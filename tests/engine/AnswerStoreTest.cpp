// The rows of an answer as they are kept: every kind of value back as it went in, in memory
// and from the temporary file, and a temporary file that cannot be made.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/EngineError.h"
#include "engine/AnswerStore.h"

namespace tessel::engine {
namespace {

Record RowFor(int n) {
    // Text long enough that a few thousand rows fill several pieces of the file.
    return {Value::Int(n),
            n % 7 == 0 ? Value::Null() : Value::Text("row " + std::to_string(n) + std::string(300, 'x')),
            Value::Decimal(n * 101LL, 2),
            Value::Double(n / 3.0),
            Value::Bytes(std::string("\0\1\2", 3)),
            Value::Bool(n % 2 == 0)};
}

void ExpectRow(const Record& got, int n) {
    const Record want = RowFor(n);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(got[k].kind, want[k].kind) << "row " << n << " field " << k;
        EXPECT_EQ(got[k].i, want[k].i);
        EXPECT_EQ(got[k].scale, want[k].scale);
        EXPECT_EQ(got[k].d, want[k].d);
        EXPECT_EQ(got[k].s, want[k].s);
    }
}

TEST(AnswerStoreTest, RowsComeBackAsTheyWentInFromMemoryAndFromTheFile) {
    for (const size_t budget : {size_t{64} << 20, size_t{1} << 20}) {
        SCOPED_TRACE(budget);
        AnswerStore store(budget);
        constexpr int kRows = 20000;  // about 7 MB
        for (int n = 0; n < kRows; ++n) store.Append(RowFor(n));
        EXPECT_EQ(store.Count(), kRows);
        EXPECT_EQ(store.SpilledPieces() > 0, budget < (size_t{7} << 20));
        Record row;
        // Forwards, backwards and jumping about: pieces are read back as they are needed.
        for (int n = 0; n < kRows; n += 997) {
            store.Read(n, row);
            ExpectRow(row, n);
        }
        for (int n = kRows - 1; n >= 0; n -= 1999) {
            store.Read(n, row);
            ExpectRow(row, n);
        }
        store.Read(kRows - 1, row);
        ExpectRow(row, kRows - 1);
    }
}

TEST(AnswerStoreTest, WithoutATemporaryFileTheRowsBeforeTheBudgetStay) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", "/nonexistent/tessel", 1);
    AnswerStore store(size_t{1} << 20);
    int appended = 0;
    try {
        for (; appended < 20000; ++appended) store.Append(RowFor(appended));
        ADD_FAILURE() << "the budget was never reached";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot keep the answer"), std::string::npos) << e.what();
    }
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_GT(appended, 0);
    EXPECT_EQ(store.Count(), appended);
    Record row;
    store.Read(appended - 1, row);
    ExpectRow(row, appended - 1);
    store.Read(0, row);
    ExpectRow(row, 0);
}

}  // namespace
}  // namespace tessel::engine
