#pragma once
// Realistic large test files for the benchmarks: a REGEDIT4 registry export,
// the same content as a UTF-16LE export with byte-order mark, a UTF-16LE
// export with characters beyond Windows-1252, and an INI file. The same seed
// and size always give the same bytes.

#include <QString>
#include <cstdint>
#include <string>

namespace keyloom::bench {

// Where the files went and the names the benchmarks look up: the last section
// of each file and the last key in it.
struct GeneratedFiles {
    QString regedit4;            // export.reg, CR LF, Windows-1252 bytes above 0x7F
    QString utf16;               // export-utf16.reg, twice the size of export.reg
    QString utf16Wide;           // export-utf16-wide.reg, as large, beyond what REGEDIT4 can hold
    QString ini;                 // profile.ini
    QString wine;                // user.reg, Wine's own registry form (LF, escapes), about as large as export.reg
    std::string lastRegSection;  // key path without the brackets
    std::string lastRegValue;    // value name without its quotes
    std::string lastIniSection;
    std::string lastIniKey;
    std::string lastWineSection;  // decoded, as the section list shows it
    std::string lastWineValue;    // decoded
    bool ok = false;
};

// Writes the five files into `folder` (which must exist), export.reg and
// profile.ini each about `bytes` long, and a manifest.txt naming what
// GeneratedFiles names. Existing files of those names are overwritten.
GeneratedFiles generateFiles(const QString& folder, std::uint64_t bytes, std::uint64_t seed);

// Reads back what generateFiles left in `folder`; ok is false when the
// manifest is missing or incomplete.
GeneratedFiles readManifest(const QString& folder);

}  // namespace keyloom::bench
