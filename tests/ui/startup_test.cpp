// The window's controls and the start-up selection, offscreen.

#include "common/window.h"
#include "ui/navigation.h"
#include "ui/translation.h"

#include <QMessageBox>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

using namespace keyloom;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void controlTable_data();
    void controlTable();
    void initialState();
    void popupMenu();
    void secondCopyEndsAtOnce();
    void commandLine_data();
    void commandLine();
    void relativePath();
    void fileListPattern();
    void qtTextsAreGerman();
    void exportLoadsButCaptionHasNoMark();
};

void StartupTest::controlTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Drive1") << "Drive1" << QRect(60, 420, 2355, 315);
    QTest::newRow("Dir1") << "Dir1" << QRect(60, 780, 2355, 2340);
    QTest::newRow("File1") << "File1" << QRect(60, 3180, 2355, 1455);
    QTest::newRow("List1") << "List1" << QRect(2520, 420, 2355, 3180);
    QTest::newRow("Command1") << "Command1" << QRect(2520, 3960, 2355, 660);
    QTest::newRow("Text1") << "Text1" << QRect(2520, 3660, 2355, 330);
    QTest::newRow("List2") << "List2" << QRect(4980, 420, 2535, 4200);
    QTest::newRow("Label1") << "Label1" << QRect(60, 60, 7455, 315);
    QTest::newRow("Text2") << "Text2" << QRect(-1020, -180, 1095, 285);
    QTest::newRow("Picture1") << "Picture1" << QRect(4860, 420, 135, 3195);
}

void StartupTest::controlTable()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    AppModul app;
    Form1 form(app);
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    const QRect expected(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0), qRound(twips.width() / 15.0),
                         qRound(twips.height() / 15.0));
    QCOMPARE(w->geometry(), expected);
}

void StartupTest::initialState()
{
    AppModul app;
    Form1 form(app);
    QCOMPARE(form.size(), QSize(507, 312));
    QVERIFY(!form.Command1->isEnabled());
    QCOMPARE(form.Command1->text(), QString("Übernehmen"));
    QVERIFY(form.Command1->font().bold());
    QCOMPARE(form.Command1->font().pointSize(), 12);
    QCOMPARE(form.List1->font().pointSize(), 9);
    QVERIFY(form.Text1->text().isEmpty());
    QCOMPARE(form.File1->toolTip(), QString("Rechtsklick für Optionen"));
    QCOMPARE(form.File1->pattern(), QString("*.ini;*.reg;*.inf"));
    form.show();
    QVERIFY(!form.Text2->isVisible());
    QCOMPARE(app.SplitterLeft, std::int16_t(4860));
    // Tab order of the control table.
    QList<QWidget*> order;
    QWidget* w = form.Drive1;
    for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisible() || w->parentWidget() != &form)
            w = w->nextInFocusChain();
        order << w;
    }
    const QList<QWidget*> expected = {form.Drive1,   form.Dir1,  form.File1, form.List1,
                                      form.Command1, form.Text1, form.List2};
    QCOMPARE(order, expected);
    for (QWidget* control : expected)
        QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    // A combo box is named for screen readers by the label it is the buddy of.
    QStringList driveLabels;
    for (const auto& [label, relation] :
         QAccessible::queryAccessibleInterface(form.Drive1)->relations(QAccessible::Label))
        driveLabels << label->text(QAccessible::Name);
    QCOMPARE(driveLabels, QStringList{"Laufwerk"});
}

void StartupTest::popupMenu()
{
    AppModul app;
    Form1 form(app);
    QCOMPARE(form.mnuPop->objectName(), QString("mnuPop"));
    QStringList captions, names;
    for (QAction* action : form.mnuPop->actions()) {
        captions << action->text();
        names << action->objectName();
        QVERIFY(action->isEnabled());
    }
    // Entries beyond the specified ones follow them.
    QCOMPARE(captions.mid(0, 3), QStringList({"konvertieren in REGEDIT4", "SPACEs einfügen", "Löschen !"}));
    QCOMPARE(names.mid(0, 3), QStringList({"mnuConvert", "mnuSpace", "mnuDel"}));
}

void StartupTest::secondCopyEndsAtOnce()
{
    test::Started first;
    QVERIFY(first.form);
    AppModul app;
    SingleInstance second(first.lockDir.filePath("lock"));
    QVERIFY(!Main("/tmp/x.ini", app, second));
    QVERIFY(app.CmdLineFile.isEmpty());
}

void StartupTest::commandLine_data()
{
    QTest::addColumn<QString>("argument");  // "%1" stands for the temporary folder
    QTest::addColumn<QString>("selected");  // file name selected in File1, "" for none
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("listFolder");  // folder the file list shows, "%1" as above
    QTest::newRow("no argument") << ""
                                 << ""
                                 << "Quorrel Keyloom"
                                 << "";
    QTest::newRow("existing file") << "%1/Setup.ini"
                                   << "Setup.ini"
                                   << "Quorrel Keyloom - Setup.ini"
                                   << "%1";
    QTest::newRow("missing file, folder exists") << "%1/none.ini"
                                                 << ""
                                                 << "Quorrel Keyloom - None.ini"
                                                 << "%1";
    QTest::newRow("other letter case") << "%1/setup.ini"
                                       << "Setup.ini"
                                       << "Quorrel Keyloom - Setup.ini"
                                       << "%1";
    QTest::newRow("folder") << "%1/Sub"
                            << ""
                            << "Quorrel Keyloom - Sub"
                            << "%1";
    QTest::newRow("quoted") << "\"%1/Setup.ini\""
                            << ""
                            << "Quorrel Keyloom - Setup.ini\""
                            << "";
}

void StartupTest::commandLine()
{
    QFETCH(QString, argument);
    QFETCH(QString, selected);
    QFETCH(QString, caption);
    QFETCH(QString, listFolder);
    QTemporaryDir dir;
    test::writeFile(dir, "Setup.ini", "[Main]\r\nKey=1\r\n");
    test::writeFile(dir, "other.ini", "[X]\r\n");
    QDir(dir.path()).mkdir("Sub");
    test::Started s(argument.arg(dir.path()));
    QVERIFY(s.form);
    QCOMPARE(s.form->File1->fileName(), selected);
    if (!listFolder.isEmpty())
        QCOMPARE(s.form->File1->path(), listFolder.arg(dir.path()));
    QCOMPARE(s.form->windowTitle(), caption);
    QCOMPARE(s.app.QuoteState, std::int16_t(0));
    if (!selected.isEmpty())
        QCOMPARE(s.app.CurrentFile, dir.filePath(selected));
}

void StartupTest::relativePath()
{
    QTemporaryDir dir;
    test::writeFile(dir, "setup.ini", "[A]\r\n");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    test::Started s("setup.ini");
    QDir::setCurrent(cwd);
    QCOMPARE(s.app.CmdLineFile, dir.filePath("setup.ini"));
    QCOMPARE(s.form->File1->fileName(), QString("setup.ini"));
    QCOMPARE(s.form->Dir1->path(), dir.path());
}

void StartupTest::fileListPattern()
{
    QTemporaryDir dir;
    for (const char* name : {"a.ini", "TEST.REG", "b.Inf", "c.txt", ".hidden.ini", "d.ini.bak"})
        test::writeFile(dir, name, "");
    QDir(dir.path()).mkdir("folder.ini");
    AppModul app;
    Form1 form(app);
    form.Dir1->setPath(dir.path());
    QStringList names;
    for (int i = 0; i < form.File1->count(); ++i)
        names << form.File1->item(i)->text();
    QCOMPARE(names, QStringList({"a.ini", "b.Inf", "TEST.REG"}));
    QCOMPARE(form.File1->path(), dir.path());
}

void StartupTest::qtTextsAreGerman()
{
    QVERIFY(installGermanQtTexts());
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Ja"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Nein"));
}

void StartupTest::exportLoadsButCaptionHasNoMark()
{
    QTemporaryDir dir;
    test::writeFile(dir, "e.reg", test::utf16le("Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"V\"=\"1\"\r\n"));
    test::Started s(dir.filePath("e.reg"));
    QCOMPARE(s.app.ConvertPending, std::int16_t(1));
    QCOMPARE(s.form->windowTitle(), QString("Quorrel Keyloom - e.reg"));
    QCOMPARE(s.form->Text1->text(), QString("1"));
    // The lookup of the first value set the quote state; start-up kept it.
    QCOMPARE(s.app.QuoteState, std::int16_t(2));
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
