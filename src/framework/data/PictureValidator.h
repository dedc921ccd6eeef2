#pragma once

// Picture masks: a small pattern language that says, character by character, what a field's
// text may hold (digits, letters, any character, literals, optional parts, groups,
// repetitions and alternatives) and how letters are stored (upper or lower case). The
// validator answers how far a text satisfies a picture and can complete the literal
// characters that follow what was typed.
//
//   #  a digit                      ;  the next character taken literally
//   ?  a letter                     *  repetition: *n<element> n times, *<element> any number
//   &  a letter, stored upper case  [ ]  an optional part
//   ~  a letter, stored lower case  { }  a group, one element
//   @  any character                ,  separates alternatives
//   !  any character, upper case    anything else: itself (matched without regard to case)

#include <string>

namespace tessel {

enum class TPicResult { prComplete = 0, prIncomplete = 1, prEmpty = 2, prError = 3, prSyntax = 4 };

class TDbPictureValidator {
public:
    TDbPictureValidator(std::string picture, bool autoFill);

    const std::string& Picture() const { return picture_; }
    bool AutoFill() const { return autoFill_; }
    // The picture's syntax is invalid (every check answers prSyntax).
    bool BadPicture() const { return bad_; }

    // Checks `text` (UTF-8) against the picture. Matched characters are stored as the picture
    // says (case conversions, literals as the picture writes them); with `fill`, literal
    // characters that must follow are appended when the result is incomplete. On prError the
    // text is left as it was.
    TPicResult Check(std::string& text, bool fill) const;
    // False only when the check gives prError.
    bool IsValidInput(std::string& text, bool suppressFill) const;
    // True when the picture is empty or the text is complete or empty under it.
    bool IsValid(const std::string& text) const;

    // The picture's syntax alone: no "; " or unescaped "*" at the end, brackets balanced.
    static bool SyntaxOk(const std::string& picture);

private:
    std::string picture_;
    bool autoFill_;
    bool bad_;
};

// The mask settings of one field, from a PictureMasks line "name<TAB>picture<TAB>T<TAB>T".
struct TPictureMask {
    std::string Picture;   // empty: no mask
    bool AutoFill = true;  // parts 3 and 4 read True when the field has no line
    bool UseInGrid = true;
    bool Found = false;  // a line names the field
};

class TStrings;
// The mask of `fieldName` in a PictureMasks list (names compared without regard to case).
TPictureMask FindPictureMask(const TStrings& masks, const std::string& fieldName);

}  // namespace tessel
