#pragma once

// The SQL highlighter's token kinds and keyword tables.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// Kinds of SQL tokens; the ordinal is the highlighter's TokenKindCode and what the word table
// stores for each word.
enum TSQLTokenKind : uint8_t {
    skComment,
    skDataType,
    skDefaultPackage,
    skException,
    skFunction,
    skIdentifier,
    skKey,
    skLineEnd,
    skNumber,
    skSpace,
    skPLSQL,
    skSQLPlus,
    skString,
    skSymbol,
    skTableName,
    skUnknown,
    skVariable,
};
inline constexpr int SQLTokenKindCount = skVariable + 1;

enum TSQLDialect : uint8_t {
    sqlStandard,
    sqlInterbase6,
    sqlMSSQL7,
    sqlMySQL,
    sqlOracle,
    sqlSybase,
    sqlIngres,
    sqlMSSQL2K,
};
inline constexpr int SQLDialectCount = sqlMSSQL2K + 1;

// The scanner's character tables: which bytes continue a word and each byte's hash value.
// Letters hash without regard to case ('a' and 'A' = 2 .. 'z' and 'Z' = 27, '_' = 1, all else 0).
// The Microsoft pair also takes '@' into words, with hash value 28.
struct TSQLCharTables {
    bool identifier[256];
    uint8_t hashValue[256];
};
const TSQLCharTables& StandardCharTables();
const TSQLCharTables& MicrosoftCharTables();
// The pair a dialect scans with.
const TSQLCharTables& CharTablesFor(TSQLDialect dialect);

// One stored word; entries of a bucket form a chain ordered by length (equal lengths in the
// order they were added).
class THashEntry {
public:
    THashEntry(std::string keyword, TSQLTokenKind kind);
    ~THashEntry();
    THashEntry(const THashEntry&) = delete;
    THashEntry& operator=(const THashEntry&) = delete;

    // Puts `entry` into the chain that starts at `head`, in front of the first longer entry.
    // A keyword equal (ASCII case ignored) to one already in the chain raises
    // "Keyword "<stored keyword>" already in list" and leaves the chain as it was.
    static void AddEntry(std::unique_ptr<THashEntry>& head, std::unique_ptr<THashEntry> entry);

    std::unique_ptr<THashEntry> Next;
    int KeywordLength;
    std::string Keyword;
    TSQLTokenKind Kind;
};

// The word table: bucket heads by hash value.
class THashEntryList {
public:
    // Null for an empty bucket or an index outside the list.
    THashEntry* Get(int index) const {
        return index >= 0 && static_cast<size_t>(index) < buckets_.size() ? buckets_[static_cast<size_t>(index)].get()
                                                                          : nullptr;
    }
    // The head slot of a bucket; the list grows to reach it.
    std::unique_ptr<THashEntry>& Slot(int index);
    int Count() const { return static_cast<int>(buckets_.size()); }
    void Clear() { buckets_.clear(); }

private:
    std::vector<std::unique_ptr<THashEntry>> buckets_;
};

// Words with the kind they yield, for the dialect in use.
class TSQLKeywordTable {
public:
    TSQLKeywordTable() : tables_(&StandardCharTables()) {}

    void SetCharTables(const TSQLCharTables& tables) { tables_ = &tables; }
    const TSQLCharTables& CharTables() const { return *tables_; }

    // Hash of the word at the start of `text` (the run of word characters) and its length.
    uint8_t WordHash(std::string_view text, size_t& length) const {
        unsigned h = 0;
        size_t n = 0;
        while (n < text.size()) {
            const auto c = static_cast<unsigned char>(text[n]);
            if (!tables_->identifier[c]) break;
            h = (h * 2 + tables_->hashValue[c]) & 0xFFu;
            ++n;
        }
        length = n;
        return static_cast<uint8_t>(h);
    }

    // Kind of a word of `length` characters at `word` whose hash is `hash`; skIdentifier when
    // no stored word matches.
    TSQLTokenKind Lookup(uint8_t hash, const char* word, size_t length) const {
        for (const THashEntry* e = entries_.Get(hash); e; e = e->Next.get()) {
            if (static_cast<size_t>(e->KeywordLength) > length) break;
            if (static_cast<size_t>(e->KeywordLength) == length && Matches(e->Keyword, word)) return e->Kind;
        }
        return skIdentifier;
    }

    // Kind of the word at the start of `text`.
    TSQLTokenKind WordKind(std::string_view text) const {
        size_t length = 0;
        const uint8_t hash = WordHash(text, length);
        return Lookup(hash, text.data(), length);
    }

    void AddWord(std::string_view word, TSQLTokenKind kind);
    // Adds a table name unless its bucket already holds an equal word (ASCII case ignored).
    // True when it was added.
    bool AddTableName(std::string_view name);
    void Clear() { entries_.Clear(); }
    const THashEntryList& Entries() const { return entries_; }
    // Number of stored words.
    int WordCount() const;

private:
    // Characters match when their values in the standard hash table are equal.
    static bool Matches(const std::string& keyword, const char* word) {
        const uint8_t* values = StandardCharTables().hashValue;
        for (size_t i = 0; i < keyword.size(); ++i)
            if (values[static_cast<unsigned char>(keyword[i])] != values[static_cast<unsigned char>(word[i])])
                return false;
        return true;
    }

    const TSQLCharTables* tables_;
    THashEntryList entries_;
};

// One compiled-in word list: its name, the kind its words yield, and the words separated by
// commas.
struct TSQLWordList {
    const char* name;
    TSQLTokenKind kind;
    const char* words;
};

// The lists of a dialect in loading order.
std::span<const TSQLWordList> DialectWordLists(TSQLDialect dialect);

// Calls `add` for every word of a list: the maximal runs of characters in `wordChars`.
template <typename WordChars, typename Add>
void ForEachListWord(std::string_view words, const WordChars& wordChars, Add&& add) {
    size_t i = 0;
    while (i < words.size()) {
        while (i < words.size() && !wordChars.test(static_cast<unsigned char>(words[i]))) ++i;
        const size_t start = i;
        while (i < words.size() && wordChars.test(static_cast<unsigned char>(words[i]))) ++i;
        if (i > start) add(words.substr(start, i - start));
    }
}

}  // namespace tessel
