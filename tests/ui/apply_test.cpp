// Editing a value and applying it through the real widgets, files checked
// byte for byte.

#include "common/window.h"
#include "document/document.h"
#include "ui/messagebox.h"
#include "ui/navigation.h"

#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace keyloom;

class ApplyTest : public QObject {
    Q_OBJECT

private slots:
    void registryRows_data();
    void registryRows();
    void valueInTheFilesEncoding_data();
    void valueInTheFilesEncoding();
    void takenBackupNameIsTold();
    void pendingExportWrittenOnceThenCopied();
    void secondClickDuringApplyDoesNothing();
    void clickOnAnotherFileDuringApplyChangesNothing();
    void utf16OnDiskWithoutPendingTextIsRefused();
    void pendingTextThatRegedit4CannotHoldIsWrittenInPlace();
    void failedIniWriteKeepsButtonEnabled();
    void invalidRegistryValueIsRefused();
    void valueBoxRefusesLineBreaks();
    void failureIsTold_data();
    void failureIsTold();
};

void ApplyTest::registryRows_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("sectionRow");
    QTest::addColumn<int>("keyRow");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("after");
    const QByteArray head = "REGEDIT4\r\n\r\n[HKEY_A]\r\n";
    QTest::newRow("quoted") << head + "\"Version\"=\"1.0\"\r\n" << 0 << 0 << "2.0" << head + "\"Version\"=\"2.0\"\r\n";
    QTest::newRow("dword") << head + "\"Count\"=dword:0000000a\r\n"
                           << 0 << 0 << "dword:0000000b" << head + "\"Count\"=dword:0000000b\r\n";
    QTest::newRow("default") << head + "\"@\"=\"x\"\r\n@=\"alt\"\r\n"
                             << 0 << 1 << "neu" << head + "\"@\"=\"x\"\r\n@=\"neu\"\r\n";
    QTest::newRow("backslashes") << head + "\"Pfad\"=\"C:\\\\Temp\"\r\n"
                                 << 0 << 0 << "D:\\\\Neu" << head + "\"Pfad\"=\"D:\\\\Neu\"\r\n";
    QTest::newRow("escaped quotes") << head + "\"Name\"=\"x\"\r\n"
                                    << 0 << 0 << "\\\"y\\\"" << head + "\"Name\"=\"\\\"y\\\"\"\r\n";
    QTest::newRow("emptied") << head + "\"E\"=\"x\"\r\n" << 0 << 0 << "" << head + "\"E\"=\"\"\r\n";
    QTest::newRow("no line end, other section, twice")
        << QByteArray("[HKEY_B]\r\n\"V\"=\"b\"\r\n[HKEY_A]\r\n\"V\"=\"1\"\r\n[hkey_a]\r\n\"V\"=\"c\"\r\n[HKEY_A]"
                      "\r\n\"V\"=\"2\"")
        << 1 << 0 << "9"
        << QByteArray("[HKEY_B]\r\n\"V\"=\"b\"\r\n[HKEY_A]\r\n\"V\"=\"9\"\r\n[hkey_a]\r\n\"V\"=\"c\"\r\n[HKEY_A]"
                      "\r\n\"V\"=\"9\"");
    QTest::newRow("lf file stays lf") << QByteArray("[HKEY_A]\n\"V\"=\"1\"\n") << 0 << 0 << "2"
                                      << QByteArray("[HKEY_A]\n\"V\"=\"2\"\n");
}

void ApplyTest::registryRows()
{
    QFETCH(QByteArray, before);
    QFETCH(int, sectionRow);
    QFETCH(int, keyRow);
    QFETCH(QString, typed);
    QFETCH(QByteArray, after);
    test::Clicked w("test.reg", before);
    test::clickRow(w.form.List1, sectionRow);
    test::clickRow(w.form.List2, keyRow);
    w.form.Text1->setText(typed == w.form.Text1->text() ? typed + "x" : typed);
    w.form.Text1->setText(typed);
    QVERIFY(w.form.Command1->isEnabled());
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(test::readFile(w.file), after);
    QVERIFY(!w.form.Command1->isEnabled());
    QVERIFY(!QFile::exists(w.dir.filePath("test.re_")));
}

void ApplyTest::valueInTheFilesEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("after");
    const QString wr = QString::fromUtf8("Wär");
    QTest::newRow("utf-8") << "a.ini" << QByteArray("; Grüße\r\n[Main]\r\nKey = alt\r\n") << wr
                           << QByteArray("; Grüße\r\n[Main]\r\nKey = Wär\r\n");
    QTest::newRow("windows-1252") << "a.ini"
                                  << QByteArray("; Gr\xFC\xDF"
                                                "e\r\n[Main]\r\nKey = alt\r\n")
                                  << wr
                                  << QByteArray("; Gr\xFC\xDF"
                                                "e\r\n[Main]\r\nKey = W\xE4r\r\n");
    // Windows programs read plain ASCII files in their 8-bit code page.
    QTest::newRow("ascii ini") << "a.ini" << QByteArray("[Main]\r\nKey = alt\r\n") << wr
                               << QByteArray("[Main]\r\nKey = W\xE4r\r\n");
    QTest::newRow("ascii inf") << "a.inf" << QByteArray("[Main]\r\nKey=alt\r\n") << wr
                               << QByteArray("[Main]\r\nKey=W\xE4r\r\n");
    QTest::newRow("ascii reg") << "a.reg" << QByteArray("REGEDIT4\r\n\r\n[Main]\r\n\"Key\"=\"alt\"\r\n") << wr
                               << QByteArray("REGEDIT4\r\n\r\n[Main]\r\n\"Key\"=\"W\xE4r\"\r\n");
    QTest::newRow("utf-8 reg") << "a.reg" << QByteArray("REGEDIT4\r\n; Grüße\r\n[Main]\r\n\"Key\"=\"alt\"\r\n") << wr
                               << QByteArray("REGEDIT4\r\n; Grüße\r\n[Main]\r\n\"Key\"=\"Wär\"\r\n");
    QTest::newRow("ascii with utf-8 mark") << "a.ini" << QByteArray("\xEF\xBB\xBF[Main]\r\nKey = alt\r\n") << wr
                                           << QByteArray("\xEF\xBB\xBF[Main]\r\nKey = Wär\r\n");
    // A character the code page lacks is refused, never written as "?".
    const QByteArray ascii("[Main]\r\nKey = alt\r\n");
    QTest::newRow("beyond windows-1252") << "a.ini" << ascii << QString::fromUtf8("W\u4E2Dr") << ascii;
}

void ApplyTest::valueInTheFilesEncoding()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QFETCH(QString, typed);
    QFETCH(QByteArray, after);
    test::Clicked w(name, before);
    QCOMPARE(w.form.Text1->text(), QString("alt"));
    w.form.Text1->setText(typed);
    if (before == after)
        MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(test::readFile(w.file), after);
    QCOMPARE(w.form.Command1->isEnabled(), before == after);
    if (before == after)
        QVERIFY(MessageBox::lastQuestion().contains("Windows-1252"));
}

void ApplyTest::takenBackupNameIsTold()
{
    QTemporaryDir dir;
    const QByteArray inf("[Version]\r\nSignature=x\r\n[Files]\r\n");
    const QByteArray compressed("SZDD compressed");
    const QString file = test::writeFile(dir, "a.inf", inf);
    test::writeFile(dir, "a.in_", compressed);
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "a.inf");
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuSpace_Click();
    QCOMPARE(MessageBox::lastQuestion(), QString::fromUtf8("Die Datei 'a.in_' ist bereits vorhanden. Bitte umbenennen "
                                                           "oder verschieben und dann erneut versuchen."));
    QCOMPARE(test::readFile(file), inf);
    QCOMPARE(test::readFile(dir.filePath("a.in_")), compressed);
}

void ApplyTest::pendingExportWrittenOnceThenCopied()
{
    test::Clicked w("e.reg", test::utf16le("Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"V\"=\"1\"\r\n"));
    QCOMPARE(w.app.ConvertPending, std::int16_t(1));
    w.form.Text1->setText("2");
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(test::readFile(w.file), QByteArray("REGEDIT4\r\n\r\n[K]\r\n\"V\"=\"2\"\r\n\r\n"));
    QCOMPARE(w.app.ConvertPending, std::int16_t(0));
    w.form.Text1->setText("3");
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(test::readFile(w.file), QByteArray("REGEDIT4\r\n\r\n[K]\r\n\"V\"=\"3\"\r\n\r\n"));
}

void ApplyTest::secondClickDuringApplyDoesNothing()
{
    test::Clicked w("t.reg", "[K]\r\n\"V\"=\"1\"\r\n");
    w.form.Text1->setText("2");
    // Clicked again while the first apply lets pending events run.
    int nested = 0;
    QTimer::singleShot(0, &w.form, [&] {
        ++nested;
        w.form.Command1_Click();
    });
    w.form.Command1_Click();
    QCOMPARE(nested, 1);
    QCOMPARE(test::readFile(w.file), QByteArray("[K]\r\n\"V\"=\"2\"\r\n"));
    QVERIFY(!QFile::exists(w.dir.filePath("t.re_")));
    QVERIFY(!w.form.Command1->isEnabled());
}

void ApplyTest::clickOnAnotherFileDuringApplyChangesNothing()
{
    test::Clicked w("a.reg", "[K]\r\n\"V\"=\"1\"\r\n");
    const QString other = test::writeFile(w.dir, "b.reg", "[L]\r\n\"W\"=\"x\"\r\n");
    w.form.File1->refresh();
    test::clickFile(w.form, w.dir, "a.reg");
    w.form.Text1->setText("2");
    // The click on b.reg lands while the apply lets pending events run.
    QTimer::singleShot(0, &w.form, [&] { test::clickFile(w.form, w.dir, "b.reg"); });
    w.form.Command1_Click();
    QCOMPARE(test::readFile(w.file), QByteArray("[K]\r\n\"V\"=\"2\"\r\n"));
    QCOMPARE(test::readFile(other), QByteArray("[L]\r\n\"W\"=\"x\"\r\n"));
    QCOMPARE(test::comparablePath(w.app.CurrentFile), test::comparablePath(other));
}

void ApplyTest::utf16OnDiskWithoutPendingTextIsRefused()
{
    QTemporaryDir dir;
    const QByteArray bytes = test::utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n\"V\"=\"1\"\r\n");
    const QString file = test::writeFile(dir, "u.reg", bytes);
    test::writeFile(dir, "other.reg", "[K]\r\n\"V\"=\"1\"\r\n");
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "u.reg");
    // Another file's click clears the pending flag; the waiting text is not
    // this file's any more. Back on u.reg via a right-click: no load.
    test::clickFile(form, dir, "other.reg");
    app.CurrentFile = file;
    form.Text1->setText("2");
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(MessageBox::lastQuestion(),
             QString("Die Datei 'u.reg' ist nicht die geladene Datei. Der Wert wurde nicht gespeichert."));
    QCOMPARE(test::readFile(file), bytes);
    QVERIFY(form.Command1->isEnabled());
}

void ApplyTest::pendingTextThatRegedit4CannotHoldIsWrittenInPlace()
{
    const QString text =
        QString::fromUtf8("Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"V\"=\"%1\"\r\n\"W\"=\"Ω\"\r\n");
    test::Clicked w("e.reg", test::utf16le(text.arg("1")));
    w.form.Text1->setText("2");
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(MessageBox::lastQuestion(), inPlaceNote(w.file));
    QCOMPARE(test::readFile(w.file), test::utf16le(text.arg("2")));
    QVERIFY(!QFile::exists(w.dir.filePath("e.re_")));
    QVERIFY(!w.form.Command1->isEnabled());
    // The REGEDIT4 text still waits: the title keeps its mark.
    QCOMPARE(w.app.ConvertPending, std::int16_t(1));
    QVERIFY(w.form.windowTitle().endsWith('*'));
    // Told once for the file: a second apply shows nothing.
    MessageBox::setNextAnswer(MessageBox::Yes);
    MessageBox::inform(&w.form, w.app.AppTitle, "vorher");
    w.form.Text1->setText("3");
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QCOMPARE(MessageBox::lastQuestion(), QString("vorher"));
    QCOMPARE(test::readFile(w.file), test::utf16le(text.arg("3")));
}

void ApplyTest::failedIniWriteKeepsButtonEnabled()
{
    test::Clicked w("a.ini", "[Main]\r\nKey=1\r\n");
    w.form.Text1->setText("2");
    injectFileFault(FileOp::OpenWrite, 1);
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    clearFileFaults();
    QCOMPARE(MessageBox::lastQuestion(),
             QString("Die Datei 'a.ini' konnte nicht geschrieben werden. Die Datei bleibt unverändert."));
    QCOMPARE(test::readFile(w.dir.filePath("a.ini")), QByteArray("[Main]\r\nKey=1\r\n"));
    QVERIFY(w.form.Command1->isEnabled());
}

void ApplyTest::invalidRegistryValueIsRefused()
{
    const QByteArray before = "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"Pfad\"=\"C:\\\\Temp\"\r\n";
    test::Clicked w("test.reg", before);
    test::clickRow(w.form.List1, 0);
    test::clickRow(w.form.List2, 0);
    w.form.Text1->setText("C:\\Neu");
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    QVERIFY(MessageBox::lastQuestion().startsWith(
        "Ein \\ wird in Registrierungsdateien als \\\\ geschrieben, ein \" als \\\"."));
    QCOMPARE(test::readFile(w.file), before);
    QVERIFY(w.form.Command1->isEnabled());
}

void ApplyTest::valueBoxRefusesLineBreaks()
{
    AppModul app;
    Form1 form(app);
    form.Text1->setText("a\r\nb\nc");
    QCOMPARE(form.Text1->text(), QString("abc"));
    form.Text1->clear();
    QTest::keyClicks(form.Text1, "x");
    form.Text1->insert("1\n2");
    QCOMPARE(form.Text1->text(), QString("x12"));
}

void ApplyTest::failureIsTold_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("convert");  // the popup menu's conversion, else the apply
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("told");
    const QByteArray ini = "[K]\r\nV=1\r\n";
    const QByteArray reg = "REGEDIT4\r\n\r\n[K]\r\n\"V\"=\"1\"\r\n";
    const QByteArray utf16 = test::utf16le("Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"V\"=\"1\"\r\n");
    const QString readOnly =
        QString::fromUtf8("Die Datei '%1' ist schreibgeschützt. Der Wert wurde nicht gespeichert.");
    QTest::newRow("immutable ini") << "a.ini" << ini << false << "immutable" << readOnly.arg("a.ini");
    QTest::newRow("immutable reg") << "a.reg" << reg << false << "immutable" << readOnly.arg("a.reg");
    QTest::newRow("immutable export converted")
        << "e.reg" << utf16 << true << "immutable"
        << QString::fromUtf8("Die Datei 'e.reg' ist schreibgeschützt. Sie wurde nicht konvertiert.");
    QTest::newRow("backup name taken")
        << "a.reg" << reg << false << "taken"
        << QString::fromUtf8("Die Datei 'a.re_' ist bereits vorhanden. Bitte umbenennen oder verschieben und dann "
                             "erneut versuchen.");
    const QString notOpened =
        QString::fromUtf8("Die Datei '%1' konnte nicht geöffnet werden (gesperrt oder nicht lesbar). Sie bleibt "
                          "unverändert.");
    QTest::newRow("locked reg") << "a.reg" << reg << false << "locked" << notOpened.arg("a.reg");
    QTest::newRow("locked ini") << "a.ini" << ini << false << "locked" << notOpened.arg("a.ini");
    QTest::newRow("locked export converted")
        << "e.reg" << utf16 << true << "locked"
        << QString::fromUtf8("Die Datei 'e.reg' konnte nicht konvertiert werden. Die Datei bleibt unverändert.");
}

// Each failure shows one warning with the program's caption, the apply
// button stays enabled, and the file stays as it was.
void ApplyTest::failureIsTold()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, convert);
    QFETCH(QString, fault);
    QFETCH(QString, told);
    test::Clicked w(name, bytes);
    w.app.AppTitle = "Quorrel Keyloom";
    w.form.Text1->setText("2");
    struct Thaw {
        QString file;
        ~Thaw() { QProcess::execute("chattr", {"-i", file}); }
    } thaw{w.file};
    if (fault == "immutable" && QProcess::execute("chattr", {"+i", w.file}) != 0)
        QSKIP("chattr +i needs root and a file system that has the flag");
    if (fault == "taken")
        test::writeFile(w.dir, "a.re_", "taken");
    // Another program holds it: it cannot be opened.
    if (fault == "locked")
        injectFileFault(FileOp::OpenRead, 1);
    if (convert)
        MessageBox::setNextAnswer(MessageBox::Yes);
    const test::ShownBoxes shown = test::boxesShownBy([&] {
        if (convert)
            w.form.mnuConvert->trigger();
        else
            QTest::mouseClick(w.form.Command1, Qt::LeftButton);
    });
    clearFileFaults();
    QCOMPARE(shown.count, 1);
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.caption, QString("Quorrel Keyloom"));
    QCOMPARE(shown.text, told);
    QVERIFY(w.form.Command1->isEnabled());
    QCOMPARE(test::readFile(w.file), bytes);
}

QTEST_MAIN(ApplyTest)
#include "apply_test.moc"
