#pragma once
// Comparing two files by what a reader gets from them, section by section and
// key by key, whatever their encodings: an export and its REGEDIT4 form are
// equal, a changed value is one change however its lines are wrapped.
//
// Names compare as Windows compares them, without regard to letter case.
// Values compare by what a reader gets: in an INI or INF file the profile
// read's text of the first occurrence (of the section's first occurrence); in
// a registry export the data an importer stores from the key's last line in
// all of the section's occurrences: a string's text, a dword's number, the
// text of hex(1), hex(2) and hex(7) data, the bytes of other hex data.
//
// Both files are read afresh, streaming: a pass over their section headers,
// then one over both files side by side, which parses only sections whose
// lines differ. Memory stays at a few sections while the files keep their
// sections in the same order; sections that come in another order are held
// until their counterpart comes. Never changes either file.

#include "document/document.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keyloom {

enum class ChangeKind { Added, Removed, Changed };

// One difference, the texts decoded for a person.
struct Difference {
    QString section;             // A's spelling when both have it
    std::optional<QString> key;  // none: the whole section is only in one file
    ChangeKind change = ChangeKind::Changed;
    // The key's line in its file's notation: `"Name"=value` (continuation
    // lines joined) in a registry file, `Name=value` (the value as read) in
    // an INI file; empty on the side that lacks the key.
    QString oldLine;
    QString newLine;
    // The value decoded as `keyloom get --decoded` shows it; none on the
    // side that lacks the key.
    std::optional<QString> oldValue;
    std::optional<QString> newValue;
    // The section and key for finding them in the window's lists again:
    // the raw bytes of the header line's name and of the key's list entry
    // in the file that has them (A's when both have them).
    std::string sectionBytes;
    std::string keyBytes;
    bool operator==(const Difference&) const = default;
};

enum class CompareStatus { Equal, Different, Refused, Unreadable, Cancelled };

struct Comparison {
    CompareStatus status = CompareStatus::Equal;
    // Sections in A's order, then the sections only in B in B's order; in a
    // section, A's keys in A's order, then the keys only in B in B's order.
    std::vector<Difference> differences;
    QString failedFile;  // the file that could not be read (Unreadable)
};

// Shared with a thread that runs a comparison: it may ask it to stop and
// read how far it got, in bytes of work out of `total`.
struct CompareControl {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> total{0};
};

// Compares the file at `a` with the file at `b`. Refused when one is read
// as a registry export and the other as an INI file (fileKindOf); Unreadable
// when either cannot be opened or read to its end.
Comparison compareFiles(const QString& a, const QString& b, CompareControl* control = nullptr);

// The message for a comparison that did not get to its end (Refused,
// Unreadable), in German; empty for the others.
QString compareFailureMessage(const Comparison& comparison, const QString& a, const QString& b);

// The differences as text for people: per section `[Name]`, then a `-` line
// for what only A has and a `+` line for what only B has (both for a changed
// value); a whole section as `-[Name]` or `+[Name]`. Each line ends in "\n".
QString differencesAsText(const std::vector<Difference>& differences);
// The differences as one JSON array of objects with "section", "key" (null
// for a whole section), "change" ("added", "removed", "changed"), "old" and
// "new" (the decoded values; null where a side lacks it), UTF-8.
QByteArray differencesAsJson(const std::vector<Difference>& differences);

}  // namespace keyloom
