// What the parser makes of each construct of the dialect, as S-expression dumps.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sql/AstDump.h"
#include "engine/sql/Parser.h"
#include "engine/sql/SyntaxError.h"

using namespace tessel::engine::sql;

namespace {

struct Case {
    const char* sql;
    const char* dump;
};

std::string Dump(const std::string& sql) {
    try {
        return ToString(*ParseSingleStatement(sql));
    } catch (const tessel::engine::EngineError& e) {
        return std::string("error: ") + e.what();
    }
}

void ExpectDumps(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(Dump(c.sql), c.dump);
    }
}

TEST(ParserTest, SampleStatements) {
    ExpectDumps({
        {"ALTER TABLE \"employee.db\" ADD Territory Char(4),\n      \t\t\tADD DateChanged Date",
         "(alter-table \"employee.db\" (add Territory (CHAR 4)) (add DateChanged DATE))"},
        {"CREATE INDEX Name on \"employee.db\" (LastName, FirstName)",
         "(create-index Name \"employee.db\" (cols LastName FirstName))"},
        {"UPDATE \"employee.db\"\nSET SALARY = NULL", "(update \"employee.db\" (set (= SALARY NULL)))"},
        {"CREATE TABLE \"employee.db\"\n\t(\n\tLAST_NAME CHAR(20),\n\tFIRST_NAME CHAR(15),\n"
         "\tSALARY NUMERIC(10,2),\n\tDEPT_NO SMALLINT,\n\tNOTES BLOB(20,1),\n"
         "\tPRIMARY KEY(LAST_NAME, FIRST_NAME)\n\t)",
         "(create-table \"employee.db\" (LAST_NAME (CHAR 20)) (FIRST_NAME (CHAR 15)) "
         "(SALARY (NUMERIC 10 2)) (DEPT_NO SMALLINT) (NOTES (BLOB 20 1)) "
         "(primary-key LAST_NAME FIRST_NAME))"},
        {"ALTER TABLE \"employee.db\" DROP Territory,\n      \t\t\tDROP DateChanged",
         "(alter-table \"employee.db\" (drop Territory) (drop DateChanged))"},
        {"DROP INDEX \"employe.db\".PRIMARY", "(drop-index \"employe.db\" (primary))"},
        {"DROP TABLE \"employee.db\"", "(drop-table \"employee.db\")"},
        {"DELETE FROM \"employee.db\"", "(delete \"employee.db\")"},
        {"SELECT LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES\r\nFROM \"employee.db\"\r\n"
         "ORDER BY LAST_NAME, FIRST_NAME, SALARY, DEPT_NO",
         "(select (cols LAST_NAME FIRST_NAME SALARY DEPT_NO NOTES) (from \"employee.db\") "
         "(order-by LAST_NAME FIRST_NAME SALARY DEPT_NO))"},
        {"SELECT *\nFROM \"employee.db\"", "(select (cols *) (from \"employee.db\"))"},
    });
}

TEST(ParserTest, Queries) {
    ExpectDumps({
        {"SELECT LAST_NAME FROM employee WHERE LAST_NAME = 'baker'",
         "(select (cols LAST_NAME) (from employee) (where (= LAST_NAME 'baker')))"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE UPPER(LAST_NAME) = \"BAKER\"",
         "(select (cols LAST_NAME) (from \"employee.db\") (where (= (call UPPER LAST_NAME) "
         "\"BAKER\")))"},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY BETWEEN 38500 AND 45000 ORDER BY "
         "SALARY",
         "(select (cols LAST_NAME) (from \"employee.db\") (where (between SALARY 38500 45000)) "
         "(order-by SALARY))"},
        {"SELECT COUNT(*) AS N, COUNT(SALARY) AS NS, COUNT(DISTINCT DEPT_NO) NDD, SUM(SALARY) "
         "AS S, AVG(SALARY) AS A, MIN(SALARY) AS LO, MAX(SALARY) AS HI FROM \"employee.db\"",
         "(select (cols (as (count *) N) (as (count SALARY) NS) (as (count distinct DEPT_NO) "
         "NDD) (as (sum SALARY) S) (as (avg SALARY) A) (as (min SALARY) LO) (as (max SALARY) "
         "HI)) (from \"employee.db\"))"},
        {"SELECT SUM(DISTINCT QTY * PRICE) FROM t", "(select (cols (sum distinct (* QTY PRICE))) (from t))"},
        {"SELECT DEPT_NO, COUNT(*) AS N FROM \"employee.db\" GROUP BY DEPT_NO HAVING COUNT(*) > "
         "1 ORDER BY DEPT_NO",
         "(select (cols DEPT_NO (as (count *) N)) (from \"employee.db\") (group-by DEPT_NO) "
         "(having (> (count *) 1)) (order-by DEPT_NO))"},
        {"SELECT DISTINCT DEPT_NO FROM \"employee.db\"", "(select distinct (cols DEPT_NO) (from \"employee.db\"))"},
        {"SELECT LAST_NAME, SALARY FROM \"employee.db\" ORDER BY 2 DESC, LAST_NAME ASC, E.X",
         "(select (cols LAST_NAME SALARY) (from \"employee.db\") (order-by (desc 2) LAST_NAME "
         "E.X))"},
        {"SELECT \"Last Name\" FROM \"employee.db\"", "(select (cols \"Last Name\") (from \"employee.db\"))"},
        {"SELECT E.*, D.DEPT_NAME, \"dept.dbf\".* FROM \"employee.db\" E, \"dept.dbf\" D",
         "(select (cols E.* D.DEPT_NAME \"dept.dbf\".*) (from (as \"employee.db\" E) (as "
         "\"dept.dbf\" D)))"},
        {"SELECT E.\"Emp Id\", \"fish.db\".\"Species No\", DateLog.'Date' FROM t",
         "(select (cols E.\"Emp Id\" \"fish.db\".\"Species No\" DateLog.\"Date\") (from t))"},
        {"SELECT SALARY * 12 AS YEARLY, SALARY / 12 MONTHLY, 'x' \"Label\", 1 FROM t",
         "(select (cols (as (* SALARY 12) YEARLY) (as (/ SALARY 12) MONTHLY) (as 'x' "
         "\"Label\") 1) (from t))"},
        {"select a from t where a is not null and b is null",
         "(select (cols a) (from t) (where (and (is-not-null a) (is-null b))))"},
        {"SELECT /* the name */ a FROM /* multi\nline */ t", "(select (cols a) (from t))"},
        {"SELECT a FROM t;", "(select (cols a) (from t))"},
        {"SELECT a FROM t ;  /* done */ \r\n", "(select (cols a) (from t))"},
    });
}

TEST(ParserTest, TableReferences) {
    ExpectDumps({
        {"SELECT a FROM \"employee.db\" E", "(select (cols a) (from (as \"employee.db\" E)))"},
        {"SELECT a FROM \"employee.db\" AS E", "(select (cols a) (from (as \"employee.db\" E)))"},
        {"SELECT a FROM 'parts.dbf'", "(select (cols a) (from \"parts.dbf\"))"},
        {"SELECT a FROM \"c:\\sample\\parts.dbf\"", "(select (cols a) (from \"c:\\sample\\parts.dbf\"))"},
        {"SELECT a FROM \"/abs/path/t.dbf\" t", "(select (cols a) (from (as \"/abs/path/t.dbf\" t)))"},
        {"SELECT a FROM \":WORK:customer.db\" C", "(select (cols a) (from (as \":WORK:customer.db\" C)))"},
        {"SELECT a FROM :WORK:customer", "(select (cols a) (from :WORK:customer))"},
        {"SELECT a FROM :WORK:customer.db c", "(select (cols a) (from (as :WORK:customer.db c)))"},
        {"SELECT a FROM parts.db, Parts.DBF p", "(select (cols a) (from parts.db (as Parts.DBF p)))"},
        {"SELECT a FROM \"Customer Revenue.db\"", "(select (cols a) (from \"Customer Revenue.db\"))"},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E INNER JOIN \"dept.dbf\" D ON "
         "E.DEPT_NO = D.DEPT_NO",
         "(select (cols E.LAST_NAME D.DEPT_NAME) (from (join (as \"employee.db\" E) (as "
         "\"dept.dbf\" D) (= E.DEPT_NO D.DEPT_NO))))"},
        {"SELECT a FROM x JOIN y ON x.k = y.k", "(select (cols a) (from (join x y (= x.k y.k))))"},
        {"SELECT a FROM x LEFT OUTER JOIN y ON x.k = y.k", "(select (cols a) (from (left-join x y (= x.k y.k))))"},
        {"SELECT a FROM x RIGHT JOIN y ON x.k = y.k", "(select (cols a) (from (right-join x y (= x.k y.k))))"},
        {"SELECT a FROM x FULL OUTER JOIN y ON x.k = y.k AND x.j > 1",
         "(select (cols a) (from (full-join x y (and (= x.k y.k) (> x.j 1)))))"},
        {"SELECT a FROM x CROSS JOIN y", "(select (cols a) (from (cross-join x y)))"},
        {"SELECT a FROM x cross, y", "(select (cols a) (from (as x cross) y))"},
        {"SELECT a FROM x LEFT JOIN y ON x.k = y.k LEFT JOIN z ON y.k = z.k, w",
         "(select (cols a) (from (left-join (left-join x y (= x.k y.k)) z (= y.k z.k)) w))"},
        {"SELECT a FROM x LEFT JOIN (y JOIN z ON y.k = z.k) ON x.k = y.k",
         "(select (cols a) (from (left-join x (join y z (= y.k z.k)) (= x.k y.k))))"},
    });
}

TEST(ParserTest, Subqueries) {
    ExpectDumps({
        {"SELECT DEPT_NAME FROM \"dept.dbf\" WHERE DEPT_NO IN (SELECT DEPT_NO FROM "
         "\"employee.db\")",
         "(select (cols DEPT_NAME) (from \"dept.dbf\") (where (in DEPT_NO (select (cols DEPT_NO) "
         "(from \"employee.db\")))))"},
        {"SELECT D.DEPT_NAME FROM \"dept.dbf\" D WHERE NOT EXISTS (SELECT * FROM "
         "\"employee.db\" E WHERE E.DEPT_NO = D.DEPT_NO)",
         "(select (cols D.DEPT_NAME) (from (as \"dept.dbf\" D)) (where (not (exists (select "
         "(cols *) (from (as \"employee.db\" E)) (where (= E.DEPT_NO D.DEPT_NO)))))))"},
        {"SELECT a FROM t WHERE SALARY < ALL (SELECT SALARY FROM t WHERE DEPT_NO = 10)",
         "(select (cols a) (from t) (where (< SALARY (all (select (cols SALARY) (from t) (where "
         "(= DEPT_NO 10)))))))"},
        {"SELECT a FROM t WHERE b > ANY (SELECT c FROM u) OR b <> SOME (SELECT c FROM u)",
         "(select (cols a) (from t) (where (or (> b (any (select (cols c) (from u)))) (<> b (some "
         "(select (cols c) (from u)))))))"},
        {"SELECT a FROM t WHERE SALARY = (SELECT MAX(SALARY) FROM t) AND b NOT IN (SELECT c "
         "FROM u)",
         "(select (cols a) (from t) (where (and (= SALARY (select (cols (max SALARY)) (from t))) "
         "(not-in b (select (cols c) (from u))))))"},
        {"SELECT a FROM t WHERE (SELECT COUNT(*) FROM u WHERE u.k = t.k) > 2",
         "(select (cols a) (from t) (where (> (select (cols (count *)) (from u) (where (= u.k "
         "t.k))) 2)))"},
        {"SELECT DEPT_NO FROM \"employee.db\" UNION SELECT DEPT_NO FROM \"dept.dbf\"",
         "(union (select (cols DEPT_NO) (from \"employee.db\")) (select (cols DEPT_NO) (from "
         "\"dept.dbf\")))"},
        {"SELECT a FROM t UNION ALL SELECT b FROM u UNION SELECT c FROM v ORDER BY 1",
         "(union (select (cols a) (from t)) all (select (cols b) (from u)) (select (cols c) "
         "(from v)) (order-by 1))"},
    });
}

TEST(ParserTest, Expressions) {
    ExpectDumps({
        // precedence: unary minus; * /; + - ||; comparisons; NOT; AND; OR
        {"SELECT a + b * c - d / e FROM t", "(select (cols (- (+ a (* b c)) (/ d e))) (from t))"},
        {"SELECT (a + b) * -c, -a * b, - (a), +a FROM t",
         "(select (cols (* (+ a b) (neg c)) (* (neg a) b) (neg a) (plus a)) (from t))"},
        {"SELECT a FROM t WHERE NOT a = 1 AND b = 2 OR c = 3",
         "(select (cols a) (from t) (where (or (and (not (= a 1)) (= b 2)) (= c 3))))"},
        {"SELECT a FROM t WHERE a = 1 OR b = 2 AND NOT NOT c = 3",
         "(select (cols a) (from t) (where (or (= a 1) (and (= b 2) (not (not (= c 3)))))))"},
        {"SELECT a FROM t WHERE a || b = 'x' || c", "(select (cols a) (from t) (where (= (|| a b) (|| 'x' c))))"},
        {"SELECT a FROM t WHERE a <> 1 AND a != 2 AND a < 3 AND a <= 4 AND a > 5 AND a >= 6",
         "(select (cols a) (from t) (where (and (and (and (and (and (<> a 1) (<> a 2)) (< a 3)) "
         "(<= a 4)) (> a 5)) (>= a 6))))"},
        {"SELECT a FROM t WHERE a BETWEEN 1 + 1 AND 3 AND b NOT BETWEEN 'a' AND 'b'",
         "(select (cols a) (from t) (where (and (between a (+ 1 1) 3) (not-between b 'a' "
         "'b'))))"},
        {"SELECT a FROM t WHERE a NOT IN (10, 30) OR a IN (1)",
         "(select (cols a) (from t) (where (or (not-in a (list 10 30)) (in a (list 1)))))"},
        {"SELECT a FROM t WHERE a LIKE '_a%' AND b NOT LIKE 'x\\%%' ESCAPE '\\'",
         "(select (cols a) (from t) (where (and (like a '_a%') (not-like b 'x\\%%' (escape "
         "'\\')))))"},
        {"SELECT -5, -5 * 2, 1 - -5, 12.50, .5, 1.5E3, 1e-3, 7 FROM t",
         "(select (cols -5 (* -5 2) (- 1 -5) 12.50 .5 1.5E3 1e-3 7) (from t))"},
        {"SELECT 'O''Brien', \"O'Brien\", \"say \"\"hi\"\"\", '' FROM t",
         "(select (cols 'O''Brien' \"O'Brien\" \"say \"\"hi\"\"\" '') (from t))"},
        {"SELECT NULL, TRUE, false, \"T\" FROM t WHERE HIRED < '1/1/2000' AND d = '10:30 PM'",
         "(select (cols NULL TRUE FALSE \"T\") (from t) (where (and (< HIRED '1/1/2000') (= d "
         "'10:30 PM'))))"},
        {"SELECT a FROM t WHERE a = :a AND b = ? AND c = :Name_2",
         "(select (cols a) (from t) (where (and (and (= a :a) (= b ?)) (= c :Name_2))))"},
        {"SELECT SUBSTRING(LAST_NAME FROM 2 FOR 3) AS S, SUBSTRING(x FROM n + 1) FROM t",
         "(select (cols (as (substring LAST_NAME 2 3) S) (substring x (+ n 1))) (from t))"},
        {"SELECT TRIM(LEADING 'A' FROM a), TRIM(TRAILING FROM b), TRIM(BOTH ' ' FROM c), "
         "TRIM('x' FROM d), TRIM(e), TRIM(BOTH FROM f) FROM t",
         "(select (cols (trim leading 'A' a) (trim trailing b) (trim both ' ' c) (trim both 'x' "
         "d) (trim both e) (trim both f)) (from t))"},
        {"SELECT UPPER(a), lower(b || c), ABS(d), NOW() FROM t",
         "(select (cols (call UPPER a) (call lower (|| b c)) (call ABS d) (call NOW)) (from t))"},
        {"SELECT EXTRACT(YEAR FROM HIRED) Y, EXTRACT(month FROM h), EXTRACT(DAY FROM h), "
         "EXTRACT(HOUR FROM h), EXTRACT(MINUTE FROM h), EXTRACT(SECOND FROM h) FROM t",
         "(select (cols (as (extract YEAR HIRED) Y) (extract MONTH h) (extract DAY h) (extract "
         "HOUR h) (extract MINUTE h) (extract SECOND h)) (from t))"},
        {"SELECT CAST(SALARY AS INTEGER), CAST(ACTIVE AS CHAR(1)), CAST('1/23/1998' AS DATE), "
         "CAST(x AS NUMERIC(10, 2)) FROM t",
         "(select (cols (cast SALARY INTEGER) (cast ACTIVE (CHAR 1)) (cast '1/23/1998' DATE) "
         "(cast x (NUMERIC 10 2))) (from t))"},
    });
}

TEST(ParserTest, DataChanges) {
    ExpectDumps({
        {"INSERT INTO \"dept.dbf\" (DEPT_NO, DEPT_NAME, BUDGET) VALUES (40, 'Legal', 1000)",
         "(insert \"dept.dbf\" (cols DEPT_NO DEPT_NAME BUDGET) (values 40 'Legal' 1000))"},
        {"INSERT INTO \"employee.db\" (LAST_NAME, FIRST_NAME, HIRED) VALUES (\"Evans\", "
         "\"Eve\", \"12/24/2003\")",
         "(insert \"employee.db\" (cols LAST_NAME FIRST_NAME HIRED) (values \"Evans\" \"Eve\" "
         "\"12/24/2003\"))"},
        {"INSERT INTO t VALUES (NULL, -1, :p, ?)", "(insert t (values NULL -1 :p ?))"},
        {"INSERT INTO t (a, \"Emp Id\") SELECT b, c FROM u WHERE c > 1",
         "(insert t (cols a \"Emp Id\") (select (cols b c) (from u) (where (> c 1))))"},
        {"UPDATE \"employee.db\" SET SALARY = SALARY * 2 WHERE DEPT_NO = 10",
         "(update \"employee.db\" (set (= SALARY (* SALARY 2))) (where (= DEPT_NO 10)))"},
        {"UPDATE \"employee.db\" E SET SALARY = 1, E.DEPT_NO = (SELECT MAX(D.DEPT_NO) FROM "
         "\"dept.dbf\" D WHERE D.DEPT_NO < E.DEPT_NO), \"Emp Id\" = 'x'",
         "(update (as \"employee.db\" E) (set (= SALARY 1) (= E.DEPT_NO (select (cols (max "
         "D.DEPT_NO)) (from (as \"dept.dbf\" D)) (where (< D.DEPT_NO E.DEPT_NO)))) (= \"Emp "
         "Id\" 'x')))"},
        {"DELETE FROM \"employee.db\" WHERE ACTIVE = FALSE", "(delete \"employee.db\" (where (= ACTIVE FALSE)))"},
        {"DELETE FROM \"dept.dbf\" D WHERE NOT EXISTS (SELECT * FROM e WHERE e.k = D.k)",
         "(delete (as \"dept.dbf\" D) (where (not (exists (select (cols *) (from e) (where (= e.k "
         "D.k)))))))"},
    });
}

TEST(ParserTest, Definitions) {
    ExpectDumps({
        {"CREATE TABLE t (A SMALLINT, B INTEGER, C DECIMAL(10,2), D DECIMAL(4), E NUMERIC, "
         "F FLOAT(8, 2), G CHARACTER(5), H VARCHAR(30), I DATE, J TIME, K TIMESTAMP, "
         "L BOOLEAN, M MONEY, N AUTOINC, O BYTES(16), P BLOB(10, 2), Q BLOB, R FLOAT)",
         "(create-table t (A SMALLINT) (B INTEGER) (C (DECIMAL 10 2)) (D (DECIMAL 4)) (E NUMERIC) "
         "(F (FLOAT 8 2)) (G (CHAR 5)) (H (VARCHAR 30)) (I DATE) (J TIME) (K TIMESTAMP) "
         "(L BOOLEAN) (M MONEY) (N AUTOINC) (O (BYTES 16)) (P (BLOB 10 2)) (Q BLOB) (R FLOAT))"},
        {"CREATE TABLE orders (orderid INTEGER, orderco CHAR(20), orderdate DATE, ordertotal "
         "MONEY, ordernotes BLOB(10, 1), PRIMARY KEY (orderid))",
         "(create-table orders (orderid INTEGER) (orderco (CHAR 20)) (orderdate DATE) "
         "(ordertotal MONEY) (ordernotes (BLOB 10 1)) (primary-key orderid))"},
        {"CREATE TABLE \"customer.db\" (\"customer.db\".\"CustNo\" INTEGER, \"Last Name\" "
         "CHAR(20), PRIMARY KEY (\"customer.db\".\"CustNo\"))",
         "(create-table \"customer.db\" (\"customer.db\".\"CustNo\" INTEGER) (\"Last Name\" (CHAR "
         "20)) (primary-key \"customer.db\".\"CustNo\"))"},
        {"ALTER TABLE t ADD COLUMN x INTEGER, DROP COLUMN y, DROP z, ADD \"New One\" DATE",
         "(alter-table t (add x INTEGER) (drop y) (drop z) (add \"New One\" DATE))"},
        {"ALTER TABLE t DROP COLUMN", "(alter-table t (drop COLUMN))"},
        {"ALTER TABLE t ADD COLUMN CHAR(4)", "(alter-table t (add COLUMN (CHAR 4)))"},
        {"CREATE UNIQUE DESC INDEX \"By Name\" ON parts.db (A, \"B c\")",
         "(create-index unique desc \"By Name\" parts.db (cols A \"B c\"))"},
        {"CREATE ASC INDEX ByFirst ON \"employee.db\" (FIRST_NAME, LAST_NAME)",
         "(create-index ByFirst \"employee.db\" (cols FIRST_NAME LAST_NAME))"},
        {"DROP INDEX \"employee.db\".ByFirst", "(drop-index \"employee.db\" ByFirst)"},
        {"DROP INDEX employee.db", "(drop-index employee db)"},
        {"DROP INDEX parts.db.ByName", "(drop-index parts.db ByName)"},
        {"DROP INDEX t.\"Primary\"", "(drop-index t \"Primary\")"},
        {"DROP INDEX \":WORK:t.db\".primary", "(drop-index \":WORK:t.db\" (primary))"},
        {"DROP TABLE employee", "(drop-table employee)"},
    });
}

TEST(ParserTest, TableNamesSplitTheDatabaseAlias) {
    struct NameCase {
        const char* sql;
        const char* alias;
        const char* name;
        bool quoted;
    };
    const NameCase cases[] = {
        {"DROP TABLE \":WORK:customer.db\"", "WORK", "customer.db", true},
        {"DROP TABLE :WORK:customer", "WORK", "customer", false},
        {"DROP TABLE :WORK:customer.DB", "WORK", "customer.DB", false},
        {"DROP TABLE \"c:\\sample\\parts.dbf\"", "", "c:\\sample\\parts.dbf", true},
        {"DROP TABLE \"/abs/dir/t.dbf\"", "", "/abs/dir/t.dbf", true},
        {"DROP TABLE \"::t.db\"", "", "::t.db", true},
        {"DROP TABLE parts.db", "", "parts.db", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto stmt = ParseSingleStatement(c.sql);
        const TableName& t = stmt->As<DropTableStatement>().table;
        EXPECT_EQ(t.alias, c.alias);
        EXPECT_EQ(t.name, c.name);
        EXPECT_EQ(t.quoted, c.quoted);
    }
}

TEST(ParserTest, TypesKeepSpellingAndOnlyTheNumbersGiven) {
    const auto stmt = ParseSingleStatement("CREATE TABLE t (a Char(4), b numeric, c BLOB(0, 5), d Decimal(7))");
    const auto& cols = stmt->As<CreateTableStatement>().columns;
    ASSERT_EQ(cols.size(), 4u);
    EXPECT_EQ(cols[0].type.spelling, "Char");
    EXPECT_EQ(cols[0].type.size, 4);
    EXPECT_FALSE(cols[0].type.scale.has_value());
    EXPECT_EQ(cols[1].type.name, TypeName::Numeric);
    EXPECT_FALSE(cols[1].type.size.has_value());
    EXPECT_EQ(cols[2].type.size, 0);
    EXPECT_EQ(cols[2].type.scale, 5);
    EXPECT_EQ(cols[3].type.size, 7);
    EXPECT_FALSE(cols[3].type.scale.has_value());
}

TEST(ParserTest, ParametersAreNumberedInTextOrder) {
    const auto stmt =
        ParseSingleStatement("UPDATE t SET a = :x, b = ? WHERE c = :x OR d IN (SELECT e FROM u WHERE f = ?)");
    ASSERT_EQ(stmt->parameters.size(), 4u);
    EXPECT_EQ(stmt->parameters[0].name, "x");
    EXPECT_EQ(stmt->parameters[1].name, "");
    EXPECT_EQ(stmt->parameters[2].name, "x");
    EXPECT_EQ(stmt->parameters[3].name, "");
    EXPECT_EQ(stmt->parameters[3].pos.column, 76);
    const auto& u = stmt->As<UpdateStatement>();
    EXPECT_EQ(u.assignments[1].value->As<ParamExpr>().index, 1);
    EXPECT_EQ(u.where->As<BinaryExpr>().left->As<BinaryExpr>().right->As<ParamExpr>().index, 2);
    // Each statement of a script counts from zero.
    const auto script = ParseScript("DELETE FROM t WHERE a = ?; DELETE FROM t WHERE b = ?");
    ASSERT_EQ(script.size(), 2u);
    EXPECT_EQ(script[1]->parameters.size(), 1u);
    EXPECT_EQ(script[1]->As<DeleteStatement>().where->As<BinaryExpr>().right->As<ParamExpr>().index, 0);
}

TEST(ParserTest, NodesKnowWhereTheyStand) {
    // Columns count characters: the two-byte letter is one column but two bytes.
    const auto stmt = ParseSingleStatement("SELECT 'ä', x\r\n  FROM t E\n WHERE E.y = 1");
    const auto& q = *stmt->As<SelectStatement>().query;
    const SelectCore& core = q.selects[0];
    EXPECT_EQ(stmt->pos.line, 1);
    EXPECT_EQ(stmt->pos.column, 1);
    const SourcePos x = core.items[1].expr->pos;
    EXPECT_EQ(x.line, 1);
    EXPECT_EQ(x.column, 13);
    EXPECT_EQ(x.offset, 13u);
    const auto& from = core.from[0]->As<NamedTableRef>();
    EXPECT_EQ(from.table.pos.line, 2);
    EXPECT_EQ(from.table.pos.column, 8);
    EXPECT_EQ(from.correlation->pos.column, 10);
    const auto& where = core.where->As<BinaryExpr>();
    EXPECT_EQ(where.pos.line, 3);
    EXPECT_EQ(where.pos.column, 12);  // the operator
    EXPECT_EQ(where.left->pos.column, 8);
    EXPECT_EQ(stmt->endOffset, std::string("SELECT 'ä', x\r\n  FROM t E\n WHERE E.y = 1").size());
}

TEST(ParserTest, ScriptsParseEveryStatementWithPositionsInTheWholeText) {
    const std::string text =
        "CREATE TABLE \"a.db\" (X INTEGER);\n"
        "INSERT INTO \"a.db\" VALUES (1);;\n"
        "  /* comment ; with semicolon */\n"
        "INSERT INTO \"a.db\" VALUES (';');\n";
    const auto statements = ParseScript(text);
    ASSERT_EQ(statements.size(), 3u);
    EXPECT_EQ(statements[0]->kind, StatementKind::CreateTable);
    EXPECT_EQ(statements[2]->pos.line, 4);
    EXPECT_EQ(ToString(*statements[2]), "(insert \"a.db\" (values ';'))");
    EXPECT_TRUE(ParseScript(" ;; /* nothing */ ").empty());

    try {
        ParseScript("DELETE FROM a;\nDELETE FROM b\nWHERE;\n");
        FAIL() << "no error";
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.Token(), ";");
        EXPECT_EQ(e.Pos().line, 3);
    }
}

TEST(ParserTest, SplitScriptCutsOutsideQuotesAndComments) {
    const std::string text =
        "INSERT INTO t VALUES (1);\n"
        "  UPDATE t SET c = 'a;b' /* ; */ WHERE \"x;\" = 1 ;  \n"
        " ; /* only a comment */ ;\n"
        "DELETE FROM t WHERE c = 'it''s;'";
    const auto pieces = SplitScript(text);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].text, "INSERT INTO t VALUES (1)");
    EXPECT_EQ(pieces[1].text, "UPDATE t SET c = 'a;b' /* ; */ WHERE \"x;\" = 1");
    EXPECT_EQ(pieces[1].pos.line, 2);
    EXPECT_EQ(pieces[1].pos.column, 3);
    EXPECT_EQ(pieces[2].text, "DELETE FROM t WHERE c = 'it''s;'");
    EXPECT_EQ(pieces[2].pos.line, 4);
    EXPECT_EQ(text.substr(pieces[2].pos.offset, 6), "DELETE");

    // A piece parsed on its own reports positions in the whole text.
    ParseOptions options;
    options.lex.firstLine = pieces[1].pos.line;
    options.lex.firstColumn = pieces[1].pos.column;
    options.lex.firstOffset = pieces[1].pos.offset;
    const auto stmt = ParseSingleStatement(pieces[1].text, options);
    const auto& where = *stmt->As<UpdateStatement>().where;
    EXPECT_EQ(where.pos.line, 2);
    EXPECT_EQ(where.pos.column, 45);
    EXPECT_EQ(text.substr(where.pos.offset, 1), "=");

    // An open quote runs to the end of the text.
    const auto open = SplitScript("SELECT 'a; b FROM t; SELECT 1");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].text, "SELECT 'a; b FROM t; SELECT 1");

    // A ";" in a line comment cuts nothing; a comment alone is no statement.
    const auto dashes = SplitScript("-- first; not cut\r\nDELETE FROM t -- why; here\n;\n-- the end; really");
    ASSERT_EQ(dashes.size(), 1u);
    EXPECT_EQ(dashes[0].text, "DELETE FROM t");
    EXPECT_EQ(dashes[0].pos.line, 2);
}

}  // namespace
