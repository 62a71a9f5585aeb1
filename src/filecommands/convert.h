#pragma once
// Writing the REGEDIT4 text of a UTF-16 registry export over that file.

#include "platform/replace.h"

#include <QString>
#include <cstdint>
#include <string_view>

namespace keyloom {

// Replaces the content of the existing regular file `file` with `text`
// followed by CR LF, all at once and keeping what the file carries (owner,
// mode, links, ACLs, extended attributes; platform/replace.h), but only while
// the file is still the one the text was read from (`read`). On a failure
// the file is untouched, or, where an in-place write failed part-way, the
// result names the private copy of the old content.
[[nodiscard]] ReplaceResult writeConversion(const QString& file, std::string_view text, const FileIdentity& read);
// What the user is told when the conversion of `file` ended in `result`
// without writing it.
QString conversionFailedNote(const QString& file, const ReplaceResult& result);

}  // namespace keyloom
