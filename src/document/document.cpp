#include "document/document.h"

#include "document/lines.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace keyloom {

namespace {

constexpr std::string_view kMarker("\xFF\xFE" "Windows");
constexpr std::string_view kCrLf("\r\n");

std::string headerOf(std::string_view section)
{
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    return header;
}

// Room for the REGEDIT4 text of `path`: its size in 8-bit characters, plus
// a little for line ends that grow from one byte to CR LF.
std::size_t textCapacityFor(const QString& path, Encoding encoding)
{
    const qint64 size = QFileInfo(path).size();
    const bool utf16 = encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE;
    return static_cast<std::size_t>(std::max<qint64>(size, 0) / (utf16 ? 2 : 1)) + 64;
}

// Hundreds of megabytes of fresh memory cost more in page faults than in
// copying; large pages cut their number by the hundreds where the system
// offers them on request.
void preferLargePages(std::string& buffer)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kPage = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = begin + buffer.capacity();
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    if (end > first + kPage)
        ::madvise(reinterpret_cast<void*>(first), (end - first) & ~(kPage - 1), MADV_HUGEPAGE);
#else
    (void)buffer;
#endif
}

}  // namespace

FileKind fileKindOf(const QString& path)
{
    return path.right(3).toLower() == QLatin1String("reg") ? FileKind::Registry : FileKind::Ini;
}

LoadResult loadFile(const QString& path)
{
    LoadResult result;
    LineReader reader(path);
    result.opened = reader.isOpen();
    bool utf8 = true;
    std::string_view line;
    while (reader.next(line)) {
        if (!line.empty() && line.front() == '[' && line.size() >= 2)
            result.sections.emplace_back(line.substr(1, line.size() - 2));
        // Line ends are ASCII and never split a multi-byte sequence, so the
        // file is valid UTF-8 exactly when every line is.
        if (utf8)
            utf8 = isValidUtf8(line);
        if (!result.regedit4.empty()) {
            result.regedit4 += line;
            result.regedit4 += kCrLf;
        }
        // Tested after the append, so a second marker line is appended first
        // and then dropped with everything before it.
        if (line.substr(0, kMarker.size()) == kMarker) {
            // The text that follows is at most the rest of the file (half of
            // it for UTF-16): room for it at once spares copying a growing
            // string of hundreds of megabytes again and again.
            if (!result.markerFound) {
                result.regedit4.reserve(textCapacityFor(path, reader.encoding()));
                preferLargePages(result.regedit4);
            }
            result.markerFound = true;
            result.regedit4.assign("REGEDIT4\r\n");
        }
    }
    // A marker late in an 8-bit file leaves most of that room unused.
    if (result.regedit4.capacity() > 2 * result.regedit4.size() + 4096)
        result.regedit4.shrink_to_fit();
    const bool utf16 = reader.encoding() == Encoding::Utf16LE || reader.encoding() == Encoding::Utf16BE;
    result.codec = utf8 && !utf16 ? TextCodec::Utf8 : TextCodec::Windows1252;
    return result;
}

KeyListing listKeys(const QString& path, std::string_view section, FileKind kind)
{
    KeyListing result;
    LineReader reader(path);
    if (!reader.isOpen()) {
        result.failed = true;
        return result;
    }
    const std::string header = headerOf(section);
    bool inSection = false;
    std::string_view line;
    while (reader.next(line)) {
        if (line.empty())
            continue;
        if (line.front() == '[') {
            inSection = line == header;
            continue;
        }
        // Only the space counts as indentation: continuation lines of wrapped
        // registry values start with blanks, a tab-led line is a key.
        if (line.front() == ' ' || line.front() == ';' || !inSection)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            result.failed = true;
            return result;
        }
        const std::string_view name = line.substr(0, eq);
        if (kind == FileKind::Ini) {
            if (!name.empty())
                result.keys.emplace_back(name);
        } else if (!name.empty() && name.front() == '@') {
            result.keys.emplace_back("@");
        } else if (name.size() < 2) {
            result.failed = true;
            return result;
        } else if (name.size() > 2) {
            // The enclosing quotes go without being checked; escapes stay as written.
            result.keys.emplace_back(name.substr(1, name.size() - 2));
        }
    }
    result.failed = reader.failed();
    return result;
}

bool unQuote(std::string& text, std::int16_t& quoteState)
{
    if (text == "\"")
        return false;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
        quoteState = 2;
    } else {
        quoteState = 0;
    }
    return true;
}

void enQuote(std::string& text)
{
    if (text.empty() || (text.front() != '"' && text.back() != '"'))
        text = '"' + text + '"';
}

RegistryLookup lookupRegistryValue(const QString& path, std::string_view section, std::string_view entry,
                                   std::string_view currentText)
{
    RegistryLookup result;
    LineReader reader(path);
    if (!reader.isOpen()) {
        result.failed = true;
        return result;
    }
    const std::string header = headerOf(section);
    const std::string prefix = '"' + std::string(entry) + "\"=";
    // Compared with the line's first two bytes: only a one-byte entry such as
    // "@" can match, which finds the default value's "@=" line.
    const std::string shortPrefix = std::string(entry) + '=';
    bool inSection = false;
    std::string_view line;
    while (reader.next(line)) {
        if (line.empty())
            continue;
        if (line.front() == '[') {
            inSection = line == header;
            continue;
        }
        if (!inSection)
            continue;
        bool matched = false;
        std::string value;
        if (line.substr(0, prefix.size()) == prefix) {
            matched = true;
            value = line.substr(prefix.size());
        } else if (line.substr(0, 2) == shortPrefix) {
            matched = true;
            value = line.substr(std::min<std::size_t>(2, line.size()));
        }
        if (matched) {
            std::int16_t quoteState = 0;
            if (!unQuote(value, quoteState)) {
                result.failed = true;
                return result;
            }
            result.found = true;
            result.text = std::move(value);
            result.quoteState = quoteState;
            // Later lines of this occurrence are skipped; a later occurrence
            // of the same header is examined again.
            inSection = false;
        }
        result.examined = true;
        const std::string_view shown = result.found ? std::string_view(result.text) : currentText;
        result.enabled = shown.substr(0, 3) != "hex";
    }
    result.failed = reader.failed();
    return result;
}

}  // namespace keyloom
