// Picture masks: checking and completing input against a picture.

#include "framework/data/PictureValidator.h"

#include <cwctype>

#include "base/StringList.h"

namespace tessel {

namespace {

// ------------------------------------------------------------------------ code points

std::u32string Decode(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
        if (extra > 0 && i + static_cast<size_t>(extra) >= s.size()) {
            extra = 0;
            cp = c;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                extra = 0;
                cp = c;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string Encode(const std::u32string& s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t cp : s) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// Latin-1 letters convert by table so the result does not hang on the process's locale;
// beyond them the C library's wide-character rules decide.
char32_t Upper(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c < 0x100) return c;
    return static_cast<char32_t>(std::towupper(static_cast<wint_t>(c)));
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c < 0x100) return c;
    return static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
}

bool IsLetter(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c > 128;
}
bool IsDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool IsClass(char32_t c) {
    return c == '#' || c == '?' || c == '&' || c == '~' || c == '@' || c == '!';
}

// ------------------------------------------------------------------------ the matcher

// Results while matching; ambiguous and incomplete-without-fill are folded at the end.
enum class R { Complete, Incomplete, IncompNoFill, Error, Ambiguous };

bool IsIncomplete(R r) {
    return r == R::Incomplete || r == R::IncompNoFill;
}
bool IsCompleteLike(R r) {
    return r == R::Complete || r == R::Ambiguous;
}

class Matcher {
public:
    Matcher(const std::u32string& pic, std::u32string& text) : pic_(pic), text_(text) {}

    R Run() { return Alternatives(0, pic_.size()); }
    size_t TextPos() const { return i_; }
    size_t StopPos() const { return stop_; }

private:
    size_t Len() const { return pic_.size(); }

    // The index just after the bracket that closes the one at `j`.
    size_t GroupEnd(size_t j) const {
        const char32_t open = pic_[j], close = open == '[' ? U']' : U'}';
        int depth = 0;
        for (size_t k = j; k < Len(); ++k) {
            if (pic_[k] == ';') {
                ++k;
                continue;
            }
            if (pic_[k] == open) ++depth;
            if (pic_[k] == close && --depth == 0) return k + 1;
        }
        return Len();
    }

    // The index just after the element that starts at `j`.
    size_t ElementEnd(size_t j) const {
        if (j >= Len()) return Len();
        switch (pic_[j]) {
            case ';':
                return std::min(j + 2, Len());
            case '*': {
                size_t k = j + 1;
                while (k < Len() && IsDigit(pic_[k])) ++k;
                return ElementEnd(k);
            }
            case '[':
            case '{':
                return GroupEnd(j);
            default:
                return j + 1;
        }
    }

    // Whether pic[j..end) can match nothing: only optional parts, uncounted repetitions,
    // repetitions of an optional part with a one-digit count, groups that can be empty, and
    // further alternatives.
    bool RestOptional(size_t j, size_t end) const {
        while (j < end) {
            const char32_t c = pic_[j];
            if (c == ',') return true;
            if (c == '[') {
                j = GroupEnd(j);
            } else if (c == '*') {
                size_t k = j + 1;
                while (k < end && IsDigit(pic_[k])) ++k;
                const size_t digits = k - j - 1;
                if (digits == 1 && k < end && pic_[k] != '[') return false;
                if (digits > 1) return false;
                j = ElementEnd(j);
            } else if (c == '{') {
                const size_t k = GroupEnd(j);
                if (!GroupCanBeEmpty(j + 1, k - 1)) return false;
                j = k;
            } else {
                return false;
            }
        }
        return true;
    }

    bool GroupCanBeEmpty(size_t a, size_t b) const {
        for (size_t s = a; s <= b;) {
            const size_t e = AlternativeEnd(s, b);
            if (RestOptional(s, e)) return true;
            s = e + 1;
        }
        return false;
    }

    // End of the alternative that starts at `s` inside [s, b): the next top-level comma or b.
    size_t AlternativeEnd(size_t s, size_t b) const {
        size_t j = s;
        while (j < b && pic_[j] != ',') j = ElementEnd(j);
        return std::min(j, b);
    }

    struct Saved {
        size_t i;
        std::u32string text;
        size_t stop;
    };
    Saved Save() const { return {i_, text_, stop_}; }
    void Restore(const Saved& s) {
        i_ = s.i;
        text_ = s.text;
        stop_ = s.stop;
    }

    // The alternatives of pic[a..b), tried in order from the same text position.
    R Alternatives(size_t a, size_t b) {
        const bool outerBlank = blankMatched_;
        blankMatched_ = false;
        const Saved start = Save();
        bool haveIncomplete = false;
        R incomplete = R::Incomplete;
        Saved atIncomplete;
        R result = R::Error;
        bool done = false;
        for (size_t s = a; s <= b && !done;) {
            const size_t e = AlternativeEnd(s, b);
            Restore(start);
            const R r = Sequence(s, e);
            if (IsCompleteLike(r)) {
                if (!(haveIncomplete && i_ < atIncomplete.i)) {
                    result = haveIncomplete ? R::Ambiguous : r;
                    done = true;
                }
            } else if (IsIncomplete(r) && !haveIncomplete) {
                haveIncomplete = true;
                incomplete = r;
                atIncomplete = Save();
            }
            if (e >= b) break;
            s = e + 1;
        }
        if (!done) {
            if (haveIncomplete) {
                Restore(atIncomplete);
                result = incomplete;
            } else {
                Restore(start);
                result = R::Error;
            }
        }
        blankMatched_ = outerBlank;
        return result;
    }

    // A literal picture character against the text at i_.
    bool Literal(char32_t lit) {
        const char32_t c = text_[i_];
        if (Upper(c) == Upper(lit)) {
            if (lit == ' ' && i_ + 1 == text_.size()) blankMatched_ = true;
            text_[i_++] = lit;
            return true;
        }
        if (c == ' ' && i_ + 1 == text_.size() && !blankMatched_) {
            text_[i_++] = lit;
            return true;
        }
        return false;
    }

    // The text ended at picture position j of an alternative that ends at `end`.
    R TextEnded(size_t j, size_t end, R state) {
        if (RestOptional(j, end)) return R::Complete;
        stop_ = j;
        return state == R::Ambiguous ? R::IncompNoFill : R::Incomplete;
    }

    // One alternative, pic[a..b), without top-level commas.
    R Sequence(size_t a, size_t b) {
        R state = R::Incomplete;
        size_t j = a;
        while (j < b) {
            if (i_ >= text_.size()) return TextEnded(j, b, state);
            const char32_t p = pic_[j];
            const char32_t c = text_[i_];
            if (IsClass(p)) {
                char32_t stored = c;
                switch (p) {
                    case '#':
                        if (!IsDigit(c)) return R::Error;
                        break;
                    case '?':
                        if (!IsLetter(c)) return R::Error;
                        break;
                    case '&':
                        if (!IsLetter(c)) return R::Error;
                        stored = Upper(c);
                        break;
                    case '~':
                        if (!IsLetter(c)) return R::Error;
                        stored = Lower(c);
                        break;
                    case '!':
                        stored = Upper(c);
                        break;
                    default:
                        break;
                }
                text_[i_++] = stored;
                state = R::Incomplete;
                ++j;
            } else if (p == ';') {
                if (j + 1 >= b || !Literal(pic_[j + 1])) return R::Error;
                state = R::Incomplete;
                j += 2;
            } else if (p == '*') {
                size_t k = j + 1;
                int count = 0;
                bool counted = false;
                while (k < b && IsDigit(pic_[k])) {
                    counted = true;
                    count = count * 10 + static_cast<int>(pic_[k] - '0');
                    ++k;
                }
                const size_t elemEnd = ElementEnd(k);
                if (counted) {
                    for (int n = 0; n < count; ++n) {
                        if (i_ >= text_.size()) {
                            if (pic_[k] == '[') break;  // the rest of an optional repetition
                            stop_ = k;
                            return state == R::Ambiguous ? R::IncompNoFill : R::Incomplete;
                        }
                        const R r = Sequence(k, elemEnd);
                        if (!IsCompleteLike(r)) return r;
                        state = r == R::Ambiguous ? R::Ambiguous : R::Incomplete;
                    }
                } else {
                    bool matchedAny = false, failed = false;
                    while (i_ < text_.size()) {
                        const Saved before = Save();
                        const R r = Sequence(k, elemEnd);
                        if (r == R::Error) {
                            Restore(before);
                            failed = true;
                            break;
                        }
                        if (IsIncomplete(r)) return r;
                        if (i_ == before.i) break;
                        matchedAny = true;
                    }
                    state = failed || !matchedAny ? R::Ambiguous : R::Incomplete;
                }
                j = elemEnd;
            } else if (p == '[') {
                const size_t k = GroupEnd(j);
                const Saved before = Save();
                const R r = Alternatives(j + 1, k - 1);
                if (IsIncomplete(r)) return r;
                if (r == R::Error) {
                    Restore(before);
                    state = R::Ambiguous;
                } else {
                    state = r == R::Ambiguous ? R::Ambiguous : R::Incomplete;
                }
                j = k;
            } else if (p == '{') {
                const size_t k = GroupEnd(j);
                const R r = Alternatives(j + 1, k - 1);
                if (!IsCompleteLike(r)) return r;
                state = r == R::Ambiguous ? R::Ambiguous : R::Incomplete;
                j = k;
            } else {
                if (!Literal(p)) return R::Error;
                state = R::Incomplete;
                ++j;
            }
        }
        return state == R::Ambiguous ? R::Ambiguous : R::Complete;
    }

    const std::u32string& pic_;
    std::u32string& text_;
    size_t i_ = 0;
    size_t stop_ = 0;
    bool blankMatched_ = false;
};

// Matches the whole text; `stop` receives the picture position where an incomplete text ended.
R MatchAll(const std::u32string& pic, std::u32string& text, size_t& stop) {
    Matcher m(pic, text);
    R r = m.Run();
    if (r != R::Error && m.TextPos() < text.size()) r = R::Error;
    stop = m.StopPos();
    return r;
}

TPicResult Fold(R r) {
    switch (r) {
        case R::Complete:
        case R::Ambiguous:
            return TPicResult::prComplete;
        case R::Incomplete:
        case R::IncompNoFill:
            return TPicResult::prIncomplete;
        case R::Error:
            break;
    }
    return TPicResult::prError;
}

}  // namespace

// ----------------------------------------------------------------------------- validator

TDbPictureValidator::TDbPictureValidator(std::string picture, bool autoFill)
    : picture_(std::move(picture)), autoFill_(autoFill), bad_(!SyntaxOk(picture_)) {}

bool TDbPictureValidator::SyntaxOk(const std::string& picture) {
    const std::u32string pic = Decode(picture);
    int squares = 0, braces = 0;
    for (size_t j = 0; j < pic.size(); ++j) {
        switch (pic[j]) {
            case ';':
                if (j + 1 >= pic.size()) return false;
                ++j;
                break;
            case '*': {
                size_t k = j + 1;
                while (k < pic.size() && IsDigit(pic[k])) ++k;
                if (k >= pic.size()) return false;  // nothing to repeat
                break;
            }
            case '[':
                ++squares;
                break;
            case ']':
                if (--squares < 0) return false;
                break;
            case '{':
                ++braces;
                break;
            case '}':
                if (--braces < 0) return false;
                break;
            default:
                break;
        }
    }
    return squares == 0 && braces == 0;
}

TPicResult TDbPictureValidator::Check(std::string& text, bool fill) const {
    if (bad_) return TPicResult::prSyntax;
    if (text.empty()) return TPicResult::prEmpty;
    const std::u32string pic = Decode(picture_);
    std::u32string work = Decode(text);
    size_t stop = 0;
    const R r = MatchAll(pic, work, stop);
    if (r == R::Error) return TPicResult::prError;
    if (r == R::Incomplete && fill) {
        // Append the literal characters that follow where matching stopped.
        std::u32string filled = work;
        for (size_t j = stop; j < pic.size(); ++j) {
            const char32_t p = pic[j];
            if (IsClass(p) || p == '*' || p == '[' || p == ']' || p == '{' || p == '}' || p == ',') break;
            if (p == ';') {
                if (++j >= pic.size()) break;
                filled.push_back(pic[j]);
            } else {
                filled.push_back(p);
            }
        }
        if (filled.size() != work.size()) {
            std::u32string again = filled;
            size_t stop2 = 0;
            const R r2 = MatchAll(pic, again, stop2);
            if (r2 != R::Error) {
                text = Encode(again);
                return Fold(r2);
            }
        }
    }
    text = Encode(work);
    return Fold(r);
}

bool TDbPictureValidator::IsValidInput(std::string& text, bool suppressFill) const {
    return Check(text, autoFill_ && !suppressFill) != TPicResult::prError;
}

bool TDbPictureValidator::IsValid(const std::string& text) const {
    if (picture_.empty()) return true;
    std::string copy = text;
    const TPicResult r = Check(copy, false);
    return r == TPicResult::prComplete || r == TPicResult::prEmpty;
}

// ------------------------------------------------------------------------------ masks

TPictureMask FindPictureMask(const TStrings& masks, const std::string& fieldName) {
    TPictureMask mask;
    for (int i = 0; i < masks.Count(); ++i) {
        const std::string line = masks.Get(i);
        std::string parts[4];
        size_t start = 0;
        for (int p = 0; p < 4; ++p) {
            const size_t tab = line.find('\t', start);
            parts[p] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (!SameText(parts[0], fieldName)) continue;
        mask.Found = true;
        mask.Picture = parts[1];
        mask.AutoFill = parts[2] == "T";
        mask.UseInGrid = parts[3] == "T";
        return mask;
    }
    return mask;
}

}  // namespace tessel
