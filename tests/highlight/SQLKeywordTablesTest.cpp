// Tests of the SQL keyword tables.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "HighlightTestSupport.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {
namespace {

std::vector<std::string> SplitCommas(const char* words) {
    std::vector<std::string> result;
    std::string current;
    for (const char* p = words; *p; ++p) {
        if (*p == ',') {
            result.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) result.push_back(current);
    return result;
}

// The kind the scanner gives a line made of one word.
int ScannedKind(TSQLHighlighter& hl, const std::string& word) {
    hl.ResetLineState();
    hl.StartLine(word, 0);
    return hl.TokenKindCode();
}

struct ListSize {
    TSQLDialect dialect;
    const char* name;
    TSQLTokenKind kind;
    size_t words;
};

const ListSize listSizes[] = {
    {sqlStandard, "StandardKeywords", skKey, 126},
    {sqlInterbase6, "InterbaseTypes", skDataType, 13},
    {sqlInterbase6, "InterbaseFunctions", skFunction, 8},
    {sqlInterbase6, "InterbaseKeywords", skKey, 251},
    {sqlMSSQL7, "MSSQL7Keywords", skKey, 197},
    {sqlMSSQL7, "MSSQL7Types", skDataType, 24},
    {sqlMSSQL7, "MSSQL7Functions", skFunction, 139},
    {sqlMySQL, "MySQLKeywords", skKey, 161},
    {sqlMySQL, "MySQLTypes", skDataType, 27},
    {sqlMySQL, "MySQLFunctions", skFunction, 143},
    {sqlOracle, "OracleKeywords", skKey, 378},
    {sqlOracle, "OracleTypes", skDataType, 31},
    {sqlOracle, "OracleExceptions", skException, 20},
    {sqlOracle, "OracleFunctions", skFunction, 151},
    {sqlOracle, "OracleCommentWords", skComment, 4},
    {sqlOracle, "OracleDefaultPackages", skDefaultPackage, 116},
    {sqlOracle, "OraclePLSQLKeywords", skPLSQL, 124},
    {sqlOracle, "OracleSQLPlusCommands", skSQLPlus, 62},
    {sqlSybase, "SybaseKeywords", skKey, 373},
    {sqlIngres, "IngresTypes", skDataType, 23},
    {sqlIngres, "IngresKeywords", skKey, 315},
    {sqlIngres, "IngresFunctions", skFunction, 102},
    {sqlMSSQL2K, "MSSQL2KKeywords", skKey, 171},
    {sqlMSSQL2K, "MSSQL2KTypes", skDataType, 29},
    {sqlMSSQL2K, "MSSQL2KFunctions", skFunction, 168},
};

TEST(SQLKeywordTablesTest, EveryDialectLoadsItsListsInOrderWithTheirSizes) {
    for (int d = 0; d < SQLDialectCount; ++d) {
        const auto dialect = static_cast<TSQLDialect>(d);
        std::vector<const ListSize*> expected;
        for (const ListSize& s : listSizes)
            if (s.dialect == dialect) expected.push_back(&s);
        const auto lists = DialectWordLists(dialect);
        ASSERT_EQ(lists.size(), expected.size()) << d;
        size_t total = 0;
        for (size_t i = 0; i < lists.size(); ++i) {
            EXPECT_STREQ(lists[i].name, expected[i]->name);
            EXPECT_EQ(lists[i].kind, expected[i]->kind) << lists[i].name;
            EXPECT_EQ(SplitCommas(lists[i].words).size(), expected[i]->words) << lists[i].name;
            total += expected[i]->words;
        }
        TSQLHighlighter hl;
        hl.SetSQLDialect(dialect == sqlSybase ? sqlStandard : sqlSybase);
        ASSERT_NO_THROW(hl.SetSQLDialect(dialect)) << d;
        EXPECT_EQ(static_cast<size_t>(hl.Keywords().WordCount()), total) << d;
    }
}

// Every word of every list is scanned as one token of its list's kind (the scanner's word
// characters are the same as the list's for all words), in any case.
TEST(SQLKeywordTablesTest, EveryListedWordScansAsItsListSays) {
    TSQLHighlighter hl;
    for (int d = 0; d < SQLDialectCount; ++d) {
        const auto dialect = static_cast<TSQLDialect>(d);
        hl.SetSQLDialect(dialect);
        for (const TSQLWordList& list : DialectWordLists(dialect)) {
            for (const std::string& word : SplitCommas(list.words)) {
                std::string upper = word, lower = word;
                for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                for (const std::string& form : {word, upper, lower}) {
                    hl.ResetLineState();
                    hl.StartLine(form, 0);
                    EXPECT_EQ(hl.TokenKindCode(), list.kind) << list.name << ": " << form;
                    // Comment words run to the line end; every other word is the whole token.
                    EXPECT_EQ(hl.TokenText(), form) << list.name;
                }
            }
        }
    }
}

TEST(SQLKeywordTablesTest, GivenListsAreExactlyAsStored) {
    const auto sybase = SplitCommas(DialectWordLists(sqlSybase)[0].words);
    EXPECT_EQ(sybase.front(), "absolute");
    EXPECT_EQ(sybase.back(), "zone");
    const auto standard = SplitCommas(DialectWordLists(sqlStandard)[0].words);
    EXPECT_EQ(standard.front(), "active");
    EXPECT_EQ(standard.back(), "work");
    // A checksum over the whole text catches a changed, lost or added character anywhere.
    auto hash = [](const char* s) {
        uint64_t h = 1469598103934665603ull;
        for (; *s; ++s) h = (h ^ static_cast<unsigned char>(*s)) * 1099511628211ull;
        return h;
    };
    EXPECT_EQ(std::string(DialectWordLists(sqlSybase)[0].words).size(), 2815u);
    EXPECT_EQ(hash(DialectWordLists(sqlSybase)[0].words), 6947806040733716656ull);
    EXPECT_EQ(std::string(DialectWordLists(sqlStandard)[0].words).size(), 830u);
    EXPECT_EQ(hash(DialectWordLists(sqlStandard)[0].words), 13440893112078855015ull);
}

TEST(SQLKeywordTablesTest, WordMatching) {
    TSQLHighlighter hl;
    const struct {
        TSQLDialect dialect;
        const char* word;
        int kind;
    } cases[] = {
        {sqlSybase, "Select", skKey},
        {sqlSybase, "SELECT", skKey},
        {sqlSybase, "select", skKey},
        {sqlSybase, "selects", skIdentifier},
        {sqlSybase, "selec", skIdentifier},
        {sqlSybase, "arith_overflow", skKey},
        {sqlSybase, "arith-overflow", skIdentifier},
        {sqlSybase, "syb_identity", skKey},
        // Digits, '#', '$' and '@' compare equal to each other.
        {sqlOracle, "VARCHAR2", skDataType},
        {sqlOracle, "VARCHAR3", skDataType},
        {sqlOracle, "varchar#", skDataType},
        {sqlIngres, "INTEGER9", skDataType},
        {sqlMySQL, "INT5", skKey},
        {sqlStandard, "varchar", skIdentifier},
        {sqlStandard, "active", skKey},
        {sqlSybase, "active", skIdentifier},
        // Words of more than eight characters hash on their last eight only; the length and
        // the comparison still tell them apart.
        {sqlSybase, "current_timestamp", skKey},
        {sqlSybase, "xcurrent_timestamp", skIdentifier},
        {sqlSybase, "urrent_timestamp", skIdentifier},
    };
    for (const auto& c : cases) {
        hl.SetSQLDialect(c.dialect);
        EXPECT_EQ(ScannedKind(hl, c.word), c.kind) << c.word;
    }
}

TEST(SQLKeywordTablesTest, HashAndChains) {
    TSQLKeywordTable table;
    size_t length = 0;
    EXPECT_EQ(table.WordHash("ab", length), (2 * 2 + 3) & 0xFF);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(table.WordHash("AB.c", length), 7);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(table.WordHash("_", length), 1);
    EXPECT_EQ(table.WordHash("a1#$", length), 2 * 2 * 2 * 2);
    EXPECT_EQ(length, 4u);
    // Only the last eight characters count.
    EXPECT_EQ(table.WordHash("xabcdefgh", length), table.WordHash("yabcdefgh", length));
    EXPECT_EQ(table.WordHash("@", length), 0);
    EXPECT_EQ(length, 0u);
    table.SetCharTables(MicrosoftCharTables());
    EXPECT_EQ(table.WordHash("@@", length), (28 * 2 + 28) & 0xFF);
    EXPECT_EQ(length, 2u);

    // Same bucket: "a1" and "a2" and "a" (different hash) - chains keep length order and the
    // order of addition among equal lengths.
    THashEntryList list;
    EXPECT_EQ(list.Get(5), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("abc", skKey));
    THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("x", skKey));
    THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("def", skFunction));
    THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("ghij", skKey));
    THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("yz", skKey));
    EXPECT_EQ(list.Count(), 6);
    std::vector<std::string> chain;
    for (const THashEntry* e = list.Get(5); e; e = e->Next.get()) chain.push_back(e->Keyword);
    EXPECT_EQ(chain, (std::vector<std::string>{"x", "yz", "abc", "def", "ghij"}));
    try {
        THashEntry::AddEntry(list.Slot(5), std::make_unique<THashEntry>("DEF", skKey));
        FAIL() << "no error";
    } catch (const EHighlighterError& e) {
        EXPECT_STREQ(e.what(), "Keyword \"def\" already in list");
    }
    size_t n = 0;
    for (const THashEntry* e = list.Get(5); e; e = e->Next.get()) ++n;
    EXPECT_EQ(n, 5u);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(SQLKeywordTablesTest, WordsWithForeignCharactersAreStoredButNeverMatch) {
    TSQLKeywordTable table;
    table.AddWord("two words", skKey);
    EXPECT_EQ(table.WordCount(), 1);
    EXPECT_EQ(table.WordKind("two words"), skIdentifier);
    EXPECT_EQ(table.WordKind("two"), skIdentifier);
}

TEST(SQLKeywordTablesTest, TableNames) {
    TSQLHighlighter hl;
    int notifications = 0;
    hl.HookAttributeChanges(&notifications, [&](TCustomHighlighter*) { ++notifications; });
    const int baseWords = hl.Keywords().WordCount();

    hl.TableNames().Add("Customer");
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(ScannedKind(hl, "customer"), skTableName);
    EXPECT_EQ(ScannedKind(hl, "CUSTOMER"), skTableName);

    hl.TableNames().Add("SELECT");       // a stored word stays what it is
    hl.TableNames().Add("customer");     // the same name again is stored once
    hl.TableNames().Add("order items");  // stored, never recognised
    hl.TableNames().Add("emp.db");
    EXPECT_EQ(notifications, 5);
    EXPECT_EQ(ScannedKind(hl, "select"), skKey);
    EXPECT_EQ(hl.Keywords().WordCount(), baseWords + 3);
    EXPECT_EQ(ScannedKind(hl, "order"), skKey);
    EXPECT_EQ(ScannedKind(hl, "emp"), skIdentifier);

    TStringList names{"Parts", "Vendors"};
    hl.SetTableNames(names);
    EXPECT_EQ(notifications, 6);
    EXPECT_EQ(ScannedKind(hl, "customer"), skIdentifier);
    EXPECT_EQ(ScannedKind(hl, "vendors"), skTableName);
    hl.TableNames().Delete(1);
    EXPECT_EQ(ScannedKind(hl, "vendors"), skIdentifier);
    EXPECT_EQ(notifications, 7);
}

TEST(SQLKeywordTablesTest, DialectSwitches) {
    TSQLHighlighter hl;
    int notifications = 0;
    hl.HookAttributeChanges(&notifications, [&](TCustomHighlighter*) { ++notifications; });
    auto snapshot = [&] {
        std::vector<std::string> words;
        for (int b = 0; b < hl.Keywords().Entries().Count(); ++b)
            for (const THashEntry* e = hl.Keywords().Entries().Get(b); e; e = e->Next.get())
                words.push_back(std::to_string(b) + ":" + e->Keyword + ":" + std::to_string(e->Kind));
        return words;
    };
    const auto before = snapshot();
    hl.SetSQLDialect(sqlSybase);  // the current value: nothing happens
    EXPECT_EQ(notifications, 0);
    hl.SetSQLDialect(sqlStandard);
    EXPECT_EQ(notifications, 1);
    EXPECT_NE(snapshot(), before);
    hl.SetSQLDialect(sqlSybase);
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
}  // namespace tessel
