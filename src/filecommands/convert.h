#pragma once
// Writing the REGEDIT4 text of a UTF-16 registry export over that file.

#include <QString>
#include <cstdint>
#include <string_view>

namespace keyloom {

// Replaces the content of the existing regular file `file` with `text`
// followed by CR LF, all at once: written to a temporary file in the same
// folder and renamed over it, permissions kept; through a symbolic link the
// target is updated and the link stays. False on any failure, with the file
// untouched and no temporary file left.
[[nodiscard]] bool writeConversion(const QString& file, std::string_view text);

// What the user is told when the REGEDIT4 text of `file` holds `count`
// characters (the first in file line `firstLine`) that the 8-bit text
// cannot hold, so that neither the conversion nor an apply writes it.
QString unconvertibleNote(const QString& file, std::uint64_t count, std::uint64_t firstLine);

}  // namespace keyloom
