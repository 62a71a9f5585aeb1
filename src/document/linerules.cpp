#include "document/linerules.h"

#include "app/commands.h"
#include "document/regvalue.h"
#include "document/winereg.h"
#include "platform/lines.h"
#include "platform/profile.h"

#include <algorithm>

namespace keyloom {

namespace {

constexpr auto npos = std::string_view::npos;

bool startsWithNoCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != lowerPrefix[i])
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string_view> sectionNameOf(std::string_view line)
{
    if (!isHeaderLine(line) || line.size() < 2)
        return std::nullopt;
    return line.substr(1, line.size() - 2);
}

std::string headerLineOf(std::string_view section)
{
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    return header;
}

std::optional<std::string_view> sectionNameOf(std::string_view line, FileKind kind, std::string& buffer)
{
    switch (kind) {
    case FileKind::Ini:
    case FileKind::Registry:
        return sectionNameOf(line);
    case FileKind::WineRegistry:
        return wineSectionNameOf(line, buffer);
    }
    return std::nullopt;
}

SectionMatcher::SectionMatcher(std::string_view section, FileKind kind)
    : kind_(kind), wanted_(kind == FileKind::WineRegistry ? std::string(section) : headerLineOf(section))
{}

bool SectionMatcher::opens(std::string_view headerLine, bool whole)
{
    if (!whole)
        return false;
    switch (kind_) {
    case FileKind::Ini:
    case FileKind::Registry:
        return headerLine == wanted_;
    case FileKind::WineRegistry: {
        const std::optional<std::string_view> path = wineKeyPathOf(headerLine);
        return path && wineTextIs(*path, wanted_, buffer_);
    }
    }
    return false;
}

bool isExportMarkerLine(std::string_view line)
{
    return line.substr(0, 9) == std::string_view("\xFF\xFE"
                                                 "Windows");
}

KeyLine keyLineOf(std::string_view line, FileKind kind, bool whole)
{
    KeyLine result;
    // Only the space counts as indentation: continuation lines of wrapped
    // registry values start with blanks, a tab-led line is a key.
    if (line.empty() || line.front() == ' ' || line.front() == ';')
        return result;
    if (kind == FileKind::WineRegistry) {
        if (const std::optional<WineName> name = isWineMetaLine(line) ? std::nullopt : wineNameOf(line)) {
            result.kind = KeyLine::Kind::Key;
            result.entry = name->escaped;
            result.valueAt = name->valueAt;
        }
        return result;
    }
    const std::size_t eq = line.find('=');
    if (eq == npos && whole) {
        result.kind = KeyLine::Kind::Ends;
        return result;
    }
    result.kind = KeyLine::Kind::Key;
    result.valueAt = eq == npos ? npos : eq + 1;
    const std::string_view name = line.substr(0, eq);
    switch (kind) {
    case FileKind::Ini:
        if (!name.empty())
            result.entry = name;
        break;
    case FileKind::WineRegistry:
        break;
    case FileKind::Registry:
        if (!name.empty() && name.front() == '@')
            result.entry = std::string_view("@");
        else if (name.size() < 2)
            result.kind = KeyLine::Kind::Ends;
        else if (name.size() > 2)
            result.entry = name.substr(1, name.size() - 2);
        break;
    }
    return result;
}

void KeyRows::start(bool listed)
{
    listed_ = listed;
    ended_ = false;
    pending_.reset();
    count_ = 0;
}

std::optional<KeyRows::Row> KeyRows::feed(std::string_view line, bool continuation, bool partial)
{
    if (!listed_ || ended_)
        return std::nullopt;
    if (continuation) {
        if (pending_ && line.find('=') != npos) {
            emitted_ = std::move(*pending_);
            pending_.reset();
            ++count_;
            return Row{emitted_, std::nullopt};
        }
        if (pending_ && !partial)
            ended_ = true;
        return std::nullopt;
    }
    const KeyLine key = keyLineOf(line, kind_, !partial);
    if (key.kind == KeyLine::Kind::Ends)
        ended_ = true;
    if (key.kind != KeyLine::Kind::Key)
        return std::nullopt;
    if (key.valueAt == npos) {
        if (key.entry)
            pending_.emplace(*key.entry);
        return std::nullopt;
    }
    if (!key.entry)
        return std::nullopt;
    ++count_;
    if (kind_ == FileKind::WineRegistry) {
        decoded_ = shownWineName({*key.entry, key.valueAt, line.front() == '@'});
        return Row{decoded_, line.substr(key.valueAt)};
    }
    return Row{*key.entry, line.substr(key.valueAt)};
}

std::optional<std::string_view> registryValueOf(std::string_view line, std::string_view entry)
{
    // `"entry"=` without building it: most lines fail at the first bytes.
    if (line.size() >= entry.size() + 3 && line.front() == '"' && line.substr(1, entry.size()) == entry &&
        line.substr(entry.size() + 1, 2) == "\"=")
        return line.substr(entry.size() + 3);
    // Compared with the line's first two bytes: only a one-byte entry such
    // as "@" can match, which finds the default value's "@=" line.
    const std::string_view head = line.substr(0, 2);
    if (head.size() == entry.size() + 1 && head.substr(0, entry.size()) == entry && head.back() == '=')
        return line.substr(head.size());
    return std::nullopt;
}

std::optional<ShownValue> shownRegistryValue(std::string_view raw)
{
    ShownValue shown{std::string(raw), kQuotesKept};
    if (!unQuote(shown.text, shown.quoteState))
        return std::nullopt;
    return shown;
}

std::optional<std::string> shownValue(FileKind kind, std::string_view raw)
{
    switch (kind) {
    case FileKind::Registry: {
        std::optional<ShownValue> shown = shownRegistryValue(raw);
        return shown ? std::optional(std::move(shown->text)) : std::nullopt;
    }
    case FileKind::WineRegistry:
        return shownWineValue(raw);
    case FileKind::Ini:
        return std::string(profileValueText(raw).substr(0, std::size_t(Commands::kProfileBufferSize - 1)));
    }
    return std::nullopt;
}

bool unQuote(std::string& text, std::int16_t& quoteState)
{
    if (text == "\"")
        return false;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
        quoteState = kQuotesRemoved;
    } else {
        quoteState = kQuotesKept;
    }
    return true;
}

void enQuote(std::string& text)
{
    if (text.empty() || (text.front() != '"' && text.back() != '"'))
        text = '"' + text + '"';
}

std::optional<std::size_t> valueStartOf(std::string_view line)
{
    const auto skipBlanks = [&](std::size_t at) { return std::min(line.find_first_not_of(" \t", at), line.size()); };
    std::size_t at = skipBlanks(0);
    if (line.substr(at, 1) == "@") {
        ++at;
    } else if (line.substr(at, 1) == "\"") {
        // Escapes are rare: a quote ends the name unless an odd run of
        // backslashes stands before it.
        for (std::size_t from = at + 1;;) {
            const std::size_t quote = line.find('"', from);
            if (quote == npos)
                return std::nullopt;
            std::size_t backslashes = 0;
            while (line[quote - 1 - backslashes] == '\\')
                ++backslashes;
            from = quote + 1;
            if (backslashes % 2 == 0) {
                at = from;
                break;
            }
        }
    } else {
        return std::nullopt;
    }
    at = skipBlanks(at);
    if (line.substr(at, 1) != "=")
        return std::nullopt;
    return skipBlanks(at + 1);
}

bool isValidEscapedString(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            return false;
        if (text[i] == '\\') {
            if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return false;
            ++i;
        }
    }
    return true;
}

std::string escapeRegistryString(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string unescapeRegistryString(std::string_view text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"'))
            ++i;
        plain += text[i];
    }
    return plain;
}

bool isWritableDword(std::string_view value)
{
    // Importers take the type's name in lower case only.
    if (value.substr(0, 6) != "dword:")
        return false;
    const std::string_view digits = value.substr(6);
    return !digits.empty() && digits.size() <= 8 && std::all_of(digits.begin(), digits.end(), [](char c) {
        return kHexDigitValue[static_cast<unsigned char>(c)] >= 0;
    });
}

std::optional<std::string_view> dwordDigitsOf(std::string_view value)
{
    if (!startsWithNoCase(value, "dword:"))
        return std::nullopt;
    return value.substr(6);
}

std::optional<HexHead> hexHeadOf(std::string_view value)
{
    if (!startsWithNoCase(value, "hex"))
        return std::nullopt;
    if (value.substr(3, 1) == ":")
        return HexHead{kRegBinary, 4};
    if (value.substr(3, 1) != "(")
        return std::nullopt;
    const std::size_t close = value.find(')', 4);
    if (close == npos || value.substr(close + 1, 1) != ":")
        return std::nullopt;
    const std::string_view digits = value.substr(4, close - 4);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t type = 0;
    for (const char c : digits) {
        const int d = kHexDigitValue[static_cast<unsigned char>(c)];
        if (d < 0)
            return std::nullopt;
        type = type << 4 | unsigned(d);
    }
    return HexHead{type, close + 2};
}

}  // namespace keyloom
