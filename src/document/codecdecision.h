#pragma once
// Which encoding the text of a file is shown and written in, decided from
// all of its bytes as the load reads them: UTF-8 for a file with the UTF-8
// mark or valid UTF-8 beyond ASCII, and for a UTF-16 file that the reader
// delivers as UTF-8 (no registry export); Windows-1252 for every other file
// (plain ASCII and UTF-16 exports included).

#include "platform/lines.h"
#include "platform/textcodec.h"

#include <string>
#include <string_view>

namespace keyloom {

class CodecDecision {
public:
    // Takes the next bytes of the file in order (lines, pieces or passed-over
    // runs). `open`: they may end inside a character that the next bytes
    // finish; otherwise they end at a line's end.
    void feed(std::string_view bytes, bool open);
    // The encoding for a file read in `encoding` (`unicodeText`: a UTF-16
    // file delivered as UTF-8), once every byte was fed.
    TextCodec codec(Encoding encoding, bool unicodeText = false) const;

private:
    Utf8Scan text_ = Utf8Scan::Ascii;
    std::string carry_;  // the start of a character cut between two runs
};

}  // namespace keyloom
