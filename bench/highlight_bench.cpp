// Tokenises a generated SQL text of 100,000 lines the way the editor does a full scan and prints
// lines and bytes per second. Every allocation made while scanning is counted through the global
// operator new, so "no allocation per token" shows as an allocation count of zero.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "highlight/SQLHighlighter.h"

namespace {
std::atomic<long long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace tessel;

std::vector<std::string> GenerateText(size_t lineCount, bool withUtf8) {
    std::mt19937 rng(12345);
    auto pick = [&](std::initializer_list<const char*> items) {
        std::uniform_int_distribution<size_t> d(0, items.size() - 1);
        return std::string(items.begin()[d(rng)]);
    };
    auto number = [&] { return std::to_string(std::uniform_int_distribution<int>(0, 99999)(rng)); };
    const char* columns[] = {"cust_no",   "emp_id",  "last_name",   "first_name", "salary",
                             "hire_date", "dept_no", "order_total", "ship_date",  "qty"};
    auto column = [&] { return std::string(columns[std::uniform_int_distribution<int>(0, 9)(rng)]); };
    std::vector<std::string> lines;
    lines.reserve(lineCount);
    while (lines.size() < lineCount) {
        switch (std::uniform_int_distribution<int>(0, 7)(rng)) {
            case 0:
                lines.push_back("SELECT " + column() + ", " + column() + ", COUNT(*) AS total_count");
                lines.push_back("  FROM " + pick({"customer", "employee", "orders", "\"parts.db\""}) +
                                " c INNER JOIN items i ON c." + column() + " = i." + column());
                lines.push_back("  WHERE c." + column() + " >= " + number() + ".50 AND i." + column() +
                                " <> 'Open' -- only the closed ones");
                lines.push_back("  GROUP BY " + column() + " HAVING COUNT(*) > 1 ORDER BY 1 DESC;");
                break;
            case 1:
                lines.push_back("INSERT INTO orders (" + column() + ", " + column() + ", " + column() + ")");
                lines.push_back("  VALUES (" + number() + ", '" +
                                (withUtf8 ? "Müller & Söhne GmbH" : "Miller and Sons Ltd") + "', " + number() +
                                ".25);");
                break;
            case 2:
                lines.push_back("/* Monthly figures for the report, ");
                lines.push_back("   recomputed every night by the batch job */");
                break;
            case 3:
                lines.push_back("UPDATE employee SET salary = salary * 1.05, " + column() + " = NULL");
                lines.push_back("  WHERE dept_no IN (SELECT dept_no FROM department WHERE budget > " + number() + ");");
                break;
            case 4:
                lines.push_back("DELETE FROM items WHERE qty <= 0 OR ship_date < '1/15/1998';");
                break;
            case 5:
                lines.push_back("CREATE TABLE archive_" + number() +
                                " (id INTEGER, name CHAR(40), "
                                "amount NUMERIC(15,2), note VARCHAR(200))");
                break;
            case 6:
                lines.push_back("  declare @rows int select @rows = @@rowcount if @rows > " + number() +
                                " begin print 'done' end");
                break;
            default:
                lines.push_back("");
                break;
        }
    }
    lines.resize(lineCount);
    return lines;
}

struct Result {
    double seconds;
    long long tokens;
    long long allocations;
};

Result Scan(TSQLHighlighter& hl, const std::vector<std::string>& lines) {
    long long tokens = 0;
    int kindSum = 0;
    const long long before = allocations.load();
    const auto start = std::chrono::steady_clock::now();
    hl.ResetLineState();
    for (size_t i = 0; i < lines.size(); ++i) {
        hl.StartLine(lines[i], static_cast<int>(i));
        while (!hl.AtLineEnd()) {
            // What painting reads of every token, without asking for a copy of its text.
            kindSum += hl.TokenKindCode() + hl.TokenStart() + static_cast<int>(hl.TokenChars().size()) +
                       (hl.TokenStyle() != nullptr);
            ++tokens;
            hl.Advance();
        }
    }
    const auto end = std::chrono::steady_clock::now();
    const long long allocated = allocations.load() - before;
    if (kindSum == 42) std::puts("");  // keeps the loop from being optimised away
    return {std::chrono::duration<double>(end - start).count(), tokens, allocated};
}

void Run(const char* title, const std::vector<std::string>& lines) {
    size_t bytes = 0;
    for (const auto& l : lines) bytes += l.size() + 2;  // with the CR LF of the file
    TSQLHighlighter hl;
    Scan(hl, lines);  // warm-up
    Result best{1e9, 0, 0};
    long long allocated = 0;
    for (int round = 0; round < 5; ++round) {
        const Result r = Scan(hl, lines);
        allocated += r.allocations;
        if (r.seconds < best.seconds) best = r;
    }
    std::printf("%s\n", title);
    std::printf("  lines %zu, bytes %zu, tokens %lld\n", lines.size(), bytes, best.tokens);
    std::printf("  best of 5: %.2f ms  %.0f lines/s  %.1f MB/s  %.1f Mtokens/s\n", best.seconds * 1e3,
                static_cast<double>(lines.size()) / best.seconds, static_cast<double>(bytes) / best.seconds / 1e6,
                static_cast<double>(best.tokens) / best.seconds / 1e6);
    std::printf("  allocations while scanning (5 rounds): %lld\n", allocated);
}

}  // namespace

int main() {
    Run("SQL text, ASCII (sqlSybase)", GenerateText(100000, false));
    Run("SQL text with UTF-8 strings (sqlSybase)", GenerateText(100000, true));
    return 0;
}
