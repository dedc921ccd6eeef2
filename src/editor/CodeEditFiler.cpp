// Writing the editor's text to a file in its encoding and line breaks.

#include "editor/CodeEditFiler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "base/Exceptions.h"
#include "base/FileUtil.h"

namespace tessel {

std::string_view LineBreakOf(TLineBreakStyle style) {
    switch (style) {
        case lbLf:
            return "\n";
        case lbCr:
            return "\r";
        case lbCrLf:
            break;
    }
    return "\r\n";
}

bool CanEncode(std::string_view utf8, TTextEncoding encoding) {
    if (encoding != TTextEncoding::Windows1252) return true;
    std::string scratch;
    return EncodeText(utf8, encoding, scratch);
}

TCodeEditFiler::TCodeEditFiler() : buffer_(kDefaultBufferSize, '\0') {}

void TCodeEditFiler::Append(std::string_view first, std::string_view second) {
    const size_t need = first.size() + second.size();
    if (buffer_.size() - used_ < need) {
        Flush();
        if (buffer_.size() - used_ < need) buffer_.resize(used_ + need);
    }
    first.copy(buffer_.data() + used_, first.size());
    used_ += first.size();
    second.copy(buffer_.data() + used_, second.size());
    used_ += second.size();
}

namespace {

std::string_view ByteOrderMark(TTextEncoding encoding) {
    switch (encoding) {
        case TTextEncoding::Utf8Bom:
            return "\xEF\xBB\xBF";
        case TTextEncoding::Utf16LeBom:
            return "\xFF\xFE";
        case TTextEncoding::Utf16BeBom:
            return "\xFE\xFF";
        case TTextEncoding::Utf8:
        case TTextEncoding::Windows1252:
            break;
    }
    return {};
}

}  // namespace

TCodeEditFileWriter::TCodeEditFileWriter(const std::string& fileName, TTextEncoding encoding)
    : fileName_(fileName), file_(fileName), encoding_(encoding) {}

// Without Commit the save was abandoned: whatever is buffered belongs to a file that is about
// to be removed (by file_), so it is dropped rather than flushed.
TCodeEditFileWriter::~TCodeEditFileWriter() = default;

void TCodeEditFileWriter::Encode(std::string_view text, std::string& out) const {
    if (encoding_ == TTextEncoding::Utf8 || encoding_ == TTextEncoding::Utf8Bom) {
        out.assign(text);
        return;
    }
    if (!EncodeText(text, encoding_, out))
        throw Exception("Cannot store the text of \"" + fileName_ +
                        "\" in its encoding: it has characters that the encoding lacks");
    // EncodeText starts UTF-16 with its byte-order mark; the file has one already.
    if (encoding_ == TTextEncoding::Utf16LeBom || encoding_ == TTextEncoding::Utf16BeBom) out.erase(0, 2);
}

void TCodeEditFileWriter::WriteMarkOnce() {
    if (!markPending_) return;
    markPending_ = false;
    Append(ByteOrderMark(encoding_));
}

void TCodeEditFileWriter::WriteLine(std::string_view text) {
    WriteMarkOnce();
    if (!lineBreakKnown_ || lineBreakFor_ != LineBreakStyle()) {
        lineBreakFor_ = LineBreakStyle();
        Encode(LineBreakOf(lineBreakFor_), lineBreak_);
        lineBreakKnown_ = true;
    }
    if (encoding_ == TTextEncoding::Utf8 || encoding_ == TTextEncoding::Utf8Bom) {
        Append(text, lineBreak_);
    } else {
        Encode(text, encoded_);
        Append(encoded_, lineBreak_);
    }
}

void TCodeEditFileWriter::WriteText(std::string_view text) {
    WriteMarkOnce();
    if (encoding_ == TTextEncoding::Utf8 || encoding_ == TTextEncoding::Utf8Bom) {
        Append(text);
    } else {
        Encode(text, encoded_);
        Append(encoded_);
    }
}

void TCodeEditFileWriter::Flush() {
    file_.Write(std::string_view(BufferData(), BufferUsed()));
    ResetBuffer();
}

void TCodeEditFileWriter::Commit() {
    Flush();
    file_.Commit();
}

}  // namespace tessel
