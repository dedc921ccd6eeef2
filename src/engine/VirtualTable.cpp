// The SQLite virtual tables that stand for the tables a statement names.

#include "engine/VirtualTable.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/EngineError.h"
#include "engine/Database.h"
#include "engine/SqlValue.h"
#include "engine/sql/Binder.h"

namespace tessel::engine {

namespace {

// Plans of xBestIndex (idxNum).
constexpr int kKeyEq = 1;
constexpr int kKeyGt = 2;
constexpr int kKeyGe = 4;
constexpr int kKeyLt = 8;
constexpr int kKeyLe = 16;
constexpr int kProbe = 32;  // bits 8..: the probed column
// A lookup through an index of the table's files (Table::SeekIndex): kKeyEq or the bound bits
// say which arguments come, bits 8..: the column. kInOrder: the rows must come in the
// column's order (the plan answers the statement's ORDER BY).
constexpr int kSeek = 64;
constexpr int kInOrder = 128;

std::atomic<uint64_t> recordReads{0};

struct VTab : sqlite3_vtab {
    Database* db = nullptr;
    TableEntry* entry = nullptr;
};

struct VCursor : sqlite3_vtab_cursor {
    VTab* tab() { return static_cast<VTab*>(pVtab); }
    // Fields decoded when the cursor reaches a record; the others are decoded when SQLite
    // asks for them, so a filter that rejects the record costs only the fields it looks at.
    std::vector<bool> mask;
    std::vector<bool> one;            // a mask of one field, for decoding on demand
    std::vector<uint64_t> decodedAt;  // per field: the `row` it was decoded for
    uint64_t row = 0;
    bool allColumns = false;
    std::vector<uint32_t> slots;  // probe results (when `useSlots`)
    bool useSlots = false;
    bool checkLive = true;  // probe results are live records unless the statement changes the table
    size_t slotPos = 0;
    uint32_t slot = 0;
    uint32_t end = 0;
    bool eof = true;
    Record rec;
    Record scratch;
};

}  // namespace

int VirtualTableFailure(sqlite3_vtab* vtab, Database* db, const std::exception& e) {
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", e.what());
    db->SetPendingError(std::current_exception());
    const auto* ee = dynamic_cast<const EngineError*>(&e);
    if (ee && ee->Code() == errc::kCancelled) return SQLITE_INTERRUPT;
    return SQLITE_ERROR;
}

namespace {

int Fail(sqlite3_vtab* vtab, Database* db, const std::exception& e) {
    return VirtualTableFailure(vtab, db, e);
}

int Connect(sqlite3* db, void* aux, int, const char* const* argv, sqlite3_vtab** out, char** err) {
    auto* owner = static_cast<Database*>(aux);
    TableEntry* entry = owner->FindEntryBySqlName(argv[2]);
    if (!entry) {
        *err = sqlite3_mprintf("no open table %s", argv[2]);
        return SQLITE_ERROR;
    }
    const std::string decl = VirtualTableDeclaration(entry->info.fields);
    const int rc = sqlite3_declare_vtab(db, decl.c_str());
    if (rc != SQLITE_OK) {
        *err = sqlite3_mprintf("Table \"%s\" cannot be queried: %s", entry->info.path.c_str(), sqlite3_errmsg(db));
        return rc;
    }
    sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
    auto* tab = new VTab();
    tab->db = owner;
    tab->entry = entry;
    *out = tab;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
    delete static_cast<VTab*>(vtab);
    return SQLITE_OK;
}

bool KeyOrdered(const FieldDesc& f) {
    switch (f.type) {
        case fldtype::kInt16:
        case fldtype::kInt32:
        case fldtype::kFloat:
        case fldtype::kBcd:
        case fldtype::kDate:
        case fldtype::kTime:
        case fldtype::kTimestamp:
            return true;
        default:
            return false;
    }
}

// Rough cost of decoding a field, to decode the cheapest first.
int DecodeCost(const FieldDesc& f, bool numbersAsText) {
    switch (f.type) {
        case fldtype::kBool:
        case fldtype::kInt16:
        case fldtype::kInt32:
        case fldtype::kDate:
        case fldtype::kTime:
            return 0;
        case fldtype::kFloat:
            return numbersAsText ? 1 : 0;  // sized numbers are stored as digits
        case fldtype::kString:
            return 2;
        case fldtype::kBcd:
            return 3;
        default:
            return 4;
    }
}

bool UsableCollation(sqlite3_index_info* info, int k) {
    const char* coll = sqlite3_vtab_collation(info, k);
    return !coll || sqlite3_stricmp(coll, "BINARY") == 0 || sqlite3_stricmp(coll, "RTRIM") == 0;
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    auto* tab = static_cast<VTab*>(vtab);
    TableEntry& e = *tab->entry;
    const double n = std::max<double>(1, e.table->RecordCount());
    const double logn = std::log2(n + 1);
    info->idxNum = 0;
    info->estimatedCost = n + 10;
    info->estimatedRows = static_cast<sqlite3_int64>(n);

    // The first key field of a keyed table: its records are in key order.
    const bool keyed =
        !e.info.primaryKey.empty() && !e.columnMap.empty() && e.columnMap[0] == 0 && KeyOrdered(e.info.fields[0]);
    int eq = -1, lower = -1, upper = -1, lowerOp = 0, upperOp = 0;
    int probe = -1;
    for (int k = 0; k < info->nConstraint; ++k) {
        const auto& c = info->aConstraint[k];
        if (!c.usable) continue;
        if (keyed && c.iColumn == 0) {
            switch (c.op) {
                case SQLITE_INDEX_CONSTRAINT_EQ:
                    eq = k;
                    break;
                case SQLITE_INDEX_CONSTRAINT_GT:
                    lower = k, lowerOp = kKeyGt;
                    break;
                case SQLITE_INDEX_CONSTRAINT_GE:
                    lower = k, lowerOp = kKeyGe;
                    break;
                case SQLITE_INDEX_CONSTRAINT_LT:
                    upper = k, upperOp = kKeyLt;
                    break;
                case SQLITE_INDEX_CONSTRAINT_LE:
                    upper = k, upperOp = kKeyLe;
                    break;
                default:
                    break;
            }
        }
        if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && c.iColumn >= 0 && probe < 0 && UsableCollation(info, k)) {
            // Only for a value that changes from probe to probe (a join); one constant value
            // is found faster by scanning than by building an index first.
            sqlite3_value* rhs = nullptr;
            if (sqlite3_vtab_rhs_value(info, k, &rhs) != SQLITE_OK) probe = k;
        }
    }
    // The column an index of the table's files answers best: an equality before two bounds
    // before one.
    int seekColumn = -1, seekEq = -1, seekLower = -1, seekUpper = -1, seekLowerOp = 0, seekUpperOp = 0;
    if (!e.writing) {  // a statement that changes the table would change the index under the lookup
        struct Candidate {
            int eq = -1, lower = -1, upper = -1, lowerOp = 0, upperOp = 0;
            int Rank() const { return eq >= 0 ? 3 : (lower >= 0) + (upper >= 0); }
        };
        std::vector<Candidate> cand(e.columnMap.size());
        for (int k = 0; k < info->nConstraint; ++k) {
            const auto& c = info->aConstraint[k];
            if (!c.usable || c.iColumn < 0 || static_cast<size_t>(c.iColumn) >= cand.size()) continue;
            const FieldDesc& f = e.info.fields[static_cast<size_t>(c.iColumn)];
            if (!(KeyOrdered(f) || f.type == fldtype::kString)) continue;
            if (!UsableCollation(info, k)) continue;
            Candidate& cd = cand[static_cast<size_t>(c.iColumn)];
            switch (c.op) {
                case SQLITE_INDEX_CONSTRAINT_EQ:
                    cd.eq = k;
                    break;
                case SQLITE_INDEX_CONSTRAINT_GT:
                    cd.lower = k, cd.lowerOp = kKeyGt;
                    break;
                case SQLITE_INDEX_CONSTRAINT_GE:
                    cd.lower = k, cd.lowerOp = kKeyGe;
                    break;
                case SQLITE_INDEX_CONSTRAINT_LT:
                    cd.upper = k, cd.upperOp = kKeyLt;
                    break;
                case SQLITE_INDEX_CONSTRAINT_LE:
                    cd.upper = k, cd.upperOp = kKeyLe;
                    break;
                default:
                    break;
            }
        }
        int bestRank = 0;
        for (size_t col = 0; col < cand.size(); ++col) {
            if (cand[col].Rank() <= bestRank || !e.table->CanSeekIndex(e.columnMap[col])) continue;
            bestRank = cand[col].Rank();
            seekColumn = static_cast<int>(col);
            seekEq = cand[col].eq;
            seekLower = cand[col].lower, seekLowerOp = cand[col].lowerOp;
            seekUpper = cand[col].upper, seekUpperOp = cand[col].upperOp;
        }
    }
    // The statement's ORDER BY, when it is the seek column alone, ascending, and a number, date
    // or time: the index holds those in SQLite's order (text it orders by its stored bytes).
    auto seekOrder = [&]() {
        return info->nOrderBy == 1 && info->aOrderBy[0].iColumn == seekColumn && !info->aOrderBy[0].desc &&
               KeyOrdered(e.info.fields[static_cast<size_t>(seekColumn)]);
    };
    auto planSeek = [&]() {
        info->idxNum = kSeek | (seekColumn << 8);
        int arg = 1;
        if (seekEq >= 0) {
            info->idxNum |= kKeyEq;
            info->aConstraintUsage[seekEq].argvIndex = arg++;
        } else {
            if (seekLower >= 0) {
                info->idxNum |= seekLowerOp;
                info->aConstraintUsage[seekLower].argvIndex = arg++;
            }
            if (seekUpper >= 0) {
                info->idxNum |= seekUpperOp;
                info->aConstraintUsage[seekUpper].argvIndex = arg++;
            }
        }
        // SQLite checks each row again (no constraint is omitted): the index finds a superset
        // where a bound had to be rounded to the field's values.
        // The records come in index order, one random read each, after a walk down the tree.
        const double part = seekEq >= 0 ? 1 + n / 10000 : (seekLower >= 0 && seekUpper >= 0) ? n / 10 : n / 3;
        info->estimatedCost = 20 + 2 * logn + 2.5 * part;
        info->estimatedRows = static_cast<sqlite3_int64>(std::max(1.0, part));
        if (seekOrder()) {
            info->orderByConsumed = 1;
            info->idxNum |= kInOrder;
        }
    };
    if (probe >= 0 && seekEq >= 0) {
        // An equality the table's index answers: a walk down its tree, where probes of an
        // index built in memory would cost a pass over the table first. (SQLite cannot tell
        // the value of a constant with a collation, so a constant looks like a join's probe.)
        probe = -1;
    }
    if (probe >= 0) {
        // A join's probes: an in-memory index answers them faster than a binary search
        // through the records, even on the key.
        const int column = info->aConstraint[probe].iColumn;
        info->idxNum = kProbe | (column << 8);
        info->aConstraintUsage[probe].argvIndex = 1;
        // A number column's probe is exact (Filter applies SQLite's numeric comparison rules),
        // so SQLite need not compare again; text keeps SQLite's own check (collations).
        const char* sqlType = SqlTypeOf(e.info.fields[static_cast<size_t>(column)]);
        if (std::strcmp(sqlType, "INTEGER") == 0 || std::strcmp(sqlType, "REAL") == 0)
            info->aConstraintUsage[probe].omit = 1;
        // Probing a big table costs more than its logarithm says: the index is built first and
        // the matches are read in random order. Growing faster than linearly, the cost makes
        // the planner probe the smaller table of a join and scan the bigger one in order.
        info->estimatedCost = 10 + logn + n * n / 1e7;
        info->estimatedRows = 1 + static_cast<sqlite3_int64>(n / 10000);
    } else if (eq >= 0) {
        info->idxNum = kKeyEq;
        info->aConstraintUsage[eq].argvIndex = 1;
        info->estimatedCost = 2 * logn + 1;
        info->estimatedRows = 1;
    } else if (seekColumn >= 0 && (seekEq >= 0 || (lower < 0 && upper < 0))) {
        planSeek();
    } else if (lower >= 0 || upper >= 0) {
        int arg = 1;
        if (lower >= 0) {
            info->idxNum |= lowerOp;
            info->aConstraintUsage[lower].argvIndex = arg++;
        }
        if (upper >= 0) {
            info->idxNum |= upperOp;
            info->aConstraintUsage[upper].argvIndex = arg++;
        }
        const double part = (lower >= 0 && upper >= 0) ? n / 10 : n / 3;
        info->estimatedCost = 2 * logn + part;
        info->estimatedRows = static_cast<sqlite3_int64>(std::max(1.0, part));
    }
    // The columns the statement uses, for decoding only those.
    info->idxStr = sqlite3_mprintf("%llx", static_cast<unsigned long long>(info->colUsed));
    info->needToFreeIdxStr = 1;
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new VCursor();
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cur) {
    delete static_cast<VCursor*>(cur);
    return SQLITE_OK;
}

// Reads records until one is live (or the end); sets eof.
void Advance(VCursor* c, bool first) {
    ++c->row;
    TableEntry& e = *c->tab()->entry;
    if (!first) {
        if (c->useSlots)
            ++c->slotPos;
        else
            ++c->slot;
    }
    for (;;) {
        if (c->useSlots) {
            if (c->slotPos >= c->slots.size()) {
                c->eof = true;
                return;
            }
            c->slot = c->slots[c->slotPos];
        } else if (c->slot >= c->end) {
            c->eof = true;
            return;
        }
        if (!c->checkLive) {
            c->eof = false;
            return;
        }
        recordReads.fetch_add(1, std::memory_order_relaxed);
        if (e.table->ReadRecord(c->slot, c->rec, c->allColumns ? nullptr : &c->mask)) {
            for (size_t f = 0; f < c->mask.size(); ++f)
                if (c->allColumns || c->mask[f]) c->decodedAt[f] = c->row;
            c->eof = false;
            return;
        }
        if (c->useSlots)
            ++c->slotPos;
        else
            ++c->slot;
    }
}

// -1, 0, 1: the key value against an SQLite value; nullopt when they cannot be compared.
std::optional<int> CompareKey(const Value& v, const FieldDesc& f, sqlite3_value* rhs) {
    const int t = sqlite3_value_type(rhs);
    if (v.IsNull()) return -1;  // blank keys come first
    if (f.type == fldtype::kDate || f.type == fldtype::kTime || f.type == fldtype::kTimestamp) {
        if (t != SQLITE_TEXT) return std::nullopt;
        const std::string mine = f.type == fldtype::kDate   ? SqliteDateText(v.i)
                                 : f.type == fldtype::kTime ? SqliteTimeText(v.i)
                                                            : SqliteTimestampText(v.i);
        const int r = std::strcmp(mine.c_str(), reinterpret_cast<const char*>(sqlite3_value_text(rhs)));
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) return std::nullopt;
    const double a = v.kind == ValueKind::Int || v.kind == ValueKind::Bool ? static_cast<double>(v.i) : v.AsDouble();
    const double b = sqlite3_value_double(rhs);
    return a < b ? -1 : a > b ? 1 : 0;
}

// First slot whose key is not less than (strict=false) / greater than (strict=true) `rhs`.
std::optional<uint32_t> KeyBound(TableEntry& e, sqlite3_value* rhs, bool strict) {
    std::vector<bool> mask(e.table->Fields().size(), false);
    mask[0] = true;
    Record rec;
    uint32_t lo = 0, hi = e.table->RecordCount();
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        recordReads.fetch_add(1, std::memory_order_relaxed);
        if (!e.table->ReadRecord(mid, rec, &mask)) return std::nullopt;
        auto cmp = CompareKey(rec[0], e.info.fields[0], rhs);
        if (!cmp) return std::nullopt;
        if (*cmp < 0 || (strict && *cmp == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The bound an index lookup on field `f` takes for the SQLite value `v`, such that every
// record SQLite's comparison accepts lies within the bound (SQLite checks the rows again).
// `upper`: the value bounds from above. Nullopt when no such bound is known (the caller scans).
std::optional<Value> SeekBound(sqlite3_value* v, const FieldDesc& f, bool upper) {
    const int t = sqlite3_value_type(v);
    Value out;
    switch (f.type) {
        case fldtype::kString: {
            // Stored text compares by its bytes in the table's code page; against printable ASCII
            // that is the order of SQLite's BINARY collation. Under RTRIM (the dialect's) trailing
            // blanks do not count: from the text without them up to it padded with blanks to the
            // field's size covers both.
            if (t != SQLITE_TEXT) return std::nullopt;
            std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                  static_cast<size_t>(sqlite3_value_bytes(v)));
            while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
            if (text.size() > f.units1) return std::nullopt;
            for (char ch : text)
                if (ch < 0x20 || ch > 0x7E) return std::nullopt;
            out.SetText(text);
            if (upper) out.s.append(f.units1 - text.size(), ' ');
            return out;
        }
        case fldtype::kInt16:
        case fldtype::kInt32: {
            if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) return std::nullopt;
            const double d = sqlite3_value_double(v);
            if (!(std::fabs(d) < 2147483648.0)) return std::nullopt;
            // The whole number next to the bound on the side of the records it admits.
            out.SetInt(static_cast<int64_t>(upper ? std::floor(d) : std::ceil(d)));
            return out;
        }
        case fldtype::kFloat:
        case fldtype::kBcd: {
            if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) return std::nullopt;
            const double d = sqlite3_value_double(v);
            if (!(std::fabs(d) < 9007199254740992.0)) return std::nullopt;
            if (f.type == fldtype::kBcd) {
                // Stored with a fixed number of decimals: widen the bound by one step so rounding
                // it to the field cannot cut off a record.
                const double step = std::pow(10.0, -static_cast<double>(f.units2));
                out.SetDouble(upper ? d + step : d - step);
            } else {
                out.SetDouble(d);
            }
            return out;
        }
        case fldtype::kDate:
        case fldtype::kTime:
        case fldtype::kTimestamp: {
            // SQLite compares the text; only text the field gives back unchanged has the same order.
            if (t != SQLITE_TEXT) return std::nullopt;
            try {
                ValueForField(v, f, out);
            } catch (const EngineError&) {
                return std::nullopt;
            }
            if (out.IsNull()) return std::nullopt;
            const std::string back = f.type == fldtype::kDate   ? SqliteDateText(out.i)
                                     : f.type == fldtype::kTime ? SqliteTimeText(out.i)
                                                                : SqliteTimestampText(out.i);
            if (back != reinterpret_cast<const char*>(sqlite3_value_text(v))) return std::nullopt;
            return out;
        }
        default:
            return std::nullopt;
    }
}

// The live records with a value in `field`, ordered by it: what an index lookup in order
// gives, found by a scan when the index cannot answer.
void SortedSlots(TableEntry& e, size_t field, std::vector<uint32_t>& out) {
    std::vector<bool> mask(e.table->Fields().size(), false);
    mask[field] = true;
    Record rec;
    std::vector<std::pair<long double, uint32_t>> keyed;  // exact for the 64-bit numbers of timestamps
    const uint32_t n = e.table->RecordCount();
    for (uint32_t slot = 0; slot < n; ++slot) {
        recordReads.fetch_add(1, std::memory_order_relaxed);
        if (!e.table->ReadRecord(slot, rec, &mask) || rec[field].IsNull()) continue;
        const Value& v = rec[field];
        const bool whole = v.kind == ValueKind::Int || v.kind == ValueKind::Bool || v.kind == ValueKind::Date ||
                           v.kind == ValueKind::Time || v.kind == ValueKind::Timestamp;
        keyed.emplace_back(whole ? static_cast<long double>(v.i) : static_cast<long double>(v.AsDouble()), slot);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.clear();
    for (const auto& k : keyed) out.push_back(k.second);
}

int Filter(sqlite3_vtab_cursor* cur, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
    auto* c = static_cast<VCursor*>(cur);
    VTab* tab = c->tab();
    TableEntry& e = *tab->entry;
    try {
        const size_t nf = e.table->Fields().size();
        const unsigned long long used = idxStr ? std::strtoull(idxStr, nullptr, 16) : ~0ULL;
        std::vector<size_t> wanted;
        for (size_t col = 0; col < e.columnMap.size(); ++col) {
            if (col >= 63 ? (used >> 63) & 1 : (used >> col) & 1) wanted.push_back(e.columnMap[col]);
        }
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        c->mask.assign(nf, false);
        c->one.assign(nf, false);
        c->decodedAt.assign(nf, 0);
        c->row = 0;
        c->allColumns = false;
        if (wanted.size() > 1 && nf <= 32) {
            // Several fields: decode the cheapest on arrival and the rest on demand (a record
            // decoded on demand costs a pass over the field flags per field, hence few fields).
            const bool textNumbers = e.info.driver->Limits().sizedNumbers;
            size_t best = wanted[0];
            for (size_t f : wanted)
                if (DecodeCost(e.table->Fields()[f], textNumbers) < DecodeCost(e.table->Fields()[best], textNumbers))
                    best = f;
            c->mask[best] = true;
        } else {
            for (size_t f : wanted) c->mask[f] = true;
        }
        c->rec.resize(nf);
        c->checkLive = true;
        c->useSlots = false;
        c->slots.clear();
        c->slotPos = 0;
        c->slot = 0;
        c->end = e.table->RecordCount();
        if (idxNum & kSeek) {
            const size_t column = static_cast<size_t>(idxNum >> 8);
            const size_t field = e.columnMap.at(column);
            const FieldDesc& f = e.info.fields.at(column);
            int arg = 0;
            bool never = false;  // a NULL bound: no record qualifies
            std::optional<Value> lo, hi;
            bool bounded = true;
            auto bound = [&](bool upper) {
                sqlite3_value* v = argv[arg++];
                if (sqlite3_value_type(v) == SQLITE_NULL) never = true;
                auto b = SeekBound(v, f, upper);
                if (!b) bounded = false;
                return b;
            };
            if (idxNum & kKeyEq) {
                lo = bound(false);
                --arg;
                hi = bound(true);
                // A whole-number field equal to a fraction: no record.
                if (lo && (f.type == fldtype::kInt16 || f.type == fldtype::kInt32) &&
                    sqlite3_value_double(argv[0]) != static_cast<double>(lo->i))
                    never = true;
            } else {
                if (idxNum & (kKeyGt | kKeyGe)) lo = bound(false);
                if (idxNum & (kKeyLt | kKeyLe)) hi = bound(true);
            }
            bool found = false;
            if (never) {
                found = true;
            } else if (bounded && !e.writing) {
                try {
                    found = e.table->SeekIndex(field, lo ? &*lo : nullptr, hi ? &*hi : nullptr, c->slots);
                } catch (const EngineError&) {
                    found = false;  // a damaged index: the table is still read without it
                }
            }
            if (found) {
                c->useSlots = true;
                if (!(idxNum & kInOrder)) std::sort(c->slots.begin(), c->slots.end());  // file order reads faster
            } else {
                c->slots.clear();
                // The plan promised the column's order; an equality's rows are all equal.
                if ((idxNum & kInOrder) && !(idxNum & kKeyEq)) {
                    SortedSlots(e, field, c->slots);
                    c->useSlots = true;
                }
            }
        } else if ((idxNum & (kKeyEq | kKeyGt | kKeyGe | kKeyLt | kKeyLe)) && argc > 0) {
            int arg = 0;
            bool ok = true;
            uint32_t lo = 0, hi = c->end;
            if (idxNum & kKeyEq) {
                auto a = KeyBound(e, argv[arg], false);
                auto b = KeyBound(e, argv[arg], true);
                ++arg;
                if (a && b)
                    lo = *a, hi = *b;
                else
                    ok = false;
            }
            if (ok && (idxNum & (kKeyGt | kKeyGe))) {
                auto a = KeyBound(e, argv[arg++], (idxNum & kKeyGt) != 0);
                if (a)
                    lo = std::max(lo, *a);
                else
                    ok = false;
            }
            if (ok && (idxNum & (kKeyLt | kKeyLe))) {
                auto b = KeyBound(e, argv[arg++], (idxNum & kKeyLe) != 0);
                if (b)
                    hi = std::min(hi, *b);
                else
                    ok = false;
            }
            if (ok) {
                c->slot = lo;
                c->end = std::max(lo, hi);
            }
        } else if ((idxNum & kProbe) && argc > 0) {
            const int column = idxNum >> 8;
            const ColumnIndex& index = tab->db->IndexFor(e, column);
            sqlite3_value* v = argv[0];
            int t = sqlite3_value_type(v);
            bool ok = true;
            sqlite3_value* converted = nullptr;
            if (index.numeric && (t == SQLITE_TEXT || t == SQLITE_BLOB)) {
                // A number column compared with text: SQLite gives the text numeric affinity
                // first; what still is no number equals no number.
                converted = sqlite3_value_dup(v);
                if (!converted) throw std::bad_alloc();
                t = sqlite3_value_numeric_type(converted);
                v = converted;
            }
            if (t == SQLITE_NULL) {
                c->useSlots = true;  // nothing equals NULL
            } else if (index.numeric && (t == SQLITE_INTEGER || t == SQLITE_FLOAT)) {
                const double d = sqlite3_value_double(v);
                // Beyond 2^53 a double stands for several integers: compare those exactly.
                const bool bigInt = t == SQLITE_INTEGER && std::fabs(d) >= 9007199254740992.0;
                const sqlite3_int64 exact = sqlite3_value_int64(v);
                auto range =
                    std::equal_range(index.numbers.begin(), index.numbers.end(), std::make_pair(d, uint32_t{0}),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
                for (auto it = range.first; it != range.second; ++it) {
                    if (bigInt && !(it->first >= -9223372036854775808.0 && it->first < 9223372036854775808.0 &&
                                    static_cast<sqlite3_int64>(it->first) == exact))
                        continue;
                    c->slots.push_back(it->second);
                }
                c->useSlots = true;
            } else if (index.numeric) {
                c->useSlots = true;  // text or bytes that are no number
            } else if (!index.numeric && t == SQLITE_TEXT) {
                std::string key(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                static_cast<size_t>(sqlite3_value_bytes(v)));
                while (!key.empty() && key.back() == ' ') key.pop_back();
                auto range = std::equal_range(index.texts.begin(), index.texts.end(), std::make_pair(key, uint32_t{0}),
                                              [](const auto& a, const auto& b) { return a.first < b.first; });
                for (auto it = range.first; it != range.second; ++it) c->slots.push_back(it->second);
                c->useSlots = true;
            } else {
                ok = false;  // a value of another kind: SQLite's own comparison decides, on a scan
            }
            sqlite3_value_free(converted);
            if (ok) std::sort(c->slots.begin(), c->slots.end());
            // The index holds the live records of the unchanged file; a statement that changes
            // the table checks each record again.
            if (ok && !e.writing) c->checkLive = false;
        }
        Advance(c, true);
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(cur->pVtab, tab->db, ex);
    }
}

int Next(sqlite3_vtab_cursor* cur) {
    auto* c = static_cast<VCursor*>(cur);
    try {
        Advance(c, false);
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(cur->pVtab, c->tab()->db, ex);
    }
}

int Eof(sqlite3_vtab_cursor* cur) {
    return static_cast<VCursor*>(cur)->eof ? 1 : 0;
}

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int col) {
    auto* c = static_cast<VCursor*>(cur);
    TableEntry& e = *c->tab()->entry;
    try {
        if (sqlite3_vtab_nochange(ctx)) return SQLITE_OK;  // an UPDATE leaves this column as it is
        const size_t field = e.columnMap.at(static_cast<size_t>(col));
        if (c->decodedAt[field] != c->row) {
            c->one[field] = true;
            const bool live = e.table->ReadRecord(c->slot, c->scratch, &c->one);
            c->one[field] = false;
            if (!live)
                throw EngineError(
                    "Record " + std::to_string(c->slot + 1) + " of " + e.info.path + " was deleted while it was read",
                    errc::kSqlExecute);
            std::swap(c->rec[field], c->scratch[field]);
            c->decodedAt[field] = c->row;
        }
        ResultValue(ctx, c->rec[field]);
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(cur->pVtab, c->tab()->db, ex);
    }
}

int Rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
    *rowid = static_cast<VCursor*>(cur)->slot;
    return SQLITE_OK;
}

int Update(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64*) {
    auto* tab = static_cast<VTab*>(vtab);
    TableEntry& e = *tab->entry;
    try {
        if (argc == 1) {
            tab->db->OnDelete(e, static_cast<uint32_t>(sqlite3_value_int64(argv[0])));
            return SQLITE_OK;
        }
        const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
        const auto& fields = e.table->Fields();
        Record rec(fields.size());
        Record old;
        uint32_t slot = 0;
        if (!insert) {
            slot = static_cast<uint32_t>(sqlite3_value_int64(argv[0]));
            if (sqlite3_value_int64(argv[1]) != sqlite3_value_int64(argv[0]))
                throw EngineError("A record number cannot be changed", errc::kSqlExecute);
            e.table->ReadRecord(slot, old);
        } else if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
            throw EngineError("A record number cannot be given", errc::kSqlExecute);
        }
        for (size_t col = 0; col < e.columnMap.size(); ++col) {
            const size_t field = e.columnMap[col];
            sqlite3_value* v = argv[2 + col];
            if (!insert && sqlite3_value_nochange(v)) {
                rec[field] = old[field];
                continue;
            }
            ValueForField(v, fields[field], rec[field]);
            if (fields[field].readOnly) {
                const bool given = insert ? !rec[field].IsNull() : !(rec[field] == old[field]);
                if (given) throw EngineError("Field " + fields[field].name + " is read-only", errc::kReadOnly);
                if (insert) rec[field].SetNull();
            }
        }
        if (insert)
            tab->db->OnInsert(e, std::move(rec));
        else
            tab->db->OnUpdate(e, slot, std::move(rec));
        return SQLITE_OK;
    } catch (const std::exception& ex) {
        return Fail(vtab, tab->db, ex);
    }
}

sqlite3_module MakeModule() {
    sqlite3_module m{};
    m.iVersion = 3;
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = Rowid;
    m.xUpdate = Update;
    return m;
}

const sqlite3_module kModule = MakeModule();

}  // namespace

uint64_t TableModuleRecordReads() {
    return recordReads.load(std::memory_order_relaxed);
}

std::string VirtualTableDeclaration(const std::vector<FieldDesc>& fields) {
    std::string decl = "CREATE TABLE x(";
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) decl += ", ";
        const FieldDesc& f = fields[k];
        const char* type = SqlTypeOf(f);
        decl += sql::QuoteSqliteIdentifier(f.name) + " " + type;
        // Text compares, groups, sorts and is made distinct by the dialect's rule (trailing
        // blanks do not count) wherever SQLite itself compares it, without a call per row.
        if (std::strcmp(type, "TEXT") == 0 && f.type != fldtype::kDate && f.type != fldtype::kTime &&
            f.type != fldtype::kTimestamp)
            decl += " COLLATE RTRIM";
    }
    // A table without fields still has records to count; SQL needs a column to declare.
    if (fields.empty()) decl += "tessel_no_fields HIDDEN";
    return decl + ")";
}

void RegisterTableModule(sqlite3* db, Database* owner) {
    sqlite3_create_module_v2(db, "tessel_table", &kModule, owner, nullptr);
}

}  // namespace tessel::engine
