#pragma once

// Helpers of the executor tests: an engine on a temporary database.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "support/TempDir.h"

namespace tessel::test {

// An engine whose aliases live in a temporary folder, with a database on another one.
struct ExecFixture {
    TempDir config;
    TempDir dir;
    std::unique_ptr<engine::Engine> engine;
    engine::Database* db = nullptr;

    ExecFixture() {
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
    }

    // The answer as lines "v1|v2|...", values in the tools' text form.
    std::vector<std::string> Rows(const std::string& sql) {
        auto answer = db->OpenQuery(sql);
        std::vector<std::string> rows;
        for (bool ok = answer->First(); ok; ok = answer->Next()) {
            std::string line;
            const auto& rec = answer->Current();
            for (size_t k = 0; k < rec.size(); ++k) {
                if (k) line += "|";
                line += engine::FormatValue(rec[k]);
            }
            rows.push_back(line);
        }
        return rows;
    }

    void Sql(const std::string& sql) { db->Execute(sql); }

    // Every file of the directory with its bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            std::ifstream in(e.path(), std::ios::binary);
            files[e.path().filename().string()] =
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return files;
    }

    // The fixture of the dialect's reference: employee.db (Paradox, keyed) and dept.dbf.
    void MakeReferenceTables() {
        Sql("CREATE TABLE \"employee.db\" (LAST_NAME CHAR(20), FIRST_NAME CHAR(15), SALARY NUMERIC(10,2), "
            "DEPT_NO SMALLINT, HIRED DATE, ACTIVE BOOLEAN, NOTES BLOB(20,1), PRIMARY KEY (LAST_NAME, FIRST_NAME))");
        Sql("CREATE TABLE \"dept.dbf\" (DEPT_NO SMALLINT, DEPT_NAME CHAR(20), BUDGET NUMERIC(12,2))");
        Sql("INSERT INTO \"employee.db\" VALUES ('Adams', 'Ann', 52000.00, 10, '03/15/1994', TRUE, 'Team lead')");
        Sql("INSERT INTO \"employee.db\" VALUES ('Baker', 'Bob', 41000.50, 20, '07/01/1996', TRUE, NULL)");
        Sql("INSERT INTO \"employee.db\" VALUES ('Clark', 'Carol', NULL, 20, '11/30/1999', FALSE, NULL)");
        Sql("INSERT INTO \"employee.db\" VALUES ('Davis', 'Dan', 38500.00, NULL, '01/02/2001', TRUE, NULL)");
        Sql("INSERT INTO \"employee.db\" VALUES ('baker', 'Beth', 45000.00, 10, '02/29/2000', NULL, NULL)");
        Sql("INSERT INTO \"dept.dbf\" VALUES (10, 'Sales', 100000.00)");
        Sql("INSERT INTO \"dept.dbf\" VALUES (20, 'Research', 250000.00)");
        Sql("INSERT INTO \"dept.dbf\" VALUES (30, 'Support', 50000.00)");
    }
};

}  // namespace tessel::test
