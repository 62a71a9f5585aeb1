// The file list's popup menu, its three commands and the double-click,
// through the real widgets with the questions answered by the test.

#include "common/window.h"
#include "ui/messagebox.h"
#include "ui/navigation.h"

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QtTest>

using namespace keyloom;

namespace {

void rightClick(Form1& form) { QTest::mouseClick(form.File1->viewport(), Qt::RightButton, {}, QPoint(5, 5)); }

}  // namespace

class FileCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void menuEntriesFollowTheName_data();
    void menuEntriesFollowTheName();
    void rightClickWithoutSelectionShowsNothing();
    void convertAfterYes();
    void convertAfterNoChangesNothing();
    void convertOnlyTheFileTheTextWasMadeFrom();
    void convertRefusedForCharactersRegedit4CannotHold();
    void spaceInsertionReloads_data();
    void spaceInsertionReloads();
    void spaceInsertionRefusesUtf16();
    void deleteAsksAndRemovesTheEntry();
    void doubleClickDuringStartupDoesNothing();
};

void FileCommandsTest::cleanup()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w))
            menu->close();
}

void FileCommandsTest::menuEntriesFollowTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("convert");
    QTest::newRow("reg") << "a.reg" << true;
    QTest::newRow("upper case") << "TEST.REG" << true;
    QTest::newRow("ini") << "a.ini" << false;
    QTest::newRow("inf") << "a.inf" << false;
    QTest::newRow("reg.ini") << "werte.reg.ini" << false;
}

void FileCommandsTest::menuEntriesFollowTheName()
{
    QFETCH(QString, name);
    QFETCH(bool, convert);
    QTemporaryDir dir;
    test::writeFile(dir, name, "[A]\r\n");
    AppModul app;
    Form1 form(app);
    form.show();
    test::clickFile(form, dir, name);
    rightClick(form);
    QCOMPARE(form.mnuConvert->isEnabled(), convert);
    QCOMPARE(form.mnuSpace->isEnabled(), !convert);
    QVERIFY(form.mnuDel->isEnabled());
    QVERIFY(form.mnuPop->isVisible());
    QCOMPARE(test::comparablePath(app.CurrentFile), test::comparablePath(dir.filePath(name)));
    QCOMPARE(form.File1->fileName(), name);  // the right-click moved no selection
}

void FileCommandsTest::rightClickWithoutSelectionShowsNothing()
{
    QTemporaryDir dir;
    test::writeFile(dir, "a.ini", "[A]\r\n");
    AppModul app;
    app.CurrentFile = "unchanged";
    Form1 form(app);
    form.show();
    form.Dir1->setPath(dir.path());
    rightClick(form);
    QVERIFY(!form.mnuPop->isVisible());
    QCOMPARE(app.CurrentFile, QString("unchanged"));
}

void FileCommandsTest::convertAfterYes()
{
    QTemporaryDir dir;
    const QString file =
        test::writeFile(dir, "e.reg", test::utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n\"V\"=\"1\"\r\n"));
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    test::clickFile(form, dir, "e.reg");
    QCOMPARE(form.windowTitle(), QString("Quorrel Keyloom - e.reg*"));
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuConvert->trigger();
    QCOMPARE(MessageBox::lastQuestion(), QString("Datei 'e.reg' wirklich ins REGEDIT4-Format konvertieren ?"));
    QCOMPARE(test::readFile(file), QByteArray("REGEDIT4\r\n[K]\r\n\"V\"=\"1\"\r\n\r\n"));
    QCOMPARE(form.windowTitle(), QString("Quorrel Keyloom - e.reg"));
    QCOMPARE(app.ConvertPending, std::int16_t(0));
}

void FileCommandsTest::convertAfterNoChangesNothing()
{
    const QByteArray bytes = test::utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n");
    test::Clicked w("e.reg", bytes);
    const QString title = w.form.windowTitle();
    MessageBox::setNextAnswer(MessageBox::No);
    w.form.mnuConvert->trigger();
    QCOMPARE(test::readFile(w.file), bytes);
    QCOMPARE(w.form.windowTitle(), title);
    QCOMPARE(w.app.ConvertPending, std::int16_t(1));
}

void FileCommandsTest::convertOnlyTheFileTheTextWasMadeFrom()
{
    QTemporaryDir dir;
    test::writeFile(dir, "a.reg", test::utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n"));
    const QString other = test::writeFile(dir, "b.reg", "REGEDIT4\r\n[Mine]\r\n");
    AppModul app;
    Form1 form(app);
    form.show();
    test::clickFile(form, dir, "a.reg");
    app.CurrentFile = other;  // as a right-click on b.reg would set it
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuConvert->trigger();
    QCOMPARE(test::readFile(other), QByteArray("REGEDIT4\r\n[Mine]\r\n"));
    QVERIFY(MessageBox::lastQuestion().contains("nichts zu konvertieren"));
}

void FileCommandsTest::convertRefusedForCharactersRegedit4CannotHold()
{
    QTemporaryDir dir;
    const QByteArray bytes = test::utf16le(QString::fromUtf8(
        "Windows Registry Editor Version 5.00\r\n\r\n[K\\日本]\r\n\"V\"=\"Ω\"\r\n\"P\"=hex(2):41,00,00,00\r\n"));
    const QString file = test::writeFile(dir, "hkcu.reg", bytes);
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    test::clickFile(form, dir, "hkcu.reg");
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuConvert->trigger();
    QCOMPARE(MessageBox::lastQuestion(),
             QString::fromUtf8("Die Datei 'hkcu.reg' enthält 3 Zeichen, die im REGEDIT4-Format nicht darstellbar sind "
                               "(erstes in Zeile 3). Die Datei bleibt unverändert."));
    QCOMPARE(test::readFile(file), bytes);
    QCOMPARE(form.windowTitle(), QString("Quorrel Keyloom - hkcu.reg*"));
    QCOMPARE(app.ConvertPending, std::int16_t(1));
}

void FileCommandsTest::spaceInsertionReloads_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("firstSection");
    QTest::newRow("inf") << QByteArray("[Version]\r\nA=1\r\n; c\r\n[B]\r\n\r\n[C]\r\n   \r\n[D]\r\n [E]")
                         << QByteArray("[Version]\r\nA=1\r\n; c\r\n\r\n[B]\r\n\r\n[C]\r\n   \r\n\r\n[D]\r\n [E]")
                         << "Version";
    QTest::newRow("lf") << QByteArray("[A]\nx=1\n[B]\n") << QByteArray("[A]\nx=1\n\n[B]\n") << "A";
}

void FileCommandsTest::spaceInsertionReloads()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, firstSection);
    test::Clicked w("s.inf", before);
    w.form.mnuSpace->trigger();
    QCOMPARE(test::readFile(w.file), after);
    w.form.mnuSpace->trigger();
    QCOMPARE(test::readFile(w.file), after);
    QVERIFY(!QFile::exists(w.dir.filePath("s.in_")));
    // The file was loaded again: its first section is shown.
    QCOMPARE(w.form.List1->model()->index(0, 0).data().toString(), firstSection);
}

void FileCommandsTest::spaceInsertionRefusesUtf16()
{
    const QByteArray bytes = test::utf16le("[A]\r\nx=1\r\n[B]\r\n");
    test::Clicked w("w.ini", bytes);
    MessageBox::setNextAnswer(MessageBox::Yes);
    w.form.mnuSpace->trigger();
    QVERIFY(MessageBox::lastQuestion().startsWith("Die Datei 'w.ini' ist in UTF-16 gespeichert"));
    QCOMPARE(test::readFile(w.file), bytes);
    QVERIFY(!QFile::exists(w.dir.filePath("w.in_")));
}

void FileCommandsTest::deleteAsksAndRemovesTheEntry()
{
    QTemporaryDir dir;
    const QString file = test::writeFile(dir, "test.ini", "[A]\r\nk=v\r\n");
    test::writeFile(dir, "keep.ini", "");
    QFile::setPermissions(file, QFile::ReadOwner);
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "test.ini");
    MessageBox::setNextAnswer(MessageBox::No);
    form.mnuDel->trigger();
    QCOMPARE(MessageBox::lastQuestion(), QString("Datei 'test.ini' wirklich löschen ?"));
    QVERIFY(QFile::exists(file));
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuDel->trigger();
    QVERIFY(!QFile::exists(file));
    QCOMPARE(form.File1->count(), 1);
    QCOMPARE(form.File1->item(0)->text(), QString("keep.ini"));
    // What was shown stays shown.
    QCOMPARE(form.List1->model()->rowCount(), 1);
}

void FileCommandsTest::doubleClickDuringStartupDoesNothing()
{
    QTemporaryDir dir;
    test::writeFile(dir, "a.ini", "");
    AppModul app;
    app.QuoteState = 3;
    app.CurrentFile = "before";
    Form1 form(app);
    test::clickFile(form, dir, "a.ini");
    app.CurrentFile = "before";
    form.File1_DblClick();
    QCOMPARE(app.CurrentFile, QString("before"));
}

QTEST_MAIN(FileCommandsTest)
#include "filecommands_test.moc"
