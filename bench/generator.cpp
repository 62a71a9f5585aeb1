#include "bench/generator.h"

#include "platform/fileio.h"
#include "platform/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

namespace keyloom::bench {

namespace {

constexpr std::size_t kFlushAt = 1 << 20;

// splitmix64: tiny, and the same sequence on every platform and library,
// which the standard distributions do not promise.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [0, n).
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items)
    {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

constexpr std::array<std::string_view, 16> kVendors = {
    "Microsoft", "Adobe",       "Google",   "Mozilla",  "Intel",   "NVIDIA Corporation", "Realtek", "Oracle", "Python",
    "7-Zip",     "Wow6432Node", "Policies", "VideoLAN", "Quorrel", "Logitech",           "Classes"};

constexpr std::array<std::string_view, 40> kKeyNames = {
    "Windows",   "CurrentVersion", "Explorer",     "Shell Extensions",
    "Approved",  "Uninstall",      "Run",          "Installer",
    "Products",  "Features",       "Components",   "Settings",
    "Options",   "Preferences",    "Drivers",      "Parameters",
    "Services",  "Enum",           "Control",      "Class",
    "Interface", "TypeLib",        "Capabilities", "DefaultIcon",
    "shell",     "open",           "command",      "InprocServer32",
    "ProgID",    "Version",        "Security",     "Recent",
    "History",   "Cache",          "Profiles",     "Devices",
    "Audio",     "Display",        "Network",      "Fonts"};

constexpr std::array<std::string_view, 24> kValueNames = {
    "DisplayName", "DisplayVersion", "Publisher",   "InstallLocation", "UninstallString",
    "Path",        "Version",        "Language",    "Enabled",         "Flags",
    "Timestamp",   "LastUsed",       "MRUList",     "WindowPlacement", "Icon",
    "Description", "ThreadingModel", "AppID",       "Order",           "Mode",
    "Size",        "Count",          "InstallDate", "HelpLink"};

// Some Windows-1252 text, so that bytes above 0x7F occur.
constexpr std::array<std::string_view, 12> kWords = {"Settings",
                                                     "M\xFCller GmbH",
                                                     "Caf\xE9",
                                                     "Gr\xF6\xDF"
                                                     "e",
                                                     "Fran\xE7"
                                                     "ais",
                                                     "Preis in \x80",
                                                     "Display",
                                                     "Network",
                                                     "Update",
                                                     "Service",
                                                     "Printer",
                                                     "Default"};

std::string hexByte(unsigned value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02x", value & 0xFF);
    return text;
}

std::string guid(Random& random)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", unsigned(random.next() & 0xFFFFFFFF),
                  unsigned(random.next() & 0xFFFF), unsigned(random.next() & 0xFFFF), unsigned(random.next() & 0xFFFF),
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFFFFFull));
    return text;
}

// Characters beyond Windows-1252: Greek, Cyrillic, Polish, Japanese and a
// character outside the Basic Multilingual Plane (a surrogate pair).
constexpr std::array<std::u16string_view, 6> kWideWords = {u"\u0395\u03BB\u03BB\u03AC\u03B4\u03B1",
                                                           u"\u041F\u0440\u0438\u043D\u0442\u0435\u0440",
                                                           u"\u0141\u00F3d\u017A",
                                                           u"\u65E5\u672C\u8A9E",
                                                           u"Dru\u010Dba",
                                                           u"\U0001F5A8 Drucker"};

// Buffered output of one file; the UTF-16 form re-encodes each line.
class Output {
public:
    bool open(const QString& path, bool utf16, bool lf = false)
    {
        utf16_ = utf16;
        lf_ = lf;
        ok_ = file_.open(path);
        if (utf16_)
            buffer_ = "\xFF\xFE";
        return ok_;
    }
    void line(std::string_view text)
    {
        if (utf16_) {
            for (const char c : text) {
                const char16_t unit = fromWindows1252(static_cast<unsigned char>(c));
                buffer_.push_back(static_cast<char>(unit & 0xFF));
                buffer_.push_back(static_cast<char>(unit >> 8));
            }
            buffer_.append("\r\0\n\0", 4);
        } else {
            buffer_.append(text);
            buffer_.append(lf_ ? "\n" : "\r\n");
        }
        written_ += text.size() + (lf_ ? 1 : 2);
        if (buffer_.size() >= kFlushAt)
            flush();
    }
    // A line of UTF-16 text as it stands (UTF-16 files only).
    void line(std::u16string_view text)
    {
        for (const char16_t unit : text) {
            buffer_.push_back(static_cast<char>(unit & 0xFF));
            buffer_.push_back(static_cast<char>(unit >> 8));
        }
        buffer_.append("\r\0\n\0", 4);
        written_ += 2 * text.size() + 4;
        if (buffer_.size() >= kFlushAt)
            flush();
    }
    bool close()
    {
        flush();
        return file_.close() && ok_;
    }
    // Bytes of 8-bit text so far (half the UTF-16 size), plus the bytes of
    // the lines written as UTF-16 text.
    std::uint64_t written() const { return written_; }

private:
    void flush()
    {
        ok_ = ok_ && file_.write(buffer_);
        buffer_.clear();
    }
    OutputFile file_;
    std::string buffer_;
    std::uint64_t written_ = 0;
    bool utf16_ = false;
    bool lf_ = false;
    bool ok_ = false;
};

// Appends a hex value as an export writes it: bytes separated by commas,
// lines ended with "\" after about 76 columns and continued two blanks in.
void hexLines(const std::string& head, const std::vector<unsigned>& bytes, std::vector<std::string>& lines)
{
    std::string line = head;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        line += hexByte(bytes[i]);
        if (i + 1 == bytes.size())
            break;
        line += ',';
        if (line.size() >= 76) {
            line += '\\';
            lines.push_back(std::move(line));
            line = "  ";
        }
    }
    lines.push_back(std::move(line));
}

// The UTF-16LE bytes of text data as an export holds them, with the
// terminating zero (two for a multi-string list).
std::vector<unsigned> utf16Bytes(std::u16string_view text, bool multi)
{
    std::vector<unsigned> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(unit & 0xFF);
        bytes.push_back(unit >> 8);
    }
    bytes.insert(bytes.end(), multi ? 4 : 2, 0);
    return bytes;
}

std::vector<unsigned> utf16Bytes(std::string_view text, bool multi)
{
    std::u16string units;
    for (const char c : text)
        units += fromWindows1252(static_cast<unsigned char>(c));
    return utf16Bytes(units, multi);
}

std::u16string widen(std::string_view text)
{
    std::u16string units;
    for (const char c : text)
        units += fromWindows1252(static_cast<unsigned char>(c));
    return units;
}

// The value lines of one registry key; `lastName` receives the name of the
// last named value written.
std::vector<std::string> registryValues(Random& random, bool forceNamed, std::string& lastName)
{
    std::vector<std::string> lines;
    if (random.chance(30))
        lines.push_back("@=\"" + std::string(random.pick(kWords)) + "\"");
    std::size_t count = random.below(9);
    if (forceNamed && count == 0)
        count = 1;
    std::vector<std::string> used;
    for (std::size_t v = 0; v < count; ++v) {
        std::string name(random.pick(kValueNames));
        for (const std::string& u : used) {
            if (u == name)
                name += std::to_string(v);
        }
        used.push_back(name);
        const std::string head = '"' + name + "\"=";
        const std::size_t kind = random.below(100);
        if (kind < 45) {
            std::string text;
            if (random.chance(40))
                text = "C:\\\\Program Files\\\\" + std::string(random.pick(kVendors)) + "\\\\app" +
                       std::to_string(random.below(100)) + ".exe";
            else
                text = std::string(random.pick(kWords)) + " " + std::to_string(random.below(100000));
            lines.push_back(head + '"' + text + '"');
        } else if (kind < 70) {
            lines.push_back(head + "dword:" + hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())) +
                            hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())));
        } else if (kind < 88) {
            std::vector<unsigned> bytes(4 + random.below(160));
            for (unsigned& b : bytes)
                b = unsigned(random.next() & 0xFF);
            hexLines(head + "hex:", bytes, lines);
        } else if (kind < 96) {
            const std::string text = "%SystemRoot%\\system32\\" + std::string(random.pick(kKeyNames)) + ".dll";
            hexLines(head + "hex(2):", utf16Bytes(text, false), lines);
        } else {
            std::string text(random.pick(kWords));
            text += '\0';
            text += random.pick(kVendors);
            hexLines(head + "hex(7):", utf16Bytes(text, true), lines);
        }
        lastName = name;
    }
    return lines;
}

bool generateRegistry(const GeneratedFiles& files, std::uint64_t bytes, Random& random, GeneratedFiles& out)
{
    Output reg;
    Output wide;
    if (!reg.open(files.regedit4, false) || !wide.open(files.utf16, true))
        return false;
    reg.line("REGEDIT4");
    wide.line("Windows Registry Editor Version 5.00");
    auto both = [&](std::string_view line) {
        reg.line(line);
        wide.line(line);
    };
    both("");
    static constexpr std::array<std::string_view, 3> kHives = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                               "HKEY_CLASSES_ROOT"};
    std::vector<std::string> path = {"HKEY_LOCAL_MACHINE", "SOFTWARE"};
    for (bool last = false; !last;) {
        last = reg.written() >= bytes;
        // Walk the key tree as an export does: up a few levels, then down.
        if (random.chance(1))
            path = {std::string(random.pick(kHives)), "SOFTWARE"};
        const std::size_t up = std::min(random.below(4), path.size() - 2);
        path.resize(path.size() - up);
        const std::size_t down = 1 + random.below(path.size() > 8 ? 1 : 3);
        for (std::size_t d = 0; d < down; ++d) {
            if (path.size() == 2)
                path.emplace_back(random.pick(kVendors));
            else if (random.chance(15))
                path.push_back(guid(random));
            else
                path.push_back(std::string(random.pick(kKeyNames)) +
                               (random.chance(50) ? std::to_string(random.below(1000)) : ""));
        }
        // The last key gets a name no other key has.
        if (last)
            path.push_back(guid(random));
        std::string header = "[";
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (i > 0)
                header += '\\';
            header += path[i];
        }
        header += ']';
        both(header);
        std::string lastName;
        for (const std::string& line : registryValues(random, last, lastName))
            both(line);
        both("");
        if (last) {
            out.lastRegSection = header.substr(1, header.size() - 2);
            out.lastRegValue = lastName;
        }
    }
    const bool closedReg = reg.close();
    return wide.close() && closedReg;
}

// A UTF-16 export of about `bytes` bytes whose key paths, value names,
// strings and text data (hex(2), hex(7)) hold characters beyond Windows-1252
// in about one case of ten: the load's worst case, every such character
// counted and its hex lists decoded.
bool generateWideExport(const QString& path, std::uint64_t bytes, Random& random)
{
    Output out;
    if (!out.open(path, true))
        return false;
    out.line(std::u16string_view(u"Windows Registry Editor Version 5.00"));
    out.line(std::u16string_view());
    auto word = [&](unsigned widePercent) {
        return random.chance(widePercent) ? std::u16string(random.pick(kWideWords)) : widen(random.pick(kWords));
    };
    while (out.written() < bytes) {
        out.line(u"[HKEY_CURRENT_USER\\Software\\" + widen(random.pick(kVendors)) + u"\\" +
                 widen(random.pick(kKeyNames)) + u" " + word(5) + u"]");
        for (std::size_t v = random.below(9); v > 0; --v) {
            const std::u16string head = u"\"" + widen(random.pick(kValueNames)) + u" " + word(5) + u"\"=";
            const std::size_t kind = random.below(100);
            std::vector<std::string> lines;
            if (kind < 40) {
                out.line(head + u"\"" + word(10) + u" " + widen(std::to_string(random.below(100000))) + u"\"");
            } else if (kind < 60) {
                out.line(head + widen("dword:" + hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())) +
                                      hexByte(unsigned(random.next())) + hexByte(unsigned(random.next()))));
            } else if (kind < 75) {
                std::vector<unsigned> data(4 + random.below(160));
                for (unsigned& b : data)
                    b = unsigned(random.next() & 0xFF);
                hexLines("hex:", data, lines);
            } else if (kind < 90) {
                hexLines("hex(2):", utf16Bytes(u"%ProgramFiles%\\" + word(10) + u"\\app.exe", false), lines);
            } else {
                hexLines("hex(7):", utf16Bytes(word(10) + u'\0' + word(10), true), lines);
            }
            // The head goes before the first line of a hex value.
            for (std::size_t i = 0; i < lines.size(); ++i)
                out.line(i == 0 ? head + widen(lines[i]) : widen(lines[i]));
        }
        out.line(std::u16string_view());
    }
    return out.close();
}

bool generateIni(const QString& path, std::uint64_t bytes, Random& random, GeneratedFiles& out)
{
    Output ini;
    if (!ini.open(path, false))
        return false;
    ini.line("; Settings of a large application, written by its installer");
    ini.line("");
    for (std::size_t section = 0;; ++section) {
        const bool last = ini.written() >= bytes;
        const std::string name = std::string(random.pick(kKeyNames)) + " " + std::to_string(section);
        // Some headers follow their predecessor directly: work for the space insertion.
        if (section > 0 && random.chance(80))
            ini.line("");
        ini.line("[" + name + "]");
        if (random.chance(30))
            ini.line("; " + std::string(random.pick(kWords)) + " for " + name);
        const std::size_t keys = 1 + random.below(15);
        std::string key;
        for (std::size_t k = 0; k < keys; ++k) {
            key = std::string(random.pick(kValueNames)) + std::to_string(k);
            std::string value;
            switch (random.below(4)) {
            case 0:
                value = std::to_string(random.below(100000));
                break;
            case 1:
                value = "C:\\Program Files\\" + std::string(random.pick(kVendors)) + "\\" +
                        std::string(random.pick(kKeyNames)) + ".dat";
                break;
            case 2:
                value = "\"" + std::string(random.pick(kWords)) + "\"";
                break;
            default:
                value = random.chance(50) ? "yes" : "no";
            }
            ini.line(key + (random.chance(50) ? " = " : "=") + value);
        }
        if (last) {
            out.lastIniSection = name;
            out.lastIniKey = key;
            break;
        }
    }
    return ini.close();
}

// Text in Wine's escaped form: "\\" for a backslash, "\xNNNN" for a
// unit beyond ASCII (four digits, so no hex digit after it can join it).
std::string wineEscaped(std::u16string_view text)
{
    std::string out;
    for (const char16_t unit : text) {
        if (unit > 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%04x", unsigned(unit));
            out += hex;
        } else if (unit == '\\' || unit == '"') {
            out += '\\';
            out += char(unit);
        } else {
            out += char(unit);
        }
    }
    return out;
}

// Wine's user.reg form: key paths with doubled backslashes and a time
// stamp, "#time=" meta lines, strings with escapes beyond ASCII, str(2),
// str(7), dword and wrapped hex values, LF line ends. `last*` receive the
// last key's path and value name, decoded (UTF-8).
bool generateWine(const QString& path, std::uint64_t bytes, Random& random, GeneratedFiles& out)
{
    Output wine;
    if (!wine.open(path, false, true))
        return false;
    wine.line("WINE REGISTRY Version 2");
    wine.line(";; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000");
    wine.line("");
    wine.line("#arch=win64");
    auto word = [&] {
        return random.chance(10) ? std::u16string(random.pick(kWideWords)) : widen(random.pick(kWords));
    };
    for (std::size_t key = 0;; ++key) {
        const bool last = wine.written() >= bytes;
        std::u16string keyPath = u"Software\\" + widen(random.pick(kVendors)) + u"\\" + widen(random.pick(kKeyNames)) +
                                 u"\\" + word() + u" " + widen(std::to_string(key));
        wine.line("");
        wine.line("[" + wineEscaped(keyPath) + "] " + std::to_string(1796704138 + random.below(100000)));
        wine.line("#time=1dd86cca" + hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())));
        std::u16string name;
        for (std::size_t v = 1 + random.below(8); v > 0; --v) {
            name = widen(random.pick(kValueNames)) + widen(std::to_string(v));
            const std::string head = '"' + wineEscaped(name) + "\"=";
            // The last key's last value is a string, which the apply benchmark writes.
            const std::size_t kind = last && v == 1 ? 0 : random.below(100);
            std::vector<std::string> lines;
            if (kind < 45) {
                lines.push_back(head + '"' + wineEscaped(u"C:\\Program Files\\" + word()) + '"');
            } else if (kind < 70) {
                lines.push_back(head + "dword:" + hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())) +
                                hexByte(unsigned(random.next())) + hexByte(unsigned(random.next())));
            } else if (kind < 85) {
                std::vector<unsigned> data(4 + random.below(160));
                for (unsigned& b : data)
                    b = unsigned(random.next() & 0xFF);
                hexLines(head + "hex:", data, lines);
            } else if (kind < 95) {
                lines.push_back(head + "str(2):\"" + wineEscaped(u"%SystemRoot%\\" + word()) + '"');
            } else {
                lines.push_back(head + "str(7):\"" + wineEscaped(word()) + "\\0" + wineEscaped(word()) + "\\0\"");
            }
            for (const std::string& line : lines)
                wine.line(line);
        }
        if (last) {
            out.lastWineSection = QString::fromStdU16String(keyPath).toStdString();
            out.lastWineValue = QString::fromStdU16String(name).toStdString();
            break;
        }
    }
    return wine.close();
}

GeneratedFiles pathsIn(const QString& folder)
{
    GeneratedFiles files;
    const QDir dir(QFileInfo(folder).absoluteFilePath());
    files.regedit4 = dir.filePath(QStringLiteral("export.reg"));
    files.utf16 = dir.filePath(QStringLiteral("export-utf16.reg"));
    files.utf16Wide = dir.filePath(QStringLiteral("export-utf16-wide.reg"));
    files.ini = dir.filePath(QStringLiteral("profile.ini"));
    files.wine = dir.filePath(QStringLiteral("user.reg"));
    return files;
}

}  // namespace

GeneratedFiles generateFiles(const QString& folder, std::uint64_t bytes, std::uint64_t seed)
{
    GeneratedFiles files = pathsIn(folder);
    Random random(seed);
    if (!generateRegistry(files, bytes, random, files) || !generateIni(files.ini, bytes, random, files) ||
        !generateWideExport(files.utf16Wide, 2 * bytes, random) || !generateWine(files.wine, bytes, random, files))
        return files;
    QFile manifest(QDir(folder).filePath(QStringLiteral("manifest.txt")));
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return files;
    for (const std::string* name : {&files.lastRegSection, &files.lastRegValue, &files.lastIniSection,
                                    &files.lastIniKey, &files.lastWineSection, &files.lastWineValue})
        manifest.write((*name + "\n").c_str());
    files.ok = manifest.flush();
    return files;
}

GeneratedFiles readManifest(const QString& folder)
{
    GeneratedFiles files = pathsIn(folder);
    QFile manifest(QDir(folder).filePath(QStringLiteral("manifest.txt")));
    if (!manifest.open(QIODevice::ReadOnly))
        return files;
    for (std::string* name : {&files.lastRegSection, &files.lastRegValue, &files.lastIniSection, &files.lastIniKey,
                              &files.lastWineSection, &files.lastWineValue}) {
        const QByteArray line = manifest.readLine();
        if (!line.endsWith('\n'))
            return files;
        *name = line.chopped(1).toStdString();
    }
    files.ok = true;
    return files;
}

}  // namespace keyloom::bench
