#pragma once

// Helpers of the dBASE tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dbase/DbfTable.h"
#include "engine/storage/Table.h"
#include "support/RunCommand.h"

namespace dbftest {

using namespace tessel::engine;

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

using tessel::test::RunCommand;

// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessel-dbf-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string dir_;
};

// Every live record as text cells (FormatValue), in file order.
inline std::vector<std::vector<std::string>> Rows(Table& t) {
    std::vector<std::vector<std::string>> rows;
    Record rec;
    for (uint32_t k = 0; k < t.RecordCount(); ++k) {
        if (!t.ReadRecord(k, rec)) continue;
        std::vector<std::string> row;
        for (const auto& v : rec) row.push_back(FormatValue(v));
        rows.push_back(row);
    }
    return rows;
}

inline FieldDesc Def(const char* name, uint16_t type, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0,
                     char native = 0) {
    return FieldDesc::Make(name, type, sub, u1, u2, native);
}

}  // namespace dbftest
