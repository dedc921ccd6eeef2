// Tests of values, field lookup and file locks.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "base/EngineError.h"
#include "engine/storage/LockedFile.h"
#include "engine/storage/Value.h"

using namespace tessel::engine;

TEST(CalendarTest, DayNumbersRoundTripAndMatchKnownDays) {
    struct Case {
        int y, m, d;
        int64_t day;
    } cases[] = {
        {1, 1, 1, 1},          {1970, 1, 1, 719163},    {2000, 8, 16, 730348},
        {2000, 2, 29, 730179}, {9999, 12, 31, 3652059}, {1900, 3, 1, 693655},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DayNumber(c.y, c.m, c.d), c.day) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d;
        CivilFromDayNumber(c.day, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    }
}

TEST(CalendarTest, ValidDates) {
    EXPECT_TRUE(IsValidDate(2024, 2, 29));
    EXPECT_FALSE(IsValidDate(2023, 2, 29));
    EXPECT_FALSE(IsValidDate(1900, 2, 29));
    EXPECT_TRUE(IsValidDate(2000, 2, 29));
    EXPECT_FALSE(IsValidDate(2024, 13, 1));
    EXPECT_FALSE(IsValidDate(0, 1, 1));
    EXPECT_FALSE(IsValidDate(2024, 4, 31));
}

TEST(ValueFormatTest, TextForms) {
    struct Case {
        Value v;
        const char* text;
    } cases[] = {
        {Value::Null(), ""},
        {Value::Bool(true), "TRUE"},
        {Value::Bool(false), "FALSE"},
        {Value::Int(-42), "-42"},
        {Value::Decimal(350, 2), "3.50"},
        {Value::Decimal(-5, 2), "-0.05"},
        {Value::Decimal(-125, 3), "-0.125"},
        {Value::Decimal(INT64_MIN, 0), "-9223372036854775808"},
        {Value::Double(0.1), "0.1"},
        {Value::Double(-2.5), "-2.5"},
        {Value::Double(1e20), "100000000000000000000"},
        {Value::Date(1999, 12, 31), "1999-12-31"},
        {Value::Time(8, 15, 0), "08:15:00"},
        {Value::Time(23, 59, 59, 7), "23:59:59.007"},
        {Value::Timestamp(2000, 8, 16, 17, 21, 41, 310), "2000-08-16 17:21:41.310"},
        {Value::Timestamp(2001, 1, 2, 3, 4, 5), "2001-01-02 03:04:05"},
        {Value::Bytes(std::string("\x00\xbe\xef", 3)), "0x00beef"},
        {Value::Text("h\xc3\xa9"), "h\xc3\xa9"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatValue(c.v), c.text);
}

TEST(ValueTest, EqualityComparesKindAndContent) {
    EXPECT_EQ(Value::Decimal(350, 2), Value::Decimal(350, 2));
    EXPECT_FALSE(Value::Decimal(350, 2) == Value::Decimal(35, 1));
    EXPECT_FALSE(Value::Int(1) == Value::Bool(true));
    EXPECT_FALSE(Value::Text("a") == Value::Bytes("a"));
    EXPECT_EQ(Value::Null(), Value::Null());
}

class LockedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessel-lock-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/t.bin";
        std::ofstream(path_) << "0123456789";
        LockedFile::SetLockTimeoutMs(200);
    }
    void TearDown() override {
        LockedFile::SetLockTimeoutMs(10000);
        std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_, path_;
};

TEST_F(LockedFileTest, ExclusiveLockKeepsOthersOutUntilReleased) {
    LockedFile a, b;
    a.Open(path_, true);
    b.Open(path_, false);
    a.Lock(LockMode::Exclusive);
    try {
        b.Lock(LockMode::Shared);
        FAIL() << "a shared lock was granted while another holder had it exclusively";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), errc::kLocked);
        EXPECT_NE(std::string(e.what()).find(path_), std::string::npos);
    }
    a.Unlock();
    b.Lock(LockMode::Shared);
    EXPECT_TRUE(b.HoldsLock());
    b.Unlock();
}

TEST_F(LockedFileTest, SharedLocksCoexistAndNestingCounts) {
    LockedFile a, b;
    a.Open(path_, false);
    b.Open(path_, false);
    a.Lock(LockMode::Shared);
    a.Lock(LockMode::Shared);
    b.Lock(LockMode::Shared);
    a.Unlock();
    EXPECT_TRUE(a.HoldsLock());
    b.Unlock();
    a.Unlock();
    EXPECT_FALSE(a.HoldsLock());
    // Now an exclusive request succeeds.
    b.Lock(LockMode::Exclusive);
    EXPECT_TRUE(b.HoldsExclusive());
    b.Unlock();
}

TEST_F(LockedFileTest, ReadsAreShortAtTheEndAndExactReadsFailThere) {
    LockedFile a;
    a.Open(path_, false);
    char buf[8];
    EXPECT_EQ(a.ReadAt(6, buf, 8), 4u);
    EXPECT_THROW(a.ReadExactly(6, buf, 8, "record"), EngineError);
    EXPECT_EQ(a.Size(), 10u);
}

TEST_F(LockedFileTest, OpeningAMissingFileNamesIt) {
    LockedFile a;
    try {
        a.Open(dir_ + "/missing.dbf", false);
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), errc::kNotFound);
        EXPECT_NE(std::string(e.what()).find("missing.dbf"), std::string::npos);
    }
}
