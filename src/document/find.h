#pragma once
// Finding a text in a file's section names, key names and values, in file
// order, the way the section list, the key list and the value box show them.
//
// A position is a row of the section list (one per header line, in file
// order) and a row of the key list that this section row lists. The key list
// of a section holds the keys of every header line with its name, so the
// search gives each header line the key rows that its own lines add: a match
// in the third header line of "[A]" is the row of the key list that shows
// that line's key once the third "[A]" row is chosen.
//
// A value is looked for on the key's own line, as the value box would show
// it from there, and it matches only when the value lookup for that row
// shows the text indeed. So in a section or key that occurs more than once,
// where the lookup takes the value from another line, a row is found where
// its own line holds the text and the box shows it.
//
// The file is read afresh, streaming; memory stays flat however large it
// is. A search that finds nothing reads it once, as raw blocks. A match
// costs a line walk up to it, a read up to its section row for the key
// list's row, and for a value the value lookup's own read.

#include "document/document.h"
#include "platform/textcodec.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace keyloom {

struct FindPosition {
    int section = -1;  // row of the section list; -1: before the first section
    int key = -1;      // row of its key list; -1: at the section's name, before its keys
    bool operator==(const FindPosition&) const = default;
};

struct FindQuery {
    QString text;
    bool sections = true;
    bool keys = true;
    bool values = true;
    bool caseSensitive = false;
};

struct FindRequest {
    QString path;
    FileKind kind = FileKind::Ini;
    TextCodec codec = TextCodec::Windows1252;
    FindQuery query;
    FindPosition from;  // the search starts after this position
};

// Failed: the file could not be opened or read to its end; nothing is
// told about it then, not even that it holds no match.
enum class FindStatus { Found, NotFound, Cancelled, Failed };
enum class FindHit { Section, Key, Value };

struct FindResult {
    FindStatus status = FindStatus::NotFound;
    FindPosition at;  // key -1 for a section name
    FindHit hit = FindHit::Section;
};

// Shared with a thread that runs a search: it may ask the search to stop and
// read how far it got.
struct FindControl {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> bytesRead{0};  // of the file; only grows
};

// The first match after `request.from`, reading the file at `request.path`
// as it is now; Failed when a read it needed failed. Never changes the file.
FindResult findNext(const FindRequest& request, FindControl* control = nullptr);

// The last match before `request.from`, reading the file up to the end of
// that section row's block; {INT_MAX, -1} stands for the end of the file.
// Never changes the file.
FindResult findPrevious(const FindRequest& request, FindControl* control = nullptr);

// One match of findAll: the section list's entry, and for a key or value
// the key list's entry (empty for a section name). The views are valid
// during the call only.
struct FindMatch {
    FindHit hit = FindHit::Section;
    int section = -1;  // row of the section list
    std::string_view sectionName;
    std::string_view key;
    int blockRow = -1;  // of a key: its row among those its own header line's block adds
};

struct FindAllResult {
    std::int64_t matches = 0;
    bool failed = false;     // the file could not be opened or read to its end
    bool cancelled = false;  // the sink or the control stopped the search
};

// Every match of `request.query` in file order, in one pass over the file,
// each handed to `sink` as soon as its line is read; `sink` returns false to
// stop. Section and key names match as findNext matches them, in the rows
// the lists show. A value matches as the value box would show it from the
// key's own line: unlike findNext it is not checked against the lookup,
// which takes another line where a key stands twice. `request.from` is not
// used. Never changes the file.
FindAllResult findAll(const FindRequest& request, const std::function<bool(const FindMatch&)>& sink,
                      FindControl* control = nullptr);

}  // namespace keyloom
