// The binder end to end: statements are parsed, bound against an in-memory catalog whose
// tables are plain SQLite tables holding values in the form the virtual tables hand out
// (Catalog.h), and the SQL runs on a real SQLite connection with the dialect's functions.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/EngineError.h"
#include "engine/sql/Binder.h"
#include "engine/sql/DialectFunctions.h"
#include "engine/sql/DialectValues.h"
#include "engine/sql/Parser.h"
#include "engine/storage/Value.h"

using namespace tessel::engine;
using namespace tessel::engine::sql;

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Tables live in "/data"; a name without extension means .db.
class FakeCatalog : public Catalog {
public:
    void Add(const std::string& file, std::vector<FieldDesc> fields, std::vector<std::string> key = {}) {
        CatalogTable t;
        t.path = "/data/" + file;
        t.sqliteName = "vt_" + file.substr(0, file.find('.'));
        t.typeName = Upper(file).ends_with(".DBF") ? "DBASE" : "PARADOX";
        t.fields = std::move(fields);
        t.primaryKey = std::move(key);
        for (auto& f : t.fields) f.readOnly = f.subType == fldsub::kAutoInc;
        tables_[Upper(file)] = std::move(t);
    }

    const CatalogTable& ResolveTable(const TableName& name) override {
        std::string file = name.name;
        const size_t slash = file.find_last_of('/');
        if (slash != std::string::npos) file = file.substr(slash + 1);
        if (file.find('.') == std::string::npos) file += ".db";
        const auto it = tables_.find(Upper(file));
        if (it == tables_.end()) throw EngineError("Table does not exist: " + name.text, errc::kNotFound);
        return it->second;
    }

    std::string PathForNewTable(const TableName& name) override {
        std::string file = name.name;
        if (file.find('.') == std::string::npos) file += ".db";
        return "/data/" + file;
    }

    const std::map<std::string, CatalogTable>& Tables() const { return tables_; }

private:
    std::map<std::string, CatalogTable> tables_;
};

FieldDesc F(const std::string& name, uint16_t type, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0,
            char native = 0) {
    return FieldDesc::Make(name, type, sub, u1, u2, native);
}

class Db {
public:
    Db() {
        EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
        RegisterDialectFunctions(db_);
        // The executor answers a whole-table COUNT(*) from the table's live-record count; the
        // plain tables standing in for the virtual ones count their rows.
        sqlite3_create_function_v2(db_, "tessel_row_count", 1, SQLITE_UTF8, db_, RowCount, nullptr, nullptr, nullptr);
    }
    ~Db() { sqlite3_close(db_); }

    static void RowCount(sqlite3_context* ctx, int, sqlite3_value** argv) {
        auto* db = static_cast<sqlite3*>(sqlite3_user_data(ctx));
        const char* name = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        sqlite3_stmt* st = nullptr;
        const std::string sql = std::string("SELECT COUNT(*) FROM ") + QuoteSqliteIdentifier(name ? name : "");
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK || sqlite3_step(st) != SQLITE_ROW) {
            sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
        } else {
            sqlite3_result_int64(ctx, sqlite3_column_int64(st, 0));
        }
        sqlite3_finalize(st);
    }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string m = err ? err : "?";
            sqlite3_free(err);
            throw EngineError(m + " in: " + sql, errc::kSqlExecute);
        }
    }

    // Rows as "a|b" joined by ";"; NULL as "null", REAL in its shortest form.
    std::string Query(const std::string& sql, const std::vector<std::string>& params = {}) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw EngineError(std::string(sqlite3_errmsg(db_)) + " in: " + sql, errc::kSqlExecute);
        // Numbers go in as numbers, everything else as text (the executor converts by type).
        for (size_t k = 0; k < params.size(); ++k) {
            char* end = nullptr;
            const double d = std::strtod(params[k].c_str(), &end);
            if (!params[k].empty() && *end == '\0')
                sqlite3_bind_double(st, static_cast<int>(k + 1), d);
            else
                sqlite3_bind_text(st, static_cast<int>(k + 1), params[k].c_str(), -1, SQLITE_TRANSIENT);
        }
        std::string out;
        int rc = 0;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (!out.empty()) out += ";";
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                if (c) out += "|";
                switch (sqlite3_column_type(st, c)) {
                    case SQLITE_NULL:
                        out += "null";
                        break;
                    case SQLITE_INTEGER:
                        out += std::to_string(sqlite3_column_int64(st, c));
                        break;
                    case SQLITE_FLOAT:
                        out += FormatDouble(sqlite3_column_double(st, c));
                        break;
                    default:
                        out += reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                }
            }
        }
        const std::string err = sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) throw EngineError(err, errc::kSqlExecute);
        return out;
    }

    sqlite3* Handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// The fixture of the dialect's test statements: employee.db (Paradox) and dept.dbf (dBASE),
// plus a dBASE table of amounts with two decimals and a Paradox table with times.
class BinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalog_.Add("employee.db",
                     {F("LAST_NAME", fldtype::kString, 0, 20), F("FIRST_NAME", fldtype::kString, 0, 15),
                      F("SALARY", fldtype::kFloat), F("DEPT_NO", fldtype::kInt16), F("HIRED", fldtype::kDate),
                      F("ACTIVE", fldtype::kBool), F("NOTES", fldtype::kBlob, fldsub::kMemo, 20)},
                     {"LAST_NAME", "FIRST_NAME"});
        catalog_.Add("dept.dbf", {F("DEPT_NO", fldtype::kFloat, 0, 6, 0, 'N'), F("DEPT_NAME", fldtype::kString, 0, 20),
                                  F("BUDGET", fldtype::kFloat, 0, 12, 2, 'N')});
        catalog_.Add("amounts.dbf", {F("ID", fldtype::kFloat, 0, 11, 0, 'N'),
                                     F("AMOUNT", fldtype::kFloat, 0, 12, 2, 'N'), F("RATE", fldtype::kBcd, 0, 32, 3)});
        catalog_.Add("log.db", {F("ID", fldtype::kInt32, fldsub::kAutoInc), F("AT", fldtype::kTime),
                                F("STAMP", fldtype::kTimestamp), F("Date", fldtype::kDate),
                                F("Emp Id", fldtype::kString, 0, 10), F("RAW", fldtype::kBytes, 0, 4)});
        for (const auto& [key, t] : catalog_.Tables()) {
            std::string cols;
            // As the tables' own columns: numbers with NUMERIC affinity (an exact literal arrives
            // as its digits), text with the dialect's collation.
            for (const auto& f : t.fields)
                cols += (cols.empty() ? "" : ", ") + QuoteSqliteIdentifier(f.name) +
                        (f.type == fldtype::kFloat || f.type == fldtype::kBcd ? " NUMERIC"
                         : f.type == fldtype::kString                         ? " COLLATE RTRIM"
                                                                              : "");
            db_.Exec("CREATE TABLE " + QuoteSqliteIdentifier(t.sqliteName) + " (" + cols + ")");
        }
        db_.Exec(
            "INSERT INTO vt_employee VALUES "
            "('Adams', 'Ann', 52000.0, 10, '1994-03-15', 1, 'Team lead'),"
            "('Baker', 'Bob', 41000.5, 20, '1996-07-01', 1, NULL),"
            "('Clark', 'Carol', NULL, 20, '1999-11-30', 0, NULL),"
            "('Davis', 'Dan', 38500.0, NULL, '2001-01-02', 1, NULL),"
            "('baker', 'Beth', 45000.0, 10, '2000-02-29', NULL, NULL)");
        db_.Exec(
            "INSERT INTO vt_dept VALUES (10, 'Sales', 100000.0), (20, 'Research', 250000.0), "
            "(30, 'Support', 50000.0)");
        db_.Exec(
            "INSERT INTO vt_log VALUES (1, '10:30:00.000', '1999-12-31 23:59:00.000', '1999-12-31', 'E1', x'00ff'),"
            "(2, '15:03:22.000', '2000-01-01 00:00:00.000', '2000-01-01', 'E2', NULL)");
    }

    BoundStatement BindText(const std::string& sql) { return Bind(*ParseSingleStatement(sql), catalog_); }

    std::string Run(const std::string& sql, const std::vector<std::string>& params = {}) {
        const BoundStatement b = BindText(sql);
        return db_.Query(b.sql, params);
    }

    // The first line of the error a statement fails with (binding or running), "" when it runs.
    std::string ErrorOf(const std::string& sql) {
        try {
            Run(sql);
        } catch (const EngineError& e) {
            const std::string m = e.what();
            return m.substr(0, m.find('\n'));
        }
        return "";
    }

    struct QueryCase {
        const char* sql;
        const char* rows;
    };

    void ExpectRows(const std::vector<QueryCase>& cases) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.sql);
            try {
                EXPECT_EQ(Run(c.sql), c.rows);
            } catch (const EngineError& e) {
                ADD_FAILURE() << e.what();
            }
        }
    }

    FakeCatalog catalog_;
    Db db_;
};

// The statements of the dialect's fixture, with the answers users expect.
TEST_F(BinderTest, FixtureQueries) {
    ExpectRows({
        {"SELECT LAST_NAME FROM employee WHERE LAST_NAME = 'baker'", "baker"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE UPPER(LAST_NAME) = 'BAKER' ORDER BY FIRST_NAME", "baker;Baker"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE LAST_NAME LIKE '_a%' ORDER BY LAST_NAME", "Baker;Davis;baker"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE LAST_NAME LIKE 'B%'", "Baker"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY IS NULL", "Clark"},
        {"SELECT COUNT(*) FROM \"employee.db\" WHERE SALARY IS NOT NULL", "4"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY BETWEEN 38500 AND 45000 ORDER BY SALARY",
         "Davis;Baker;baker"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE DEPT_NO NOT IN (10, 30) ORDER BY 1", "Baker;Clark"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE HIRED < '1/1/2000' ORDER BY HIRED", "Adams;Baker;Clark"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE HIRED = '02/29/2000'", "baker"},
        {"SELECT COUNT(*) AS N FROM \"employee.db\" WHERE ACTIVE = TRUE", "3"},
        {"SELECT COUNT(*) AS N FROM \"employee.db\" WHERE ACTIVE = 'False'", "1"},
        {"SELECT COUNT(*) AS N FROM \"employee.db\" WHERE ACTIVE IS NULL", "1"},
        {"SELECT COUNT(*) AS N, COUNT(SALARY) AS NS, COUNT(DEPT_NO) AS ND, COUNT(DISTINCT DEPT_NO) AS NDD, "
         "SUM(SALARY) AS S, AVG(SALARY) AS A, MIN(SALARY) AS LO, MAX(SALARY) AS HI FROM \"employee.db\"",
         "5|4|4|2|176500.5|44125.125|38500|52000"},
        {"SELECT DEPT_NO, COUNT(*) AS N FROM \"employee.db\" GROUP BY DEPT_NO ORDER BY DEPT_NO", "null|1;10|2;20|2"},
        {"SELECT DEPT_NO, COUNT(*) AS N FROM \"employee.db\" GROUP BY DEPT_NO HAVING COUNT(*) > 1 ORDER BY DEPT_NO",
         "10|2;20|2"},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E, \"dept.dbf\" D WHERE E.DEPT_NO = D.DEPT_NO "
         "ORDER BY E.LAST_NAME",
         "Adams|Sales;Baker|Research;Clark|Research;baker|Sales"},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E INNER JOIN \"dept.dbf\" D ON E.DEPT_NO = D.DEPT_NO "
         "ORDER BY E.LAST_NAME",
         "Adams|Sales;Baker|Research;Clark|Research;baker|Sales"},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E LEFT OUTER JOIN \"dept.dbf\" D "
         "ON E.DEPT_NO = D.DEPT_NO ORDER BY E.LAST_NAME",
         "Adams|Sales;Baker|Research;Clark|Research;Davis|null;baker|Sales"},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E RIGHT OUTER JOIN \"dept.dbf\" D "
         "ON E.DEPT_NO = D.DEPT_NO ORDER BY 2, 1",
         "Baker|Research;Clark|Research;Adams|Sales;baker|Sales;null|Support"},
        {"SELECT COUNT(*) FROM \"employee.db\" E FULL OUTER JOIN \"dept.dbf\" D ON E.DEPT_NO = D.DEPT_NO", "6"},
        {"SELECT DEPT_NAME FROM \"dept.dbf\" WHERE DEPT_NO IN (SELECT DEPT_NO FROM \"employee.db\") ORDER BY 1",
         "Research;Sales"},
        {"SELECT D.DEPT_NAME FROM \"dept.dbf\" D WHERE NOT EXISTS "
         "(SELECT * FROM \"employee.db\" E WHERE E.DEPT_NO = D.DEPT_NO)",
         "Support"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY < ALL "
         "(SELECT SALARY FROM \"employee.db\" WHERE DEPT_NO = 10) ORDER BY 1",
         "Baker;Davis"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY > ANY "
         "(SELECT SALARY FROM \"employee.db\" WHERE DEPT_NO = 10)",
         "Adams"},
        {"SELECT LAST_NAME || ', ' || FIRST_NAME AS FULL_NAME FROM \"employee.db\" WHERE LAST_NAME = 'Adams'",
         "Adams, Ann"},
        {"SELECT SUBSTRING(LAST_NAME FROM 2 FOR 3) AS S, TRIM(LEADING 'A' FROM LAST_NAME) AS T, "
         "LOWER(LAST_NAME) AS L FROM \"employee.db\" WHERE LAST_NAME = 'Adams'",
         "dam|dams|adams"},
        {"SELECT EXTRACT(YEAR FROM HIRED) AS Y, EXTRACT(MONTH FROM HIRED) AS M, EXTRACT(DAY FROM HIRED) AS D "
         "FROM \"employee.db\" WHERE FIRST_NAME = 'Ann'",
         "1994|3|15"},
        {"SELECT CAST(SALARY AS INTEGER) AS S, CAST(ACTIVE AS CHAR(1)) AS C, CAST(ACTIVE AS INTEGER) AS I "
         "FROM \"employee.db\" WHERE FIRST_NAME IN ('Ann', 'Beth') ORDER BY FIRST_NAME",
         "52000|T|1;45000|null|null"},
        {"SELECT DISTINCT DEPT_NO FROM \"employee.db\" ORDER BY 1", "null;10;20"},
        {"SELECT LAST_NAME, SALARY FROM \"employee.db\" ORDER BY 2 DESC",
         "Adams|52000;baker|45000;Baker|41000.5;Davis|38500;Clark|null"},
        {"SELECT DEPT_NO FROM \"employee.db\" UNION SELECT DEPT_NO FROM \"dept.dbf\" ORDER BY 1", "null;10;20;30"},
        {"SELECT COUNT(*) FROM \"dept.dbf\" WHERE DEPT_NO IN "
         "(SELECT DEPT_NO FROM \"employee.db\" UNION ALL SELECT DEPT_NO FROM \"dept.dbf\")",
         "3"},
        {"SELECT 'Last Name' FROM \"employee.db\" WHERE DEPT_NO = 20", "Last Name;Last Name"},
        {"SELECT E.LAST_NAME FROM \":WORK:employee.db\" E WHERE E.FIRST_NAME = 'Dan'", "Davis"},
    });
}

// The rules marked as choices of the dialect: nulls, collation, ORDER BY forms.
TEST_F(BinderTest, NullAndOrderRules) {
    ExpectRows({
        // Comparisons with null select nothing; NOT of unknown is unknown.
        {"SELECT COUNT(*) FROM employee WHERE SALARY = NULL", "0"},
        {"SELECT COUNT(*) FROM employee WHERE NOT (SALARY > 40000)", "1"},
        {"SELECT COUNT(*) FROM employee WHERE SALARY > 40000 OR DEPT_NO = 20", "4"},
        // Arithmetic and || with null give null.
        {"SELECT SALARY + 1, LAST_NAME || NULL FROM employee WHERE FIRST_NAME = 'Carol'", "null|null"},
        // ANY/ALL over a set holding null: unknown rather than false, so NOT does not select.
        {"SELECT COUNT(*) FROM employee WHERE NOT (DEPT_NO = ANY "
         "(SELECT DEPT_NO FROM employee WHERE DEPT_NO = 20 OR DEPT_NO IS NULL))",
         "0"},
        {"SELECT COUNT(*) FROM employee WHERE NOT (DEPT_NO < ALL (SELECT DEPT_NO FROM employee))", "4"},
        {"SELECT COUNT(*) FROM employee WHERE SALARY < ALL (SELECT SALARY FROM employee WHERE DEPT_NO = 99)", "5"},
        // Aggregates of empty input.
        {"SELECT COUNT(*), SUM(SALARY), MAX(LAST_NAME) FROM employee WHERE DEPT_NO = 99", "0|null|null"},
        // Nulls first ascending, last descending; text in binary order.
        {"SELECT LAST_NAME FROM employee ORDER BY LAST_NAME", "Adams;Baker;Clark;Davis;baker"},
        {"SELECT DEPT_NO FROM employee ORDER BY DEPT_NO DESC, LAST_NAME", "20;20;10;10;null"},
        // ORDER BY an alias, a qualified name, a column not selected.
        {"SELECT LAST_NAME AS WHO FROM employee E ORDER BY WHO DESC", "baker;Davis;Clark;Baker;Adams"},
        {"SELECT E.LAST_NAME FROM employee E ORDER BY E.HIRED DESC", "Davis;baker;Clark;Baker;Adams"},
        {"SELECT D.DEPT_NO, E.LAST_NAME FROM employee E, dept.dbf D WHERE E.DEPT_NO = D.DEPT_NO "
         "ORDER BY DEPT_NO DESC, LAST_NAME",
         "20|Baker;20|Clark;10|Adams;10|baker"},
        // Trailing blanks do not count; case does.
        {"SELECT COUNT(*) FROM employee WHERE LAST_NAME = 'Adams   '", "1"},
        {"SELECT COUNT(*) FROM employee WHERE LAST_NAME IN ('adams', 'Clark  ')", "1"},
        {"SELECT COUNT(*) FROM employee WHERE LAST_NAME LIKE 'adams'", "0"},
        {"SELECT COUNT(*) FROM employee WHERE LAST_NAME BETWEEN 'A' AND 'C'", "2"},
        {"SELECT COUNT(*) FROM employee WHERE LAST_NAME > 'Z'", "1"},
        // LIKE with ESCAPE.
        {"SELECT COUNT(*) FROM employee WHERE 'a%b' LIKE 'a!%b' ESCAPE '!'", "5"},
        {"SELECT COUNT(*) FROM employee WHERE 'axb' LIKE 'a!%b' ESCAPE '!'", "0"},
        // Scalar subquery.
        {"SELECT LAST_NAME FROM employee WHERE SALARY = (SELECT MAX(SALARY) FROM employee)", "Adams"},
        {"SELECT LAST_NAME FROM employee WHERE SALARY = (SELECT SALARY FROM employee WHERE DEPT_NO = 99)", ""},
        // Duplicate answer names get a suffix.
        {"SELECT E.DEPT_NO, D.DEPT_NO FROM employee E, \"dept.dbf\" D WHERE E.DEPT_NO = D.DEPT_NO AND "
         "E.FIRST_NAME = 'Ann'",
         "10|10"},
        // Division is floating point.
        {"SELECT 7 / 2 FROM dept.dbf WHERE DEPT_NO = 10", "3.5"},
    });
}

TEST_F(BinderTest, DateTimeCoercions) {
    ExpectRows({
        {"SELECT COUNT(*) FROM employee WHERE HIRED >= '1/1/00'", "2"},
        {"SELECT COUNT(*) FROM employee WHERE HIRED BETWEEN '3/15/94' AND '1999-11-30'", "3"},
        {"SELECT COUNT(*) FROM employee WHERE HIRED IN ('3/15/1994', '7/1/1996')", "2"},
        {"SELECT ID FROM log WHERE AT = '10:30 AM'", "1"},
        {"SELECT ID FROM log WHERE AT = '3:03:22 PM'", "2"},
        {"SELECT ID FROM log WHERE AT = '15:03:22 AM'", "2"},
        {"SELECT ID FROM log WHERE STAMP = '12/31/1999 11:59:00 PM'", "1"},
        {"SELECT ID FROM log WHERE STAMP = '1/1/2000'", "2"},
        {"SELECT ID FROM log L WHERE L.\"Date\" < L.STAMP", "1"},
        {"SELECT ID FROM log L WHERE L.\"Date\" = L.STAMP", "2"},
        {"SELECT EXTRACT(HOUR FROM AT), EXTRACT(MINUTE FROM STAMP), EXTRACT(SECOND FROM AT) FROM log WHERE ID = 2",
         "15|0|22"},
        {"SELECT CAST(HIRED AS CHAR(10)), CAST('1/23/1998' AS DATE), CAST(HIRED AS TIMESTAMP) FROM employee "
         "WHERE FIRST_NAME = 'Ann'",
         "03/15/1994|1998-01-23|1994-03-15 00:00:00.000"},
        {"SELECT CAST(AT AS CHAR(20)), CAST(STAMP AS DATE), CAST(STAMP AS TIME) FROM log WHERE ID = 1",
         "10:30:00 AM|1999-12-31|23:59:00.000"},
        {"SELECT L.\"Emp Id\" FROM log L WHERE L.\"Emp Id\" = 'E2'", "E2"},
    });
}

TEST_F(BinderTest, ExpressionsAndFunctions) {
    ExpectRows({
        {"SELECT SUBSTRING(LAST_NAME FROM 4) FROM employee WHERE FIRST_NAME = 'Ann'", "ms"},
        {"SELECT SUBSTRING(LAST_NAME FROM 9 FOR 2) FROM employee WHERE FIRST_NAME = 'Ann'", ""},
        {"SELECT SUBSTRING(LAST_NAME FROM 0 FOR 2) FROM employee WHERE FIRST_NAME = 'Ann'", "A"},
        {"SELECT TRIM(TRAILING 's' FROM 'Adamsss'), TRIM('  x  '), TRIM(BOTH '*' FROM '**a*')"
         " FROM employee WHERE FIRST_NAME = 'Ann'",
         "Adam|x|a"},
        {"SELECT UPPER('straße éàü ñ'), LOWER('ÉCOLE ŁÓDŹ Ω Ж') FROM employee WHERE FIRST_NAME = 'Ann'",
         "STRAßE ÉÀÜ Ñ|école łódź ω ж"},
        {"SELECT SUBSTRING('żółw' FROM 2 FOR 2) FROM employee WHERE FIRST_NAME = 'Ann'", "ół"},
        {"SELECT DEPT_NO * 2 + 1, -DEPT_NO, SALARY / 4 FROM employee WHERE FIRST_NAME = 'Ann'", "21|-10|13000"},
        {"SELECT CAST(SALARY AS CHAR(8)), CAST('12' AS SMALLINT) + 1, CAST('T' AS BOOLEAN) FROM employee "
         "WHERE FIRST_NAME = 'Bob'",
         "41000.5|13|1"},
        {"SELECT CAST(BUDGET AS CHAR(12)) FROM \"dept.dbf\" WHERE DEPT_NO = 10", "100000.00"},
        {"SELECT COUNT(*) FROM employee WHERE SALARY > '40000.25'", "3"},
        {"SELECT COUNT(*) FROM employee WHERE NOTES LIKE 'Team%'", "1"},
        {"SELECT LAST_NAME FROM employee WHERE SALARY * 2 > 100000", "Adams"},
        {"SELECT DEPT_NO, SUM(SALARY * 2) AS S FROM employee GROUP BY DEPT_NO HAVING SUM(SALARY) > 40000 "
         "ORDER BY S",
         "20|82001;10|194000"},
    });
}

TEST_F(BinderTest, JoinsAndCorrelation) {
    ExpectRows({
        // Self-join with two correlation names.
        {"SELECT A.LAST_NAME, B.LAST_NAME FROM employee A, employee B WHERE A.DEPT_NO = B.DEPT_NO AND "
         "A.LAST_NAME < B.LAST_NAME ORDER BY 1",
         "Adams|baker;Baker|Clark"},
        // A table name (with or without its extension) qualifies columns, also from a subquery.
        {"SELECT DEPT_NAME FROM \"dept.dbf\" WHERE EXISTS (SELECT * FROM employee WHERE "
         "employee.DEPT_NO = dept.DEPT_NO AND \"employee.db\".ACTIVE = FALSE)",
         "Research"},
        // Joins chain, with a condition that is not an equality.
        {"SELECT E.LAST_NAME, D.DEPT_NAME, L.ID FROM employee E LEFT JOIN dept.dbf D ON E.DEPT_NO = D.DEPT_NO "
         "LEFT JOIN log L ON L.\"Date\" > E.HIRED ORDER BY 1, 3",
         "Adams|Sales|1;Adams|Sales|2;Baker|Research|1;Baker|Research|2;Clark|Research|1;Clark|Research|2;"
         "Davis|null|null;baker|Sales|null"},
        {"SELECT COUNT(*) FROM employee E CROSS JOIN dept.dbf D", "15"},
        // A correlated subquery inside an aggregate query's HAVING.
        {"SELECT DEPT_NO FROM employee E GROUP BY DEPT_NO HAVING COUNT(*) = "
         "(SELECT COUNT(*) FROM employee F WHERE F.DEPT_NO = E.DEPT_NO) ORDER BY 1",
         "10;20"},
        // t.* and the star of a correlation.
        {"SELECT D.*, E.FIRST_NAME FROM employee E, dept.dbf D WHERE E.DEPT_NO = D.DEPT_NO AND E.LAST_NAME = 'Adams'",
         "10|Sales|100000|Ann"},
    });
}

// The SQL functions the dialect calls fail where the dialect says so.
TEST_F(BinderTest, RuntimeFailures) {
    struct Case {
        const char* sql;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"SELECT SALARY / 0 FROM employee", "Division by zero"},
        {"SELECT LAST_NAME FROM employee WHERE SALARY = (SELECT SALARY FROM employee WHERE DEPT_NO = 10)",
         "Multiple records found, but only one was expected"},
        {"SELECT CAST(LAST_NAME AS INTEGER) FROM employee", "Type mismatch in expression: 'Adams' cannot be converted"},
        {"SELECT CAST(SALARY AS SMALLINT) FROM employee", "Numeric overflow in CAST"},
        {"SELECT TRIM(LEADING LAST_NAME FROM FIRST_NAME) FROM employee",
         "TRIM: the character to remove must be a single character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(ErrorOf(c.sql), c.error);
    }
}

TEST_F(BinderTest, BindErrors) {
    struct Case {
        const char* sql;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"SELECT \"Nmae\" FROM employee", "Invalid field name"},
        {"SELECT \"Last Name\" FROM employee", "Invalid field name"},
        {"SELECT NAME FROM employee", "Invalid field name"},
        {"SELECT X.LAST_NAME FROM employee E", "Invalid field name"},
        {"SELECT E.NOPE FROM employee E", "Invalid field name"},
        {"SELECT * FROM nothere", "Table does not exist: nothere"},
        {"SELECT DEPT_NO FROM employee E, \"dept.dbf\" D", "Ambiguous field name"},
        {"SELECT * FROM employee, employee", "Duplicate table or correlation name"},
        {"SELECT * FROM employee WHERE HIRED > 'someday'", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE HIRED = '02/30/1999'", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE HIRED = '31/12/1999'", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE LAST_NAME = DEPT_NO", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE SALARY = 'abc'", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE ACTIVE = 'maybe'", "Type mismatch in expression"},
        {"SELECT HIRED + 30 FROM employee", "Type mismatch in expression"},
        {"SELECT LAST_NAME || DEPT_NO FROM employee", "Type mismatch in expression"},
        {"SELECT SUM(LAST_NAME) FROM employee", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE LAST_NAME", "Type mismatch in expression"},
        {"SELECT EXTRACT(HOUR FROM HIRED) FROM employee", "Type mismatch in expression"},
        {"SELECT CAST(HIRED AS INTEGER) FROM employee", "Type mismatch in expression"},
        {"SELECT LAST_NAME, COUNT(*) FROM employee", "Field must be in GROUP BY or in an aggregate"},
        {"SELECT LAST_NAME FROM employee GROUP BY DEPT_NO", "Field must be in GROUP BY or in an aggregate"},
        {"SELECT * FROM employee GROUP BY DEPT_NO", "Field must be in GROUP BY or in an aggregate"},
        {"SELECT * FROM employee WHERE COUNT(*) > 1", "Capability not supported"},
        {"SELECT MAX(COUNT(*)) FROM employee", "Capability not supported"},
        {"SELECT COALESCE(SALARY, 0) FROM employee", "Capability not supported"},
        {"SELECT LAST_NAME FROM employee ORDER BY SALARY * 2", "Capability not supported"},
        {"SELECT DISTINCT LAST_NAME FROM employee ORDER BY SALARY", "ORDER BY field must be in the select list"},
        {"SELECT LAST_NAME FROM employee ORDER BY 3", "Invalid ORDER BY position"},
        {"SELECT LAST_NAME FROM employee UNION SELECT DEPT_NAME FROM dept.dbf ORDER BY SALARY", "Invalid field name"},
        {"SELECT LAST_NAME FROM employee UNION SELECT DEPT_NO FROM dept.dbf", "Type mismatch in expression"},
        {"SELECT LAST_NAME, FIRST_NAME FROM employee UNION SELECT DEPT_NAME FROM dept.dbf",
         "Each SELECT of a UNION must select the same number of fields"},
        {"SELECT * FROM employee WHERE DEPT_NO IN (SELECT DEPT_NO, DEPT_NAME FROM dept.dbf)",
         "A subquery used as a value must select exactly one field"},
        {"SELECT * FROM employee WHERE DEPT_NO IN (SELECT DEPT_NAME FROM dept.dbf)", "Type mismatch in expression"},
        {"SELECT * FROM employee WHERE DEPT_NO IN (SELECT DEPT_NO FROM dept.dbf ORDER BY 1)",
         "Capability not supported"},
        {"SELECT * FROM employee WHERE LAST_NAME LIKE 'a' ESCAPE '!!'", "Invalid escape character in LIKE"},
        {"SELECT TRIM('ab' FROM LAST_NAME) FROM employee", "TRIM removes a single character"},
        {"INSERT INTO employee (LAST_NAME, NOPE) VALUES ('a', 1)", "Invalid field name"},
        {"INSERT INTO employee (LAST_NAME, FIRST_NAME) VALUES ('a')",
         "The number of values does not match the number of fields"},
        {"INSERT INTO employee (HIRED) VALUES ('13/13/2000')", "Type mismatch in expression"},
        {"INSERT INTO employee (DEPT_NO) VALUES ('ten')", "Type mismatch in expression"},
        {"INSERT INTO employee (LAST_NAME) VALUES (12)", "Type mismatch in expression"},
        {"INSERT INTO employee (LAST_NAME) VALUES (\"Evans\")", "Invalid field name"},
        {"INSERT INTO log (ID) VALUES (3)", "Field is read-only"},
        {"INSERT INTO employee (LAST_NAME) SELECT DEPT_NO FROM dept.dbf", "Type mismatch in expression"},
        {"UPDATE employee SET HIRED = 5", "Type mismatch in expression"},
        {"UPDATE employee SET X.SALARY = 5", "Invalid field name"},
        {"UPDATE employee SET SALARY = 1, SALARY = 2", "Duplicate field name"},
        {"DELETE FROM employee WHERE NOPE = 1", "Invalid field name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(ErrorOf(c.sql), c.error);
    }
}

TEST_F(BinderTest, BindErrorsNameTheTokenAndLine) {
    try {
        BindText("SELECT LAST_NAME,\n  Nmae FROM employee");
        FAIL() << "bound";
    } catch (const EngineError& e) {
        EXPECT_EQ(std::string(e.what()), "Invalid field name\nToken: Nmae\nLine Number: 2");
        EXPECT_EQ(e.Code(), errc::kSqlBind);
    }
}

// The answer's fields: types and sizes follow the expressions, names follow the dialect.
TEST_F(BinderTest, AnswerFields) {
    struct Case {
        const char* sql;
        const char* fields;  // name:type/sub/units1/units2, joined by ", "
    };
    const std::vector<Case> cases = {
        {"SELECT * FROM employee",
         "LAST_NAME:1/0/20/0, FIRST_NAME:1/0/15/0, SALARY:7/0/0/0, DEPT_NO:5/0/0/0, HIRED:2/0/0/0, ACTIVE:4/0/0/0, "
         "NOTES:3/22/20/0"},
        {"SELECT LAST_NAME || ', ' || FIRST_NAME, LAST_NAME || NOTES FROM employee", "EXPR1:1/0/37/0, EXPR2:3/22/0/0"},
        {"SELECT COUNT(*), COUNT(SALARY), SUM(SALARY), SUM(DEPT_NO) FROM employee",
         "COUNT:6/0/0/0, COUNT OF SALARY:6/0/0/0, SUM OF SALARY:7/0/0/0, SUM OF DEPT_NO:7/0/0/0"},
        {"SELECT SUM(AMOUNT), AVG(AMOUNT), MIN(AMOUNT), SUM(RATE), SUM(ID) FROM amounts.dbf",
         "SUM OF AMOUNT:7/0/20/2, AVG OF AMOUNT:7/0/0/0, MIN OF AMOUNT:7/0/12/2, SUM OF RATE:8/0/32/3, "
         "SUM OF ID:7/0/20/0"},
        {"SELECT AMOUNT * 2, AMOUNT * RATE, AMOUNT + 1.5, AMOUNT / 2 FROM amounts.dbf",
         "EXPR1:7/0/20/2, EXPR2:7/0/20/5, EXPR3:7/0/20/2, EXPR4:7/0/0/0"},
        {"SELECT 'abc', 12, 12.50, 1.5E3, TRUE, NULL FROM employee",
         "EXPR1:1/0/3/0, EXPR2:6/0/0/0, EXPR3:7/0/5/2, EXPR4:7/0/0/0, EXPR5:4/0/0/0, EXPR6:1/0/1/0"},
        {"SELECT E.DEPT_NO, D.DEPT_NO, D.DEPT_NO AS DEPT_NO_1 FROM employee E, dept.dbf D",
         "DEPT_NO:5/0/0/0, DEPT_NO_2:7/0/6/0, DEPT_NO_1:7/0/6/0"},
        {"SELECT UPPER(LAST_NAME) AS U, SUBSTRING(LAST_NAME FROM 2 FOR 3), EXTRACT(YEAR FROM HIRED), "
         "CAST(SALARY AS DECIMAL(10, 2)), CAST(ACTIVE AS CHAR(1)) FROM employee",
         "U:1/0/20/0, EXPR1:1/0/3/0, EXPR2:5/0/0/0, EXPR3:8/0/10/2, EXPR4:1/0/1/0"},
        {"SELECT LAST_NAME FROM employee UNION SELECT DEPT_NAME FROM dept.dbf", "LAST_NAME:1/0/20/0"},
        {"SELECT DEPT_NO FROM employee UNION SELECT DEPT_NO FROM dept.dbf", "DEPT_NO:7/0/20/0"},
        {"SELECT SALARY = 1 AS B, ID FROM employee, log", "B:4/0/0/0, ID:6/29/0/0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const BoundStatement b = BindText(c.sql);
        std::string got;
        for (const auto& f : b.fields) {
            if (!got.empty()) got += ", ";
            got += f.name + ":" + std::to_string(f.type) + "/" + std::to_string(f.subType) + "/" +
                   std::to_string(f.units1) + "/" + std::to_string(f.units2);
        }
        EXPECT_EQ(got, c.fields);
        EXPECT_NO_THROW(db_.Query(b.sql)) << b.sql;
    }
}

// A million amounts of two decimals sum to the exact total; the average is the exact quotient.
TEST_F(BinderTest, ExactDecimalSums) {
    db_.Exec("BEGIN");
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_.Handle(), "INSERT INTO vt_amounts VALUES (?1, ?2, ?3)", -1, &st, nullptr),
              SQLITE_OK);
    uint64_t seed = 12345;
    int64_t exactCents = 0;
    int64_t exactRate = 0;
    const int n = 1'000'000;
    for (int k = 0; k < n; ++k) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const int64_t cents = static_cast<int64_t>(seed >> 33) % 10'000'000 - 2'000'000;  // -20000.00 .. 79999.99
        const int64_t mills = static_cast<int64_t>(seed >> 20) % 100'000;
        exactCents += cents;
        exactRate += mills;
        sqlite3_bind_int(st, 1, k);
        sqlite3_bind_double(st, 2, static_cast<double>(cents) / 100);
        sqlite3_bind_double(st, 3, static_cast<double>(mills) / 1000);
        ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    db_.Exec("COMMIT");
    const std::string sum = Run("SELECT SUM(AMOUNT), SUM(RATE), AVG(AMOUNT) FROM amounts.dbf");
    const std::string expectSum = FormatDouble(std::strtod(FormatDecimal(exactCents, 2).c_str(), nullptr));
    const std::string expectRate = FormatDouble(std::strtod(FormatDecimal(exactRate, 3).c_str(), nullptr));
    const std::string expectAvg = FormatDouble(static_cast<double>(static_cast<long double>(exactCents) / n / 100));
    EXPECT_EQ(sum, expectSum + "|" + expectRate + "|" + expectAvg);
    // Arithmetic on fixed-point values keeps their scale.
    EXPECT_EQ(Run("SELECT SUM(AMOUNT * 3) - 3 * SUM(AMOUNT) FROM amounts.dbf"), "0");
    EXPECT_EQ(Run("SELECT AMOUNT + 0.1 + 0.2 - AMOUNT FROM amounts.dbf WHERE ID = 7"), "0.3");
}

TEST_F(BinderTest, ChangesRunOnTheTables) {
    const std::vector<std::pair<const char*, const char*>> steps = {
        {"INSERT INTO \"dept.dbf\" (DEPT_NO, DEPT_NAME, BUDGET) VALUES (40, 'Legal', 1000)", nullptr},
        {"SELECT DEPT_NO, DEPT_NAME, BUDGET FROM dept.dbf WHERE DEPT_NO = 40", "40|Legal|1000"},
        {"INSERT INTO employee (LAST_NAME, FIRST_NAME, HIRED, ACTIVE) VALUES ('Evans', 'Eve', '12/24/2003', 'T')",
         nullptr},
        {"SELECT HIRED, ACTIVE, SALARY FROM employee WHERE LAST_NAME = 'Evans'", "2003-12-24|1|null"},
        {"INSERT INTO log VALUES ('11:00 PM', '1/2/2003 1:00', '1/2/2003', 'E3', NULL)", nullptr},
        {"SELECT AT, STAMP, \"Date\" FROM log L WHERE L.\"Emp Id\" = 'E3'",
         "23:00:00.000|2003-01-02 01:00:00.000|2003-01-02"},
        {"UPDATE employee SET SALARY = SALARY * 2 WHERE DEPT_NO = 10", nullptr},
        {"SELECT LAST_NAME, SALARY FROM employee WHERE DEPT_NO = 10 ORDER BY 1", "Adams|104000;baker|90000"},
        {"UPDATE employee E SET SALARY = (SELECT BUDGET FROM dept.dbf D WHERE D.DEPT_NO = E.DEPT_NO) "
         "WHERE E.LAST_NAME = 'Clark'",
         nullptr},
        {"SELECT SALARY FROM employee WHERE LAST_NAME = 'Clark'", "250000"},
        {"DELETE FROM employee WHERE ACTIVE = FALSE", nullptr},
        {"SELECT COUNT(*) FROM employee", "5"},
        {"INSERT INTO employee (LAST_NAME, FIRST_NAME, DEPT_NO) SELECT DEPT_NAME, 'X', DEPT_NO FROM dept.dbf "
         "WHERE DEPT_NO > 20",
         nullptr},
        {"SELECT LAST_NAME, DEPT_NO FROM employee WHERE FIRST_NAME = 'X' ORDER BY 1", "Legal|40;Support|30"},
        {"UPDATE employee SET SALARY = NULL", nullptr},
        {"SELECT COUNT(SALARY) FROM employee", "0"},
        {"DELETE FROM employee", nullptr},
        {"SELECT COUNT(*) FROM employee", "0"},
    };
    for (const auto& [sql, rows] : steps) {
        SCOPED_TRACE(sql);
        const BoundStatement b = BindText(sql);
        EXPECT_EQ(b.kind, rows ? BoundKind::Query : BoundKind::Dml);
        const std::string got = db_.Query(b.sql);
        if (rows) {
            EXPECT_EQ(got, rows);
        }
    }
}

// Nested quantified subqueries must not multiply the SQL: each level appears once.
TEST_F(BinderTest, NestedSubqueriesStayLinear) {
    std::string sql = "SELECT COUNT(*) FROM employee E0 WHERE E0.DEPT_NO >= ALL (SELECT DEPT_NO FROM dept.dbf)";
    for (int k = 1; k <= 3; ++k) {
        const std::string e = "E" + std::to_string(k);
        sql = "SELECT COUNT(*) FROM employee " + e + " WHERE " + e + ".SALARY > ANY (SELECT SALARY FROM employee " +
              "X WHERE EXISTS (" + sql + ")) OR " + e + ".DEPT_NO = SOME (SELECT DEPT_NO FROM dept.dbf)";
    }
    const BoundStatement b = BindText(sql);
    EXPECT_LT(b.sql.size(), 20 * sql.size());
    EXPECT_EQ(db_.Query(b.sql), "4");
}

// Long chains of conditions and terms, as generated statements hold, stay within SQLite's
// parser stack.
TEST_F(BinderTest, LongChains) {
    std::string where = "DEPT_NO = 10";
    std::string sum = "1";
    std::string text = "'a'";
    for (int k = 0; k < 300; ++k) {
        where += k % 2 ? " AND SALARY > " + std::to_string(k) : " OR LAST_NAME = 'x" + std::to_string(k) + "'";
        sum += k % 3 ? " + 1" : " - 0";
        text += " || 'a'";
    }
    EXPECT_EQ(Run("SELECT COUNT(*) FROM employee WHERE " + where), "2");
    EXPECT_EQ(Run("SELECT " + sum + ", " + text + " FROM employee WHERE FIRST_NAME = 'Ann'"),
              "201|" + std::string(301, 'a'));
}

TEST_F(BinderTest, TablesReadAndWritten) {
    const BoundStatement b = BindText("UPDATE employee SET SALARY = 1 WHERE DEPT_NO IN (SELECT DEPT_NO FROM dept.dbf)");
    ASSERT_EQ(b.writes.size(), 1u);
    EXPECT_EQ(b.writes[0]->path, "/data/employee.db");
    ASSERT_EQ(b.reads.size(), 1u);
    EXPECT_EQ(b.reads[0]->path, "/data/dept.dbf");
    const BoundStatement q = BindText("SELECT * FROM employee A, employee B, dept.dbf");
    EXPECT_EQ(q.reads.size(), 2u);
}

TEST_F(BinderTest, ParametersTakeTheirContextsTypes) {
    const BoundStatement b = BindText(
        "SELECT LAST_NAME FROM employee WHERE HIRED < :d AND LAST_NAME LIKE ? AND SALARY > :s AND "
        "ACTIVE = :a AND DEPT_NO IN (?, 20) ORDER BY 1");
    ASSERT_EQ(b.params.size(), 5u);
    EXPECT_EQ(b.params[0].type, fldtype::kDate);
    EXPECT_EQ(b.params[1].type, fldtype::kString);
    EXPECT_EQ(b.params[2].type, fldtype::kFloat);
    EXPECT_EQ(b.params[3].type, fldtype::kBool);
    EXPECT_EQ(b.params[4].type, fldtype::kInt16);
    EXPECT_EQ(db_.Query(b.sql, {"2000-01-01", "%a%", "100", "1", "10"}), "Adams;Baker");

    const BoundStatement i = BindText("INSERT INTO amounts.dbf (ID, AMOUNT, RATE) VALUES (?, ?, ?)");
    ASSERT_EQ(i.params.size(), 3u);
    EXPECT_EQ(i.params[1].type, fldtype::kFloat);
    EXPECT_EQ(i.params[1].units2, 2);
    EXPECT_EQ(i.params[2].type, fldtype::kBcd);
    EXPECT_EQ(i.params[2].units2, 3);
}

// CREATE TABLE makes the engine's field descriptors of the target format.
TEST_F(BinderTest, CreateTable) {
    struct Case {
        const char* sql;
        const char* fields;  // name:type/sub/units1/units2/native
    };
    const std::vector<Case> cases = {
        {"CREATE TABLE \"employee2.db\" (LAST_NAME CHAR(20), FIRST_NAME VARCHAR(15), SALARY NUMERIC(10,2), "
         "DEPT_NO SMALLINT, N INTEGER, A AUTOINC, M MONEY, B DECIMAL(12,3), F FLOAT(8,2), D DATE, T TIME, "
         "S TIMESTAMP, L BOOLEAN, Y BYTES(8), NOTES BLOB(20,1), BIN BLOB(0,2), FM BLOB(10,3), O BLOB(10,4), "
         "G BLOB(10,5), PRIMARY KEY (LAST_NAME, FIRST_NAME))",
         "LAST_NAME:1/0/20/0/-, FIRST_NAME:1/0/15/0/-, SALARY:7/0/0/0/-, DEPT_NO:5/0/0/0/-, N:6/0/0/0/-, "
         "A:6/29/0/0/-, M:7/21/0/0/-, B:8/0/12/3/-, F:7/0/0/0/-, D:2/0/0/0/-, T:10/0/0/0/-, S:11/0/0/0/-, "
         "L:4/0/0/0/-, Y:9/0/8/0/-, NOTES:3/22/20/0/-, BIN:3/23/0/0/-, FM:3/24/10/0/-, O:3/25/10/0/-, "
         "G:3/26/10/0/-"},
        {"CREATE TABLE \"dept2.dbf\" (DEPT_NO SMALLINT, NAME CHAR(254), BUDGET NUMERIC(12,2), F FLOAT(10,4), "
         "D DECIMAL(8,1), P NUMERIC, M MONEY, NOTES BLOB(10,1), BIN BLOB(10,2), O BLOB(1,4))",
         "DEPT_NO:5/0/0/0/-, NAME:1/0/254/0/-, BUDGET:7/0/12/2/N, F:7/0/10/4/F, D:8/0/8/1/N, P:7/0/0/0/N, "
         "M:7/21/0/0/-, NOTES:3/22/10/0/-, BIN:3/23/10/0/-, O:3/25/10/0/-"},
        {"CREATE TABLE orders (\"orders\".\"Order Id\" INTEGER, PRIMARY KEY (\"orders\".\"Order Id\"))",
         "Order Id:6/0/0/0/-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const BoundStatement b = BindText(c.sql);
        EXPECT_EQ(b.kind, BoundKind::CreateTable);
        std::string got;
        for (const auto& f : b.newFields) {
            if (!got.empty()) got += ", ";
            got += f.name + ":" + std::to_string(f.type) + "/" + std::to_string(f.subType) + "/" +
                   std::to_string(f.units1) + "/" + std::to_string(f.units2) + "/" +
                   (f.nativeType ? std::string(1, f.nativeType) : "-");
        }
        EXPECT_EQ(got, c.fields);
    }
    const BoundStatement b = BindText("CREATE TABLE orders (ID INTEGER, NAME CHAR(5), PRIMARY KEY (ID))");
    EXPECT_EQ(b.tablePath, "/data/orders.db");
    EXPECT_EQ(b.primaryKey, std::vector<std::string>{"ID"});
}

TEST_F(BinderTest, DdlErrors) {
    struct Case {
        const char* sql;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"CREATE TABLE \"x.dbf\" (A CHAR(10), PRIMARY KEY (A))", "A dBASE table cannot have a primary key"},
        {"CREATE TABLE \"y.dbf\" (T TIME)", "Invalid field type"},
        {"CREATE TABLE \"y.dbf\" (T BYTES(4))", "Invalid field type"},
        {"CREATE TABLE \"y.dbf\" (T BLOB(10, 3))", "Invalid field type"},
        {"CREATE TABLE \"y.dbf\" (C CHAR(255))", "Invalid field size"},
        {"CREATE TABLE \"y.dbf\" (N NUMERIC(255, 2))", "Invalid field size"},
        {"CREATE TABLE \"y.dbf\" (N NUMERIC(3, 2))", "Invalid field size"},
        {"CREATE TABLE y (C CHAR(256))", "Invalid field size"},
        {"CREATE TABLE y (D DECIMAL)", "Invalid field size"},
        {"CREATE TABLE y (B BLOB(241, 1))", "Invalid field size"},
        {"CREATE TABLE y (B BLOB(10, 6))", "Invalid field type"},
        {"CREATE TABLE y (A CHAR(1), A INTEGER)", "Duplicate field name"},
        {"CREATE TABLE y (A CHAR(1), B CHAR(1), PRIMARY KEY (B))",
         "The key fields must be the first fields of the table, in order"},
        {"CREATE TABLE y (A CHAR(1), PRIMARY KEY (C))", "Invalid field name"},
        {"CREATE TABLE y (A BOOLEAN, PRIMARY KEY (A))", "Invalid field type for a key"},
        {"CREATE TABLE y (z.A CHAR(1))", "Invalid field name"},
        {"ALTER TABLE employee ADD LAST_NAME CHAR(3)", "Duplicate field name"},
        {"ALTER TABLE employee DROP NOPE", "Invalid field name"},
        {"ALTER TABLE employee DROP LAST_NAME", "A key field cannot be dropped"},
        {"ALTER TABLE employee ADD X CHAR(2), DROP X, DROP X", "Invalid field name"},
        {"ALTER TABLE \"dept.dbf\" ADD T TIME", "Invalid field type"},
        {"ALTER TABLE nope ADD T TIME", "Table does not exist: nope"},
        {"CREATE INDEX ByName ON employee (LastName, FirstName)", "Invalid field name"},
        {"DROP INDEX \"employe.db\".PRIMARY", "Table does not exist: employe.db"},
        {"DROP TABLE nope", "Table does not exist: nope"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        std::string got;
        try {
            BindText(c.sql);
        } catch (const EngineError& e) {
            got = e.what();
            got = got.substr(0, got.find('\n'));
        }
        EXPECT_EQ(got, c.error);
    }
}

TEST_F(BinderTest, OtherDdl) {
    BoundStatement a = BindText(
        "ALTER TABLE \"employee.db\" ADD Territory Char(4),\n ADD DateChanged Date, DROP NOTES, ADD NOTES CHAR(3)");
    EXPECT_EQ(a.kind, BoundKind::AlterTable);
    EXPECT_EQ(a.tablePath, "/data/employee.db");
    ASSERT_EQ(a.alterActions.size(), 4u);
    EXPECT_EQ(a.alterActions[0].kind, BoundAlterAction::Kind::Add);
    EXPECT_EQ(a.alterActions[0].field.name, "Territory");
    EXPECT_EQ(a.alterActions[0].field.type, fldtype::kString);
    EXPECT_EQ(a.alterActions[0].field.units1, 4);
    EXPECT_EQ(a.alterActions[1].field.type, fldtype::kDate);
    EXPECT_EQ(a.alterActions[2].kind, BoundAlterAction::Kind::Drop);
    EXPECT_EQ(a.alterActions[2].field.name, "NOTES");
    EXPECT_EQ(a.alterActions[3].field.name, "NOTES");

    BoundStatement i = BindText("CREATE UNIQUE DESC INDEX ByFirst ON \"employee.db\" (first_name, LAST_NAME)");
    EXPECT_EQ(i.kind, BoundKind::CreateIndex);
    EXPECT_EQ(i.indexName, "ByFirst");
    EXPECT_EQ(i.indexFields, (std::vector<std::string>{"FIRST_NAME", "LAST_NAME"}));
    EXPECT_TRUE(i.indexUnique);
    EXPECT_TRUE(i.indexDescending);

    BoundStatement d = BindText("DROP INDEX \"employee.db\".PRIMARY");
    EXPECT_EQ(d.kind, BoundKind::DropIndex);
    EXPECT_EQ(d.indexName, "PRIMARY");
    EXPECT_EQ(BindText("DROP INDEX \"employee.db\".ByFirst").indexName, "ByFirst");

    BoundStatement t = BindText("DROP TABLE \"dept.dbf\"");
    EXPECT_EQ(t.kind, BoundKind::DropTable);
    EXPECT_EQ(t.tablePath, "/data/dept.dbf");
}

// How the dialect reads literal text.
TEST(DialectValuesTest, Literals) {
    struct Case {
        const char* text;
        const char* date;       // "" = not a date
        const char* time;       // "" = not a time
        const char* timestamp;  // "" = not a timestamp
    };
    const std::vector<Case> cases = {
        {"1/23/1998", "1998-01-23", "", "1998-01-23 00:00:00.000"},
        {" 01/02/2001 ", "2001-01-02", "", "2001-01-02 00:00:00.000"},
        {"12/31/49", "2049-12-31", "", "2049-12-31 00:00:00.000"},
        {"1/1/50", "1950-01-01", "", "1950-01-01 00:00:00.000"},
        {"2000-02-29", "2000-02-29", "", "2000-02-29 00:00:00.000"},
        {"02/30/1999", "", "", ""},
        {"31/12/1999", "", "", ""},
        {"1/2", "", "", ""},
        {"10:30", "", "10:30:00.000", ""},
        {"10:30 PM", "", "22:30:00.000", ""},
        {"12:00", "", "12:00:00.000", ""},
        {"12:15:00 am", "", "00:15:00.000", ""},
        {"15:03:22 AM", "", "15:03:22.000", ""},
        {"23:59:59.5", "", "23:59:59.500", ""},
        {"24:00", "", "", ""},
        {"10:61", "", "", ""},
        {"12/31/1999 11:59:00 PM", "", "", "1999-12-31 23:59:00.000"},
        {"someday", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t v = 0;
        EXPECT_EQ(ParseDateLiteral(c.text, v) ? SqliteDateText(v) : "", c.date);
        EXPECT_EQ(ParseTimeLiteral(c.text, v) ? SqliteTimeText(v) : "", c.time);
        EXPECT_EQ(ParseTimestampLiteral(c.text, v) ? SqliteTimestampText(v) : "", c.timestamp);
    }
    EXPECT_EQ(ParseBoolLiteral("true"), true);
    EXPECT_EQ(ParseBoolLiteral("F"), false);
    EXPECT_EQ(ParseBoolLiteral("yes"), std::nullopt);
}

}  // namespace
