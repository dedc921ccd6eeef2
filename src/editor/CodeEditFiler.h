#pragma once

// Writing the editor's text to files: encodings, line breaks, the atomic save.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/FileUtil.h"
#include "base/TextEncoding.h"

namespace tessel {

// The line-break convention of a text file. New text uses CR LF.
enum TLineBreakStyle { lbCrLf = 0, lbLf = 1, lbCr = 2 };

// The bytes that end a line in the given style.
std::string_view LineBreakOf(TLineBreakStyle style);

// Buffered output of text lines. The base class only owns the buffer; writing it anywhere is
// up to a derived class, so its Flush does nothing.
class TCodeEditFiler {
public:
    static constexpr size_t kDefaultBufferSize = 16384;

    TCodeEditFiler();
    virtual ~TCodeEditFiler() = default;
    TCodeEditFiler(const TCodeEditFiler&) = delete;
    TCodeEditFiler& operator=(const TCodeEditFiler&) = delete;

    TLineBreakStyle LineBreakStyle() const { return lineBreakStyle_; }
    void SetLineBreakStyle(TLineBreakStyle style) { lineBreakStyle_ = style; }

    // Hands the buffered bytes on and empties the buffer.
    virtual void Flush() {}

    size_t BufferSize() const { return buffer_.size(); }
    size_t BufferUsed() const { return used_; }

protected:
    // Appends bytes that are already in the file's encoding. When they do not fit, the buffer is
    // flushed first, and when even the empty buffer is too small it grows to exactly the need,
    // so one line always goes out in one piece.
    void Append(std::string_view first, std::string_view second = {});
    const char* BufferData() const { return buffer_.data(); }
    void ResetBuffer() { used_ = 0; }

private:
    std::string buffer_;
    size_t used_ = 0;
    TLineBreakStyle lineBreakStyle_ = lbLf;
};

// Writes a text file in a given encoding. The lines (UTF-8) go to a temporary file beside the
// target; Commit renames it over the target. Until then the old file is untouched, and a writer
// destroyed without Commit removes its temporary file, so a failed save never leaves a
// half-written file behind. A byte-order mark, when the encoding has one, goes in front of the
// first write; a writer that is given nothing to write makes an empty file in every encoding.
class TCodeEditFileWriter : public TCodeEditFiler {
public:
    // Raises EFileError when the temporary file cannot be created.
    explicit TCodeEditFileWriter(const std::string& fileName, TTextEncoding encoding = TTextEncoding::Utf8);
    ~TCodeEditFileWriter() override;

    // The text followed by the line break of LineBreakStyle(). Raises Exception when the text
    // has a character that the encoding cannot hold (Windows-1252 only); callers that cannot
    // rule that out check with CanEncode first.
    void WriteLine(std::string_view text);
    // The text without a line break.
    void WriteText(std::string_view text);
    // Raises EFileError when the bytes cannot be written.
    void Flush() override;
    // Flushes, makes the data durable and puts the file in place of the target. Raises
    // EFileError on failure; the temporary file is then removed by the destructor.
    void Commit();

    const std::string& FileName() const { return fileName_; }
    TTextEncoding Encoding() const { return encoding_; }

private:
    void Encode(std::string_view text, std::string& out) const;
    void WriteMarkOnce();

    std::string fileName_;  // as given, for messages
    TAtomicFile file_;
    TTextEncoding encoding_;
    bool markPending_ = true;  // byte-order mark not yet written
    std::string encoded_;      // scratch for converting one line
    std::string lineBreak_;    // LineBreakStyle() in the file's encoding
    TLineBreakStyle lineBreakFor_ = lbCrLf;
    bool lineBreakKnown_ = false;
};

// Can every character of the UTF-8 text be stored in the encoding?
bool CanEncode(std::string_view utf8, TTextEncoding encoding);

}  // namespace tessel
