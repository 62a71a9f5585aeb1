#pragma once
// The values the window's handlers hand to one another. One instance lives for
// the whole run; nothing of it is ever saved.

#include "platform/textcodec.h"

#include <QString>
#include <cstdint>

namespace keyloom {

// Values of QuoteState.
constexpr std::int16_t kQuotesKept = 0;        // the value shown is as the file holds it
constexpr std::int16_t kQuotesRemoved = 2;     // the lookup took a pair of enclosing quotes off
constexpr std::int16_t kStartUpSelection = 3;  // start-up is selecting the file of the command line

struct AppModul {
    // Set once by start-up.
    QString AppTitle;
    QString CmdLineFile;

    QString CurrentFile;
    // 1 while Text2 holds the REGEDIT4 text of the current file.
    std::int16_t ConvertPending = 0;
    std::int16_t QuoteState = kQuotesKept;
    std::int16_t LayoutFlag = 0;
    std::int16_t SplitterLeft = 0;

    // The file the waiting REGEDIT4 text was made from, so that it is never
    // written into any other file.
    QString Text2Source;
    // Characters of the waiting text that REGEDIT4 cannot hold, and the file
    // line of the first: while there are any, the text is never written.
    std::uint64_t Text2Unconvertible = 0;
    std::uint64_t Text2FirstUnconvertibleLine = 0;
    // Encoding of the loaded file's text, for showing it and for writing what
    // the user typed.
    TextCodec Codec = TextCodec::Utf8;
};

}  // namespace keyloom
