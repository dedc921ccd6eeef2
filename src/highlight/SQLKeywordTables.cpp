// The SQL highlighter's keyword tables per dialect.

#include "highlight/SQLKeywordTables.h"

#include <cctype>

#include "base/AsciiText.h"
#include "highlight/HighlighterTypes.h"

namespace tessel {

namespace {

TSQLCharTables BuildStandardTables() {
    TSQLCharTables t{};
    for (int c = 0; c < 256; ++c) {
        t.identifier[c] = std::isalnum(c) && c < 128;
        t.hashValue[c] = 0;
    }
    t.identifier[static_cast<unsigned char>('_')] = true;
    t.identifier[static_cast<unsigned char>('#')] = true;
    t.identifier[static_cast<unsigned char>('$')] = true;
    t.hashValue[static_cast<unsigned char>('_')] = 1;
    for (int c = 'a'; c <= 'z'; ++c) {
        t.hashValue[c] = static_cast<uint8_t>(c - 'a' + 2);
        t.hashValue[c - 'a' + 'A'] = static_cast<uint8_t>(c - 'a' + 2);
    }
    return t;
}

TSQLCharTables BuildMicrosoftTables() {
    TSQLCharTables t = BuildStandardTables();
    t.identifier[static_cast<unsigned char>('@')] = true;
    t.hashValue[static_cast<unsigned char>('@')] = 28;
    return t;
}

}  // namespace

const TSQLCharTables& StandardCharTables() {
    static const TSQLCharTables tables = BuildStandardTables();
    return tables;
}

const TSQLCharTables& MicrosoftCharTables() {
    static const TSQLCharTables tables = BuildMicrosoftTables();
    return tables;
}

const TSQLCharTables& CharTablesFor(TSQLDialect dialect) {
    return dialect == sqlMSSQL7 || dialect == sqlMSSQL2K ? MicrosoftCharTables() : StandardCharTables();
}

THashEntry::THashEntry(std::string keyword, TSQLTokenKind kind)
    : KeywordLength(static_cast<int>(keyword.size())), Keyword(std::move(keyword)), Kind(kind) {}

THashEntry::~THashEntry() {
    // Unlink the rest of the chain one entry at a time instead of recursing through it.
    while (Next) Next = std::move(Next->Next);
}

void THashEntry::AddEntry(std::unique_ptr<THashEntry>& head, std::unique_ptr<THashEntry> entry) {
    std::unique_ptr<THashEntry>* link = &head;
    std::unique_ptr<THashEntry>* insertAt = nullptr;
    // Walk the whole chain for a duplicate first so a failure changes nothing; the insertion
    // point is in front of the first longer entry.
    for (; *link; link = &(*link)->Next) {
        if (SameAscii((*link)->Keyword, entry->Keyword))
            throw EHighlighterError("Keyword \"" + (*link)->Keyword + "\" already in list");
        if (!insertAt && entry->KeywordLength < (*link)->KeywordLength) insertAt = link;
    }
    if (!insertAt) insertAt = link;
    entry->Next = std::move(*insertAt);
    *insertAt = std::move(entry);
}

std::unique_ptr<THashEntry>& THashEntryList::Slot(int index) {
    if (static_cast<size_t>(index) >= buckets_.size()) buckets_.resize(static_cast<size_t>(index) + 1);
    return buckets_[static_cast<size_t>(index)];
}

void TSQLKeywordTable::AddWord(std::string_view word, TSQLTokenKind kind) {
    size_t length = 0;
    const uint8_t hash = WordHash(word, length);
    THashEntry::AddEntry(entries_.Slot(hash), std::make_unique<THashEntry>(std::string(word), kind));
}

bool TSQLKeywordTable::AddTableName(std::string_view name) {
    size_t length = 0;
    const uint8_t hash = WordHash(name, length);
    for (const THashEntry* e = entries_.Get(hash); e; e = e->Next.get())
        if (SameAscii(e->Keyword, name)) return false;
    AddWord(name, skTableName);
    return true;
}

int TSQLKeywordTable::WordCount() const {
    int n = 0;
    for (int i = 0; i < entries_.Count(); ++i)
        for (const THashEntry* e = entries_.Get(i); e; e = e->Next.get()) ++n;
    return n;
}

}  // namespace tessel
