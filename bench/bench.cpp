// Times the editor's file operations on large generated files against the
// baselines of baseline.h, measured in the same run on the same files, and
// prints one Markdown table per file size.
//
//   keyloom_bench [--size-mb N]... [--runs N] [--seed N] [--data DIR] [--only OPERATION]...
//   keyloom_bench --data DIR --one OPERATION     (one run, for /usr/bin/time)

#include "bench/baseline.h"
#include "bench/generator.h"

#include "document/compare.h"
#include "document/document.h"
#include "document/find.h"
#include "edit/apply.h"
#include "filecommands/spacing.h"
#include "platform/lines.h"
#include "platform/profile.h"
#include "ui/bytelistmodel.h"
#include "ui/form1.h"
#include "ui/navigation.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace keyloom::bench {
namespace {

// Other: the operation's own `base`, such as one change for ten changes.
enum class Baseline { Scan, Rewrite, Other, None };

// One row of the table. `run` returns false when the operation did not do
// what it should, which ends the benchmark with an error.
struct Operation {
    std::string id;
    std::string label;
    QString file;
    Baseline baseline;
    double target;  // ratio to the baseline; seconds when there is none; 0: no target
    std::function<bool()> run;
    std::function<void()> prepare = {};  // runs untimed before each run
    std::function<bool()> check = {};    // runs untimed after each run
    QString second = {};                 // a second file the operation reads; the baseline scans both
    std::function<bool()> base = {};     // the baseline Other
    std::string baseLabel = {};          // its name in the table
};

struct Row {
    const Operation* op;
    double median;
    double baseMedian;
};

double seconds(const std::function<bool()>& f, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    ok = f() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::function<bool()> baselineOf(Baseline kind, const QString& file)
{
    const std::string path = local(file);
    if (kind == Baseline::Scan)
        return [path] { return scanLines(path.c_str()).ok; };
    if (kind == Baseline::Rewrite)
        return [path] { return rewriteLines(path.c_str(), (path + ".baseline~").c_str()); };
    return {};
}

// Entries like a whole machine's export has: long key paths, all different.
NameList manySections(std::size_t count)
{
    NameList entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\Component" + std::to_string(i) +
                          "\\InprocServer32");
    return entries;
}

// The window the whole-click and list benchmarks work in: shown offscreen,
// its folder and file lists on the data folder.
struct Window {
    AppModul app;
    std::unique_ptr<Form1> form;
    ByteListModel* sections = nullptr;

    explicit Window(const QString& folder)
    {
        app.AppTitle = QStringLiteral("Quorrel Keyloom");
        form = std::make_unique<Form1>(app);
        form->show();
        form->Dir1->setPath(folder);
        sections = qobject_cast<ByteListModel*>(form->List1->model());
    }

    // Selects `row` of File1 as a click does; its handlers run the load, the
    // key listing of the first section and the lookup of its first value,
    // and the events that follow paint the result.
    bool click(int row)
    {
        form->File1->setCurrentRow(row);
        QApplication::processEvents();
        return true;
    }
    // Leaves no file selected, so that the next click selects anew.
    void unselect() { form->File1->setCurrentRow(-1); }
    int rowOf(const QString& file) const
    {
        const auto items = form->File1->findItems(QFileInfo(file).fileName(), Qt::MatchExactly);
        return items.isEmpty() ? -1 : form->File1->row(items.first());
    }
    bool shows(const QString& file) const { return app.CurrentFile == file && sections->rowCount() > 0; }
};

// Beside the export: a copy of it with a few values changed and a section
// added, as a second export after an installation would be, made again
// whenever the export changed (the apply rows write into it); and the
// REGEDIT4 conversion of the UTF-16 export, made once. False when that failed.
bool makeComparedFiles(const GeneratedFiles& files, const QString& changed, const QString& converted)
{
    if (!QFileInfo::exists(changed) || QFileInfo(changed).lastModified() < QFileInfo(files.regedit4).lastModified()) {
        QFile in(files.regedit4);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        QByteArray bytes = in.readAll();
        for (int i = 1; i <= 20; ++i) {
            const qsizetype at = bytes.indexOf("\"=\"", bytes.size() / 21 * i);
            if (at < 0)
                return false;
            bytes[at + 3] = bytes[at + 3] == 'Q' ? 'R' : 'Q';
        }
        const qsizetype middle = bytes.indexOf("\r\n[", bytes.size() / 2);
        bytes.insert(middle + 2, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keyloom\\Bench]\r\n\"Neu\"=\"1\"\r\n\r\n");
        QFile out(changed);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
            return false;
    }
    if (!QFileInfo::exists(converted)) {
        const LoadResult loaded = loadFile(files.utf16);
        QFile out(converted);
        if (!loaded.markerFound || !out.open(QIODevice::WriteOnly) ||
            out.write(loaded.regedit4.data(), qint64(loaded.regedit4.size())) != qint64(loaded.regedit4.size()))
            return false;
    }
    return true;
}

void addCompareOperations(std::vector<Operation>& ops, const GeneratedFiles& files)
{
    const QString folder = QFileInfo(files.regedit4).absolutePath();
    const QString changed = folder + QStringLiteral("/export-changed.reg");
    const QString converted = folder + QStringLiteral("/export-converted.reg");
    // Made again before each run, untimed.
    const auto made = std::make_shared<bool>(false);
    const auto make = [files, changed, converted, made] { *made = makeComparedFiles(files, changed, converted); };
    // Made now too, for the baselines that scan them before the first run.
    make();
    const QString reg = files.regedit4;
    Operation changes{"diff-reg",
                      "diff, two exports, 20 values and a section changed",
                      reg,
                      Baseline::Scan,
                      4.0,
                      [reg, changed, made] {
                          const Comparison c = compareFiles(reg, changed);
                          return *made && c.status == CompareStatus::Different && c.differences.size() == 21;
                      },
                      make};
    changes.second = changed;
    ops.push_back(std::move(changes));
    const QString wide = files.utf16;
    Operation encodings{"diff-utf16",
                        "diff, UTF-16 export and its REGEDIT4 conversion",
                        wide,
                        Baseline::Scan,
                        4.0,
                        [wide, converted, made] {
                            return *made && compareFiles(wide, converted).status == CompareStatus::Equal; },
                        make};
    encodings.second = converted;
    ops.push_back(std::move(encodings));
}

// `count` values spread over the export `file`, for keyloom set: at each
// (count + 1)th of it, the first section after it with a quoted string
// value, its name and that value's name, as SECTION KEY arguments.
QStringList spreadTargets(const QString& file, int count)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const auto text = [](const QByteArray& bytes) { return decodeText(bytes.toStdString(), TextCodec::Windows1252); };
    QStringList targets;
    for (int i = 1; i <= count; ++i) {
        in.seek(in.size() / (count + 1) * i);
        const QList<QByteArray> lines = in.read(1 << 16).split('\n');
        QByteArray section;
        // The first line is cut, and so may be the last.
        for (qsizetype l = 1; l + 1 < lines.size() && targets.size() < 2 * i; ++l) {
            const QByteArray line = lines.at(l).chopped(lines.at(l).endsWith('\r') ? 1 : 0);
            const qsizetype equals = line.indexOf("\"=\"");
            if (line.startsWith('[') && line.endsWith(']'))
                section = line.mid(1, line.size() - 2);
            else if (!section.isEmpty() && line.startsWith('"') && equals > 0 && !line.left(equals).contains('\\'))
                targets << text(section) << text(line.mid(1, equals - 1));
        }
    }
    return targets.size() == 2 * count ? targets : QStringList();
}

std::vector<Operation> operations(const GeneratedFiles& files, Window* window)
{
    const QString reg = files.regedit4;
    const QString wide = files.utf16;
    const QString ini = files.ini;
    // The writes alternate between two values, so that each run changes the
    // file; which one comes next is read from the file, untimed.
    auto nextValue = std::make_shared<std::string>();
    std::vector<Operation> ops;
    // The loads keep their result for the check, which frees it untimed.
    auto loaded = std::make_shared<LoadResult>();
    ops.push_back({"load-reg",
                   "load (sections)",
                   reg,
                   Baseline::Scan,
                   1.15,
                   [reg, loaded] {
                       *loaded = loadFile(reg);
                       return true;
                   },
                   {},
                   [loaded, reg] {
                       const bool ok = loaded->opened && !loaded->markerFound &&
                                       loaded->sections.size() == scanLines(local(reg).c_str()).headers;
                       *loaded = {};
                       return ok;
                   }});
    ops.push_back({"load-utf16",
                   "load (sections + REGEDIT4 text)",
                   wide,
                   Baseline::Scan,
                   2.0,
                   [wide, loaded] {
                       *loaded = loadFile(wide);
                       return true;
                   },
                   {},
                   [loaded, reg] {
                       const bool ok = loaded->markerFound &&
                                       loaded->sections.size() == scanLines(local(reg).c_str()).headers &&
                                       loaded->regedit4.rfind("REGEDIT4\r\n\r\n[", 0) == 0;
                       *loaded = {};
                       return ok;
                   }});
    const QString beyond = files.utf16Wide;
    ops.push_back({"load-utf16-wide",
                   "load, UTF-16 beyond Windows-1252",
                   beyond,
                   Baseline::Scan,
                   2.0,
                   [beyond, loaded] {
                       *loaded = loadFile(beyond);
                       return true;
                   },
                   {},
                   [loaded] {
                       const bool ok = loaded->markerFound && !loaded->sections.empty() && loaded->unconvertible > 0;
                       *loaded = {};
                       return ok;
                   }});
    ops.push_back({"list-keys", "key listing, last section", reg, Baseline::Scan, 1.3, [reg, files] {
                       const KeyListing r = listKeys(reg, files.lastRegSection, FileKind::Registry);
                       return !r.failed && !r.keys.empty() && r.keys.back() == files.lastRegValue;
                   }});
    ops.push_back({"lookup", "registry lookup, last value", reg, Baseline::Scan, 1.3, [reg, files] {
                       const RegistryLookup r = lookupRegistryValue(reg, files.lastRegSection, files.lastRegValue, "");
                       return !r.failed && r.found;
                   }});
    // Wine's own form: the same work, with every key path decoded.
    const QString wine = files.wine;
    ops.push_back({"load-wine",
                   "load, Wine's user.reg",
                   wine,
                   Baseline::Scan,
                   1.15,
                   [wine, loaded] {
                       *loaded = loadFile(wine);
                       return true;
                   },
                   {},
                   [loaded, wine, files] {
                       const bool ok = loaded->opened && !loaded->sections.empty() &&
                                       loaded->sections.size() == scanLines(local(wine).c_str()).headers &&
                                       loaded->sections[loaded->sections.size() - 1] == files.lastWineSection;
                       *loaded = {};
                       return ok;
                   }});
    ops.push_back({"list-keys-wine", "key listing, Wine, last section", wine, Baseline::Scan, 1.3, [wine, files] {
                       const KeyListing r = listKeys(wine, files.lastWineSection, FileKind::WineRegistry);
                       return !r.failed && !r.keys.empty() && r.keys.back() == files.lastWineValue;
                   }});
    ops.push_back({"lookup-wine", "Wine lookup, last value", wine, Baseline::Scan, 1.3, [wine, files] {
                       const RegistryLookup r = lookupWineValue(wine, files.lastWineSection, files.lastWineValue);
                       return !r.failed && r.found;
                   }});
    // The Wine apply reads the file once more before its backup: a value it
    // cannot write (multi string, hex) is refused before anything is copied.
    ops.push_back({"apply-wine", "Wine apply, last value", wine, Baseline::Rewrite, 1.5,
                   [wine, files, nextValue] {
                       const EditRequest request{wine,
                                                 identityOf(wine),
                                                 FileKind::WineRegistry,
                                                 TextCodec::Utf8,
                                                 files.lastWineSection,
                                                 files.lastWineSection,
                                                 files.lastWineValue,
                                                 QString::fromStdString(*nextValue),
                                                 kQuotesKept};
                       return applyEdit(request, nullptr, {}).status == EditStatus::Done;
                   },
                   [wine, files, nextValue] {
                       const RegistryLookup now = lookupWineValue(wine, files.lastWineSection, files.lastWineValue);
                       *nextValue = now.text == "bench A" ? "bench B" : "bench A";
                   }});
    ops.push_back({"profile-read", "profile read, last key", ini, Baseline::Scan, 1.3, [ini, files] {
                       char buffer[2048];
                       const std::int64_t n = GetPrivateProfileStringA(files.lastIniSection, files.lastIniKey, "<none>",
                                                                       buffer, sizeof buffer, ini);
                       return n > 0 && std::string_view(buffer) != "<none>";
                   }});
    ops.push_back({"apply", "registry apply, last value", reg, Baseline::Rewrite, 1.3,
                   [reg, files, nextValue] {
                       const EditResult r = applyRegistryValue(
                           reg, nullptr, {}, ApplyValues{files.lastRegSection, files.lastRegValue, *nextValue});
                       return r.status == EditStatus::Done;
                   },
                   [reg, files, nextValue] {
                       const RegistryLookup now =
                           lookupRegistryValue(reg, files.lastRegSection, files.lastRegValue, "");
                       *nextValue = now.text == "bench A" ? "\"bench B\"" : "\"bench A\"";
                   }});
    // A UTF-16 export written as its REGEDIT4 text (the window's apply while
    // the text waits), and the same export written in place, the way one
    // that REGEDIT4 cannot hold is written. Both write into a copy made
    // before each run, untimed. The first has the scan as its baseline, since
    // the rewrite baseline would stream the shared export back as 8-bit lines.
    const QString work = QFileInfo(wide).dir().filePath(QStringLiteral("export-utf16-work.reg"));
    auto pending = std::make_shared<std::string>();
    const auto copy = [wide, work] {
        QFile::remove(work);
        QFile::copy(wide, work);
    };
    const ApplyValues benchValue{files.lastRegSection, files.lastRegValue, "\"bench\""};
    ops.push_back({"apply-utf16", "registry apply, UTF-16 as REGEDIT4", wide, Baseline::Scan, 0,
                   [work, benchValue, pending] {
                       const EditResult r = applyRegistryValue(work, pending.get(), {}, benchValue);
                       return r.status == EditStatus::Done && r.pendingUsed;
                   },
                   [wide, pending, copy] {
                       if (pending->empty())
                           *pending = loadFile(wide).regedit4;
                       copy();
                   }});
    // Its baseline is the REGEDIT4 apply of the same value in export.reg,
    // the same content (which that apply rewrites whole, whatever the value).
    Operation inPlace{"apply-utf16-inplace",
                      "registry apply, UTF-16 in place",
                      wide,
                      Baseline::Other,
                      1.2,
                      [work, benchValue] {
                          const EditResult r = applyRegistryValue(work, nullptr, {}, benchValue);
                          return r.status == EditStatus::Done && !r.pendingUsed && isUtf16File(work);
                      },
                      [pending, copy] {
                          *pending = {};  // the REGEDIT4 row's text is freed first
                          copy();
                      }};
    inPlace.base = [reg, benchValue] {
        return applyRegistryValue(reg, nullptr, {}, benchValue).status == EditStatus::Done;
    };
    inPlace.baseLabel = "REGEDIT4 apply";
    ops.push_back(std::move(inPlace));
    ops.push_back({"space", "space insertion", ini, Baseline::Rewrite, 1.3,
                   [ini] { return insertSpaces(ini).status == EditStatus::Done; }});
    ops.push_back({"profile-write", "profile write, last key", ini, Baseline::Rewrite, 1.3,
                   [ini, files, nextValue] {
                       return WritePrivateProfileStringA(files.lastIniSection, files.lastIniKey, *nextValue, ini);
                   },
                   [ini, files, nextValue] {
                       char now[64];
                       GetPrivateProfileStringA(files.lastIniSection, files.lastIniKey, "", now, sizeof now, ini);
                       *nextValue = std::string_view(now) == "bench A" ? "bench B" : "bench A";
                   }});
    // The command-line program as a script runs it: start-up included.
    auto keyloomGet = [](const QString& file, const std::string& section, const std::string& key) {
        QProcess p;
        p.start(QStringLiteral(KEYLOOM_CLI), {QStringLiteral("get"), file, decodeText(section, TextCodec::Windows1252),
                                              decodeText(key, TextCodec::Windows1252)});
        return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
               !p.readAllStandardOutput().isEmpty();
    };
    ops.push_back({"cli-get", "keyloom get, last value", reg, Baseline::Scan, 1.3,
                   [reg, files, keyloomGet] { return keyloomGet(reg, files.lastRegSection, files.lastRegValue); }});
    // keyloom find as a script runs it: start-up included, every match of a
    // text that a vendor's key paths and install paths hold, 18,000 lines
    // written while the file is read. They go to a file beside the export,
    // as `keyloom find ... > out` writes them: this process reading a pipe
    // (QProcess reads it a few kilobytes at a time) would cost more than the
    // program's own writing, and would be measured with it.
    const QString found = QFileInfo(reg).dir().filePath(QStringLiteral("find-output.txt"));
    ops.push_back({"cli-find", "keyloom find, every match", reg, Baseline::Scan, 1.5, [reg, found] {
                       QProcess p;
                       p.setStandardOutputFile(found);
                       p.start(QStringLiteral(KEYLOOM_CLI), {QStringLiteral("find"), reg, QStringLiteral("Quorrel")});
                       QFile out(found);
                       return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
                              out.open(QIODevice::ReadOnly) && out.read(1) == "[";
                   }});
    // keyloom set of ten values spread over the export, against one of them
    // alone: the targets are checked in one pass, then the file is written
    // once. Each run writes new values.
    const QStringList targets = spreadTargets(reg, 10);
    auto serial = std::make_shared<int>(0);
    const auto keyloomSet = [reg, targets, serial](int count) {
        QStringList args{QStringLiteral("set"), reg};
        const QString value = QStringLiteral("bench %1").arg(++*serial);
        for (int i = 0; i < count && 2 * i + 1 < targets.size(); ++i)
            args << targets.at(2 * i) << targets.at(2 * i + 1) << value;
        QProcess p;
        p.start(QStringLiteral(KEYLOOM_CLI), args);
        return args.size() == 2 + 3 * count && p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
    ops.push_back(
        {"cli-set-one", "keyloom set, one value", reg, Baseline::Rewrite, 0, [keyloomSet] { return keyloomSet(1); }});
    Operation setTen{
        "cli-set-ten", "keyloom set, ten values", reg, Baseline::Other, 1.2, [keyloomSet] { return keyloomSet(10); }};
    setTen.base = [keyloomSet] { return keyloomSet(1); };
    setTen.baseLabel = "keyloom set, one value";
    ops.push_back(std::move(setTen));
    const QString small = QFileInfo(ini).dir().filePath(QStringLiteral("small.ini"));
    ops.push_back({"cli-get-small",
                   "keyloom get, small INI file",
                   {},
                   Baseline::None,
                   0.05,
                   [small, keyloomGet] { return keyloomGet(small, "Kasse", "Port"); },
                   [small] {
                       QFile f(small);
                       if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                           f.write("; Kasse\r\n[Kasse]\r\nName=Laden\r\nPort=COM1\r\n");
                   }});
    // A search over the whole file for a text it does not hold, and one for
    // the last section's own name, which only the last header line holds.
    for (const auto& [id, file] : {std::pair{"find-reg", reg}, std::pair{"find-utf16", wide}}) {
        ops.push_back({id, "find, text that does not occur", file, Baseline::Scan, 1.5, [file] {
                           const FindRequest request{file,
                                                     FileKind::Registry,
                                                     TextCodec::Windows1252,
                                                     FindQuery{QStringLiteral("Nicht vorhanden")},
                                                     {}};
                           return findNext(request).status == FindStatus::NotFound;
                       }});
    }
    ops.push_back({"find-last", "find, name of the last section", reg, Baseline::Scan, 0, [reg, files] {
                       const std::string& name = files.lastRegSection;
                       const QString guid = QString::fromStdString(name.substr(name.rfind('\\') + 1));
                       const FindRequest request{reg, FileKind::Registry, TextCodec::Windows1252, FindQuery{guid}, {}};
                       return findNext(request).status == FindStatus::Found;
                   }});
    addCompareOperations(ops, files);
    if (window) {
        // The entries are made beforehand, as the load makes them; the old
        // ones are freed inside the timed part, as a new load frees them.
        auto entries = std::make_shared<NameList>();
        ops.push_back({"fill",
                       "section list, 1,000,000 entries",
                       {},
                       Baseline::None,
                       0.2,
                       [window, entries] {
                           window->sections->setEntries(std::move(*entries), TextCodec::Utf8);
                           QApplication::processEvents();
                           window->form->List1->repaint();
                           return window->sections->rowCount() == 1000000;
                       },
                       [entries] { *entries = manySections(1000000); }});
        for (const auto& [id, file, target] :
             {std::tuple{"click-reg", reg, 3.0}, std::tuple{"click-utf16", wide, 0.0}}) {
            const int row = window->rowOf(file);
            ops.push_back({id, "whole click to first value", file, Baseline::Scan, target,
                           [window, row] { return window->click(row); }, [window] { window->unselect(); },
                           [window, file] { return window->shows(file); }});
        }
    }
    return ops;
}

std::string formatSeconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", s);
    return text;
}

std::string sizeOf(const QString& file)
{
    if (file.isEmpty())
        return "—";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", double(QFileInfo(file).size()) / 1e6);
    return text;
}

// Digits after the point that a target needs: 2.0, 1.15.
int targetDigits(double target) { return std::abs(target * 10 - std::round(target * 10)) < 1e-9 ? 1 : 2; }

void printTable(const std::vector<Row>& rows, int runs)
{
    std::printf("| operation | file | median (s) | baseline | baseline median (s) | ratio | target | met |\n");
    std::printf("|---|---|---:|---|---:|---:|---:|---|\n");
    for (const Row& row : rows) {
        const Operation& op = *row.op;
        std::string file = op.file.isEmpty()
                               ? std::string("—")
                               : QFileInfo(op.file).fileName().toStdString() + " (" + sizeOf(op.file) + ")";
        if (!op.second.isEmpty())
            file += " and " + QFileInfo(op.second).fileName().toStdString() + " (" + sizeOf(op.second) + ")";
        std::string base = "—", baseTime = "—", ratio = "—", target = "—", met = "—";
        if (op.baseline != Baseline::None) {
            base = op.baseline == Baseline::Scan ? "scan" : op.baseline == Baseline::Rewrite ? "rewrite" : op.baseLabel;
            baseTime = formatSeconds(row.baseMedian);
            const double r = row.median / row.baseMedian;
            char text[32];
            std::snprintf(text, sizeof text, "%.2fx", r);
            ratio = text;
            if (op.target > 0) {
                std::snprintf(text, sizeof text, "≤ %.*fx", targetDigits(op.target), op.target);
                target = text;
                met = r <= op.target ? "yes" : "no";
            }
        } else if (op.target > 0) {
            char text[32];
            std::snprintf(text, sizeof text, "≤ %.*f s", targetDigits(op.target), op.target);
            target = text;
            met = row.median <= op.target ? "yes" : "no";
        }
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", op.label.c_str(), file.c_str(),
                    formatSeconds(row.median).c_str(), base.c_str(), baseTime.c_str(), ratio.c_str(), target.c_str(),
                    met.c_str());
    }
    std::printf("\nMedians of %d runs; each operation's runs alternate with runs of its baseline on the same file.\n",
                runs);
}

// Runs every operation `runs` times, each run right after a run of its
// baseline. Returns false when an operation or a baseline failed.
bool measure(const std::vector<Operation>& ops, int runs, std::vector<Row>& rows)
{
    for (const Operation& op : ops) {
        std::function<bool()> base = op.baseline == Baseline::Other ? op.base : baselineOf(op.baseline, op.file);
        if (base && !op.second.isEmpty())
            base = [first = base, second = baselineOf(op.baseline, op.second)] { return first() && second(); };
        std::vector<double> opTimes, baseTimes;
        bool ok = true;
        for (int r = 0; r < runs; ++r) {
            if (base)
                baseTimes.push_back(seconds(base, ok));
            if (op.prepare)
                op.prepare();
            opTimes.push_back(seconds(op.run, ok));
            if (op.check)
                ok = op.check() && ok;
        }
        if (!ok) {
            std::fprintf(stderr, "keyloom_bench: %s on %s failed\n", op.label.c_str(), local(op.file).c_str());
            return false;
        }
        rows.push_back({&op, median(opTimes), base ? median(baseTimes) : 0.0});
        std::fprintf(stderr, "  %-34s %s s\n", op.label.c_str(), formatSeconds(rows.back().median).c_str());
    }
    return true;
}

struct Options {
    std::vector<std::uint64_t> sizesMb;
    int runs = 5;
    std::uint64_t seed = 1;
    QString data;
    std::string one;
    std::vector<std::string> only;  // operation ids; empty: all
};

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size-mb" && hasValue)
            options.sizesMb.push_back(std::strtoull(argv[++i], nullptr, 10));
        else if (arg == "--runs" && hasValue)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seed" && hasValue)
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--data" && hasValue)
            options.data = QFile::decodeName(argv[++i]);
        else if (arg == "--one" && hasValue)
            options.one = argv[++i];
        else if (arg == "--only" && hasValue)
            options.only.push_back(argv[++i]);
        else
            return std::nullopt;
    }
    if (options.sizesMb.empty())
        options.sizesMb.push_back(100);
    return options;
}

// One operation once, on files made by keyloom_gen; no window unless the
// operation needs one, so that its peak memory is its own.
int runOne(const Options& options, int argc, char** argv)
{
    const GeneratedFiles files = readManifest(options.data);
    if (!files.ok) {
        std::fprintf(stderr, "keyloom_bench: no generated files in %s\n", local(options.data).c_str());
        return 2;
    }
    const std::string& id = options.one;
    std::unique_ptr<QApplication> application;
    std::unique_ptr<Window> window;
    if (id == "fill" || id.rfind("click", 0) == 0) {
        application = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<Window>(options.data);
    }
    std::vector<Operation> ops = operations(files, window.get());
    for (const auto& [kind, file] :
         {std::pair{"reg", files.regedit4}, std::pair{"utf16", files.utf16}, std::pair{"wide", files.utf16Wide},
          std::pair{"ini", files.ini}, std::pair{"wine", files.wine}}) {
        ops.push_back(
            {std::string("scan-") + kind, "baseline scan", file, Baseline::None, 0, baselineOf(Baseline::Scan, file)});
        ops.push_back({std::string("rewrite-") + kind, "baseline rewrite", file, Baseline::None, 0,
                       baselineOf(Baseline::Rewrite, file)});
    }
    for (const Operation& op : ops) {
        if (op.id != id)
            continue;
        bool ok = true;
        if (op.prepare)
            op.prepare();
        const double s = seconds(op.run, ok);
        if (op.check)
            ok = op.check() && ok;
        std::printf("%s %s\n", id.c_str(), formatSeconds(s).c_str());
        return ok ? 0 : 1;
    }
    std::fprintf(stderr, "keyloom_bench: unknown operation %s\n", id.c_str());
    return 2;
}

}  // namespace
}  // namespace keyloom::bench

int main(int argc, char** argv)
{
    using namespace keyloom::bench;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: keyloom_bench [--size-mb N]... [--runs N] [--seed N] [--data DIR] [--only OPERATION]...\n"
                     "       keyloom_bench --data DIR --one OPERATION\n");
        return 2;
    }
    if (!options->one.empty())
        return runOne(*options, argc, argv);

    QApplication application(argc, argv);
    std::vector<std::vector<Row>> tables;
    std::vector<std::vector<Operation>> allOps;  // kept alive for the rows
    allOps.reserve(options->sizesMb.size());
    for (const std::uint64_t mb : options->sizesMb) {
        QTemporaryDir temp;
        GeneratedFiles files;
        if (options->data.isEmpty()) {
            std::fprintf(stderr, "Generating %llu MB files in %s ...\n", static_cast<unsigned long long>(mb),
                         local(temp.path()).c_str());
            files = generateFiles(temp.path(), mb * 1000000, options->seed);
        } else {
            files = readManifest(options->data);
        }
        if (!files.ok) {
            std::fprintf(stderr, "keyloom_bench: could not generate or find the files\n");
            return 1;
        }
        Window window(QFileInfo(files.regedit4).absolutePath());
        allOps.push_back(operations(files, &window));
        if (!options->only.empty()) {
            std::erase_if(allOps.back(), [&](const Operation& op) {
                return std::find(options->only.begin(), options->only.end(), op.id) == options->only.end();
            });
        }
        std::vector<Row> rows;
        if (!measure(allOps.back(), options->runs, rows))
            return 1;
        std::printf("\n### %s\n\n", sizeOf(files.regedit4).c_str());
        printTable(rows, options->runs);
        tables.push_back(std::move(rows));
        if (!options->data.isEmpty())
            break;
    }
    if (tables.size() >= 2) {
        std::printf("\n### Growth with size (median of the largest over the smallest file)\n\n");
        std::printf("| operation | file | growth |\n|---|---|---:|\n");
        for (std::size_t i = 0; i < tables.front().size(); ++i) {
            const Row& small = tables.front()[i];
            const Row& large = tables.back()[i];
            std::printf("| %s | %s | %.1fx |\n", small.op->label.c_str(),
                        small.op->file.isEmpty() ? "—" : QFileInfo(small.op->file).fileName().toStdString().c_str(),
                        large.median / small.median);
        }
    }
    return 0;
}
