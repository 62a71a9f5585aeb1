#include "document/regvalue.h"

#include "platform/textcodec.h"

#include <QStringList>

#include <cstring>

namespace keyloom {

namespace {

// Exports wrap their hex lists so that no line passes this column.
constexpr std::size_t kWrapColumn = 80;

int hexDigit(char c) { return kHexDigitValue[static_cast<unsigned char>(c)]; }

// The number of up to `maxDigits` hex digits, none of them missing.
std::optional<std::uint64_t> hexNumber(std::string_view digits, std::size_t maxDigits)
{
    if (digits.empty() || digits.size() > maxDigits)
        return std::nullopt;
    std::uint64_t n = 0;
    for (const char c : digits) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = n << 4 | unsigned(d);
    }
    return n;
}

QString typeName(std::uint32_t type)
{
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    if (type < std::size(kNames))
        return QString::fromLatin1(kNames[type]);
    return QStringLiteral("hex(%1)").arg(type, 0, 16);
}

QString byteCount(std::size_t n) { return n == 1 ? QStringLiteral("1 Byte") : QStringLiteral("%1 Bytes").arg(n); }

std::uint64_t littleEndian(std::string_view bytes)
{
    std::uint64_t n = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        n = n << 8 | static_cast<unsigned char>(bytes[i]);
    return n;
}

// The strings of text data, each ended by a zero character; the last may
// lack it. False for UTF-16 data of an odd length.
bool stringsOf(std::string_view bytes, bool utf16Data, QStringList& strings)
{
    if (utf16Data && bytes.size() % 2 != 0)
        return false;
    QString current;
    const std::size_t step = utf16Data ? 2 : 1;
    for (std::size_t i = 0; i < bytes.size(); i += step) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const char16_t unit =
            utf16Data ? char16_t(low | static_cast<unsigned char>(bytes[i + 1]) << 8) : fromWindows1252(low);
        if (unit == 0) {
            strings.append(current);
            current.clear();
        } else {
            current.append(QChar(unit));
        }
    }
    if (!current.isEmpty())
        strings.append(current);
    return true;
}

}  // namespace

std::optional<std::uint32_t> dwordOf(std::string_view value)
{
    const std::optional<std::string_view> digits = dwordDigitsOf(value);
    const auto n = digits ? hexNumber(*digits, 8) : std::nullopt;
    return n ? std::optional(std::uint32_t(*n)) : std::nullopt;
}

bool parseHexList(std::string_view list, std::string& bytes, std::size_t* faultAt)
{
    bytes.clear();
    const char* p = list.data();
    const char* const end = p + list.size();
    while (p != end) {
        const int byte = readListByte(p, end);
        if (byte < 0) {
            if (faultAt)
                *faultAt = std::size_t(p - list.data());
            return false;
        }
        bytes += static_cast<char>(byte);
    }
    return true;
}

void appendWrappedHexList(std::string& out, std::size_t column, std::string_view bytes)
{
    // "00," to "ff,": each byte written as one piece.
    static constexpr auto kPieces = [] {
        std::array<std::array<char, 3>, 256> pieces{};
        constexpr char kDigits[] = "0123456789abcdef";
        for (int b = 0; b < 256; ++b)
            pieces[b] = {kDigits[b >> 4], kDigits[b & 0xF], ','};
        return pieces;
    }();
    if (bytes.empty())
        return;
    // Three characters a byte, and five at each wrap: one after the first
    // line's first byte at most, then one at least every 25 bytes.
    const std::size_t old = out.size();
    out.resize(old + 3 * bytes.size() + 5 * (bytes.size() / 25 + 2));
    char* p = out.data() + old;
    for (std::size_t i = 0;; ++i) {
        std::memcpy(p, kPieces[static_cast<unsigned char>(bytes[i])].data(), 3);
        p += 3;
        if (i + 1 == bytes.size())
            break;
        column += 3;
        // Room for one more pair, its comma and a "\".
        if (column + 4 > kWrapColumn) {
            for (const char c : {'\\', '\r', '\n', ' ', ' '})
                *p++ = c;
            column = 2;
        }
    }
    // No comma after the last byte.
    out.resize(std::size_t(p - out.data()) - 1);
}

QString describeRegistryValue(std::string_view value, bool utf16Data)
{
    const QString unreadable = QStringLiteral(": Daten nicht lesbar");
    if (const std::optional<std::string_view> digits = dwordDigitsOf(value)) {
        const auto n = hexNumber(*digits, 8);
        if (!n)
            return typeName(kRegDword) + unreadable;
        return QStringLiteral("REG_DWORD: %1 (0x%2)").arg(*n).arg(*n, 8, 16, QLatin1Char('0'));
    }
    const std::optional<HexHead> head = hexHeadOf(value);
    if (!head)
        return {};
    const QString name = typeName(head->type);
    std::string bytes;
    if (!parseHexList(value.substr(head->listStart), bytes))
        return name + unreadable;
    QStringList strings;
    switch (head->type) {
    case kRegSz:
    case kRegExpandSz:
        if (!stringsOf(bytes, utf16Data, strings))
            return name + unreadable;
        return name + QStringLiteral(": ") + strings.value(0);
    case kRegMultiSz: {
        if (!stringsOf(bytes, utf16Data, strings))
            return name + unreadable;
        // An empty string ends the list.
        const qsizetype end = strings.indexOf(QString());
        if (end >= 0)
            strings.resize(end);
        if (strings.isEmpty())
            return name + QStringLiteral(": (leer)");
        return name + QStringLiteral(":\n") + strings.join(QLatin1Char('\n'));
    }
    case kRegDword:
    case kRegQword: {
        const std::size_t size = head->type == kRegDword ? 4 : 8;
        if (bytes.size() != size)
            break;
        const std::uint64_t n = littleEndian(bytes);
        return name + QStringLiteral(": %1 (0x%2)").arg(n).arg(n, int(2 * size), 16, QLatin1Char('0'));
    }
    default:
        break;
    }
    return name + QStringLiteral(": ") + byteCount(bytes.size());
}

std::optional<QString> decodedRegistryValue(std::string_view value, bool utf16Data)
{
    if (const std::optional<std::string_view> digits = dwordDigitsOf(value)) {
        const auto n = hexNumber(*digits, 8);
        return n ? std::optional(QString::number(*n)) : std::nullopt;
    }
    const std::optional<HexHead> head = hexHeadOf(value);
    std::string bytes;
    QStringList strings;
    if (!head || !holdsText(*head) || !parseHexList(value.substr(head->listStart), bytes) ||
        !stringsOf(bytes, utf16Data, strings))
        return std::nullopt;
    if (head->type != kRegMultiSz)
        return strings.value(0);
    // An empty string ends the list.
    const qsizetype end = strings.indexOf(QString());
    if (end >= 0)
        strings.resize(end);
    return strings.join(QLatin1Char('\n'));
}

QString decodedRegistryText(std::string_view value, bool utf16Data,
                            const std::function<QString(std::string_view)>& decode)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return decode(unescapeRegistryString(value.substr(1, value.size() - 2)));
    if (const std::optional<QString> decoded = decodedRegistryValue(value, utf16Data))
        return *decoded;
    const QString description = describeRegistryValue(value, utf16Data);
    return description.isEmpty() ? decode(value) : description;
}

}  // namespace keyloom
