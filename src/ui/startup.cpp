#include "ui/startup.h"

#include "app/commands.h"
#include "platform/drives.h"
#include "platform/singleinstance.h"
#include "ui/form1.h"
#include "ui/navigation.h"

#include <QDir>

namespace keyloom {

QString StartupFolder(const QString& file)
{
    const QChar sep = Commands::platformSeparator();
    const QString folder = Commands::DirectoryPart(file, sep);
    if (sep != u'/' || !file.startsWith(sep))
        return folder;
    // "/a.ini" has the folder part "a.ini": its folder is the root itself.
    QString inner = file.mid(1);
    if (inner.endsWith(sep))
        inner.chop(1);
    return inner.contains(sep) ? sep + folder : QString(sep);
}

std::unique_ptr<Form1> Main(const QString& argumentText, AppModul& app, SingleInstance& instance)
{
    if (!instance.acquire())
        return nullptr;
    app.AppTitle = QStringLiteral("Quorrel Keyloom");
    if (!argumentText.isEmpty())
        app.CmdLineFile = Commands::LongPathName(argumentText);

    auto form = std::make_unique<Form1>(app);
    form->show();
    if (app.CmdLineFile.isEmpty())
        return form;

    app.QuoteState = kStartUpSelection;
    const QString root = rootOf(app.CmdLineFile, form->Drive1->drives());
    if (!root.isEmpty())
        form->Drive1->setDrive(root);
    const QString folder = StartupFolder(app.CmdLineFile);
    form->Dir1->setPath(folder);
    form->File1->setPath(folder);
    const QString name = Commands::FileNamePart(app.CmdLineFile);
    if (form->File1->path().compare(QDir::cleanPath(folder), Qt::CaseInsensitive) == 0) {
        for (int i = 0; i < form->File1->count(); ++i) {
            if (form->File1->item(i)->text() == name) {
                form->File1->setCurrentRow(i);
                break;
            }
        }
    }
    form->setWindowTitle(app.AppTitle + QStringLiteral(" - ") + name);
    if (app.QuoteState == kStartUpSelection)
        app.QuoteState = kQuotesKept;
    return form;
}

}  // namespace keyloom
