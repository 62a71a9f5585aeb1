#include "cli/scripting.h"

#include "platform/fileio.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <string>

namespace keyloom::cli {

namespace {

// Lines printed while printAsJson runs its command.
std::optional<QStringList> collected;

// Bytes at the end of `bytes` that begin a UTF-8 character whose rest lies
// in the next block.
std::size_t openTail(std::string_view bytes)
{
    const std::size_t most = std::min<std::size_t>(4, bytes.size());
    for (std::size_t back = 1; back <= most; ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

}  // namespace

QByteArray jsonString(const QString& text)
{
    // QJsonDocument holds an array or an object only: the string is the
    // array's one element.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void writeLine(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

bool takeJsonOption(QStringList& args)
{
    for (qsizetype i = 1; i < args.size() && args.at(i).startsWith(QLatin1String("--")); ++i) {
        if (args.at(i) == QLatin1String("--json")) {
            args.removeAt(i);
            return true;
        }
    }
    return false;
}

int printAsJson(bool single, const std::function<int()>& command)
{
    collected.emplace();
    const int status = command();
    const QStringList lines = std::move(*collected);
    collected.reset();
    if (status != 0)
        return status;
    if (single) {
        writeLine(jsonString(lines.value(0)));
        return status;
    }
    writeLine(QJsonDocument(QJsonArray::fromStringList(lines)).toJson(QJsonDocument::Compact));
    return status;
}

bool collectJsonLine(const QString& line)
{
    if (!collected)
        return false;
    collected->append(line);
    return true;
}

std::optional<TextCodec> fileCodecOf(const QString& path)
{
    InputFile file;
    if (!file.open(path))
        return std::nullopt;
    std::string buffer;
    std::size_t carry = 0;
    bool first = true;
    Utf8Scan text = Utf8Scan::Ascii;
    for (;;) {
        buffer.resize(carry + ioBlock());
        const std::int64_t n = file.read(buffer.data() + carry, ioBlock());
        if (n < 0)
            return std::nullopt;
        buffer.resize(carry + std::size_t(n));
        std::string_view bytes(buffer);
        if (first && (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")))
            return TextCodec::Windows1252;
        first = false;
        if (n == 0)
            break;
        carry = openTail(bytes);
        const Utf8Scan block = scanUtf8(bytes.substr(0, bytes.size() - carry));
        if (block == Utf8Scan::Invalid)
            return TextCodec::Windows1252;
        if (block == Utf8Scan::Utf8)
            text = block;
        buffer.erase(0, bytes.size() - carry);
    }
    // A file that ends inside a character is not UTF-8.
    if (carry > 0)
        return TextCodec::Windows1252;
    return text == Utf8Scan::Utf8 ? TextCodec::Utf8 : TextCodec::Windows1252;
}

}  // namespace keyloom::cli
