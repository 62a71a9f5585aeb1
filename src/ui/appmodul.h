#pragma once
// The values the window's handlers hand to one another. One instance lives for
// the whole run; nothing of it is ever saved.

#include "document/linerules.h"
#include "platform/fileio.h"
#include "platform/textcodec.h"

#include <QString>
#include <cstdint>

namespace keyloom {

// The value of QuoteState while start-up selects the file of the command
// line; the lookup's values are kQuotesKept and kQuotesRemoved.
constexpr std::int16_t kStartUpSelection = 3;

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

    // CurrentFile as it was when it was loaded: a file changed since is not
    // written over with what was read.
    QString LoadedFile;
    FileIdentity LoadedIdentity;
    // The file the waiting REGEDIT4 text was made from, so that it is never
    // written into any other file.
    QString Text2Source;
    FileIdentity Text2Identity;
    // Why the waiting text must never be written (a failed read, a damaged
    // export, characters REGEDIT4 cannot hold); empty when it may be.
    QString Text2Refusal;
    // The waiting text lacks characters of a whole export: an apply writes
    // the value into the UTF-16 file in place instead, and says so once for
    // the file named in InPlaceTold.
    bool Text2InPlace = false;
    QString InPlaceTold;
    // Encoding of the loaded file's text, for showing it and for writing what
    // the user typed.
    TextCodec Codec = TextCodec::Utf8;
};

}  // namespace keyloom
