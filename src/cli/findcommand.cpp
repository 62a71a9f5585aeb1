// keyloom find: every match of a text in a file, printed while the file is
// read, over the same search as the window's find.

#include "cli/scripting.h"

#include "document/find.h"
#include "platform/fileio.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>

namespace keyloom::cli {

namespace {

enum Exit { kDone = 0, kMissing = 1, kUsage = 2, kReadFailed = 3 };

void say(const QString& message) { std::fputs(("keyloom: " + message + "\n").toUtf8().constData(), stderr); }

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct FindArgs {
    FindQuery query{{}, false, false, false, false};
    bool json = false;
    QString file;
};

// The options in any order before FILE and TEXT ("--" ends them); nothing
// for a wrong call. Without --sections, --keys or --values all three count.
std::optional<FindArgs> parseFindArgs(const QStringList& args)
{
    FindArgs parsed;
    QStringList positional;
    bool options = true;
    for (const QString& arg : args) {
        if (options && arg == QLatin1String("--")) {
            options = false;
        } else if (options && arg.startsWith(QLatin1String("--"))) {
            bool* flags[] = {&parsed.query.sections, &parsed.query.keys, &parsed.query.values,
                             &parsed.query.caseSensitive, &parsed.json};
            const char* names[] = {"--sections", "--keys", "--values", "--case", "--json"};
            const auto known = std::find_if(std::begin(names), std::end(names),
                                            [&](const char* name) { return arg == QLatin1String(name); });
            if (known == std::end(names))
                return std::nullopt;
            *flags[known - std::begin(names)] = true;
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 2 || positional.at(1).isEmpty())
        return std::nullopt;
    FindQuery& q = parsed.query;
    if (!q.sections && !q.keys && !q.values)
        q.sections = q.keys = q.values = true;
    parsed.file = positional.at(0);
    q.text = positional.at(1);
    return parsed;
}

// Prints each match as it comes, and hands the lines on at least every
// tenth of a second, so that a reader of the pipe sees them while the rest
// of a large file is searched.
class MatchPrinter {
public:
    MatchPrinter(const QString& path, std::optional<TextCodec> codec, bool json)
        : path_(path), codec_(codec), json_(json)
    {}

    bool print(const FindMatch& match)
    {
        if (json_) {
            QJsonObject object{{QStringLiteral("section"), decode(match.sectionName)}};
            if (match.hit != FindHit::Section)
                object.insert(QStringLiteral("key"), decode(match.key));
            const char* in = match.hit == FindHit::Section ? "section" : match.hit == FindHit::Key ? "key" : "value";
            object.insert(QStringLiteral("match"), QLatin1String(in));
            writeLine(QJsonDocument(object).toJson(QJsonDocument::Compact));
        } else if (isAscii(match.sectionName) && isAscii(match.key)) {
            // The same bytes in UTF-8, without making text of them.
            QByteArray line;
            line.reserve(qsizetype(match.sectionName.size() + match.key.size() + 3));
            line.append('[').append(match.sectionName).append(']');
            if (match.hit != FindHit::Section)
                line.append(' ').append(match.key);
            writeLine(line);
        } else {
            QString line = QLatin1Char('[') + decode(match.sectionName) + QLatin1Char(']');
            if (match.hit != FindHit::Section)
                line += QLatin1Char(' ') + decode(match.key);
            writeLine(line.toUtf8());
        }
        const auto now = std::chrono::steady_clock::now();
        if (!flushed_ || now - *flushed_ > std::chrono::milliseconds(100)) {
            std::fflush(stdout);
            flushed_ = now;
        }
        return !std::ferror(stdout);
    }

private:
    // Names of ASCII alone need no code page; for the others it is worked
    // out once, when the first of them comes.
    QString decode(std::string_view bytes)
    {
        if (isAscii(bytes))
            return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
        if (!codec_)
            codec_ = fileCodecOf(path_).value_or(TextCodec::Windows1252);
        return decodeText(bytes, *codec_);
    }

    QString path_;
    std::optional<TextCodec> codec_;
    bool json_;
    std::optional<std::chrono::steady_clock::time_point> flushed_;
};

}  // namespace

int find(QStringList args)
{
    const std::optional<FindArgs> parsed = parseFindArgs(args);
    if (!parsed) {
        say(QStringLiteral("falscher Aufruf; 'keyloom --help' zeigt die Befehle."));
        return kUsage;
    }
    const QString& path = parsed->file;
    if (!isRegularFile(path)) {
        say(QStringLiteral("Datei '%1' nicht gefunden.").arg(path));
        return kMissing;
    }
    // A text of ASCII alone is found alike in either code page; any other
    // text needs the file's before the search.
    const QString& text = parsed->query.text;
    const bool asciiText = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    std::optional<TextCodec> codec;
    if (!asciiText && !(codec = fileCodecOf(path))) {
        say(QStringLiteral("Die Datei '%1' konnte nicht gelesen werden.").arg(path));
        return kReadFailed;
    }
    MatchPrinter printer(path, codec, parsed->json);
    const FindRequest request{path, fileKindOf(path), codec.value_or(TextCodec::Windows1252), parsed->query, {}};
    const FindAllResult result = findAll(request, [&](const FindMatch& match) { return printer.print(match); });
    std::fflush(stdout);
    if (result.failed || result.cancelled) {
        say(result.failed ? QStringLiteral("Die Datei '%1' konnte nicht gelesen werden.").arg(path)
                          : QStringLiteral("Die Ausgabe konnte nicht geschrieben werden."));
        return kReadFailed;
    }
    if (result.matches == 0) {
        say(QStringLiteral("'%1' wurde nicht gefunden.").arg(text));
        return kMissing;
    }
    return kDone;
}

}  // namespace keyloom::cli
