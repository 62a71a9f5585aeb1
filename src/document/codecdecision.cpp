#include "document/codecdecision.h"

#include <algorithm>

namespace keyloom {

namespace {

// Count of bytes at the end of `bytes` that begin a multi-byte UTF-8
// character whose remaining bytes lie beyond it.
std::size_t openUtf8Tail(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, n); ++back) {
        const auto c = static_cast<unsigned char>(bytes[n - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // a continuation byte: the lead lies further back
        const std::size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

}  // namespace

void CodecDecision::feed(std::string_view bytes, bool open)
{
    // Line ends are ASCII and never split a multi-byte sequence, so the file
    // is valid UTF-8 exactly when every run of its bytes is.
    if (text_ == Utf8Scan::Invalid)
        return;
    std::string joined;
    if (!carry_.empty()) {
        joined = carry_;
        joined += bytes;
        bytes = joined;
        carry_.clear();
    }
    if (open) {
        const std::size_t keep = openUtf8Tail(bytes);
        carry_.assign(bytes.substr(bytes.size() - keep));
        bytes.remove_suffix(keep);
    }
    const Utf8Scan piece = scanUtf8(bytes);
    if (piece != Utf8Scan::Ascii)
        text_ = piece;
}

TextCodec CodecDecision::codec(Encoding encoding, bool unicodeText) const
{
    if (unicodeText)
        return TextCodec::Utf8;
    // A file that ends inside a character is not UTF-8.
    const Utf8Scan text = carry_.empty() ? text_ : Utf8Scan::Invalid;
    // Plain ASCII is 8-bit text in the Windows code page, unless the file
    // says it is UTF-8 with its byte-order mark.
    const bool utf8 = text == Utf8Scan::Utf8 || (text == Utf8Scan::Ascii && encoding == Encoding::Utf8Bom);
    return utf8 && !isUtf16(encoding) ? TextCodec::Utf8 : TextCodec::Windows1252;
}

}  // namespace keyloom
