// The click chain through the real widgets: file, section, key, value, and
// the apply button's state after each step.

#include "common/window.h"
#include "ui/navigation.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>

using namespace keyloom;

namespace {

QStringList entries(const QListView* view)
{
    QStringList list;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        list << view->model()->index(row, 0).data().toString();
    return list;
}

}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT

private slots:
    void iniFileShowsFirstSectionKeyAndValue();
    void registryChainUnquotesAndDisablesHex();
    void utf16ExportWaitsInText2();
    void fileWithoutMarkerKeepsText2();
    void listingStopsAtBareFileName();
    void encodingsShowUmlauts_data();
    void encodingsShowUmlauts();
    void lookupOfLoneQuoteKeepsText();
    void longValuesAreNeverCutOnApply();
    void valueBoxToolTipDecodesTheValue_data();
    void valueBoxToolTipDecodesTheValue();
};

void DocumentTest::iniFileShowsFirstSectionKeyAndValue()
{
    QTemporaryDir dir;
    test::writeFile(
        dir, "setup.ini",
        "; c\r\n[Main]\r\nKey1=abc\r\n; note\r\n  Indented=1\r\nKey2 = x\r\n\r\n[B]\r\nz=1\r\n[Main]\r\nKey3=3\r\n");
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    test::clickFile(form, dir, "setup.ini");
    QCOMPARE(entries(form.List1), QStringList({"Main", "B", "Main"}));
    QCOMPARE(entries(form.List2), QStringList({"Key1", "Key2 ", "Key3"}));
    QCOMPARE(form.Label1->text(), QString("Main"));
    QCOMPARE(form.Text1->text(), QString("abc"));
    QVERIFY(!form.Command1->isEnabled());
    QCOMPARE(form.windowTitle(), QString("Quorrel Keyloom - setup.ini"));
    QCOMPARE(test::comparablePath(app.CurrentFile), test::comparablePath(dir.filePath("setup.ini")));

    test::clickRow(form.List2, 1);  // "Key2 " with its blank finds "Key2 = x"
    QCOMPARE(form.Text1->text(), QString("x"));
    QVERIFY(!form.Command1->isEnabled());
    form.Text1->setText("y");
    QVERIFY(form.Command1->isEnabled());
    test::clickRow(form.List1, 1);
    QCOMPARE(entries(form.List2), QStringList({"z"}));
    QCOMPARE(form.Text1->text(), QString("1"));
    QVERIFY(!form.Command1->isEnabled());
}

void DocumentTest::registryChainUnquotesAndDisablesHex()
{
    QTemporaryDir dir;
    test::writeFile(dir, "x.REG",
                    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n\"Version\"=\"1.0\"\r\n@=\"text\"\r\n"
                    "\"Data\"=hex:01,02,\\\r\n  03,04\r\n\"Count\"=dword:0000000a\r\n");
    test::writeFile(dir, "y.ini", "[A]\r\nk=v\r\n");
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "x.REG");
    QCOMPARE(entries(form.List2), QStringList({"Version", "@", "Data", "Count"}));
    QCOMPARE(form.Text1->text(), QString("1.0"));
    QCOMPARE(app.QuoteState, std::int16_t(2));
    test::clickRow(form.List2, 1);
    QCOMPARE(form.Text1->text(), QString("text"));
    test::clickRow(form.List2, 2);
    QCOMPARE(form.Text1->text(), QString("hex:01,02,\\"));
    QVERIFY(!form.Text1->isEnabled());
    test::clickRow(form.List2, 3);
    QCOMPARE(form.Text1->text(), QString("dword:0000000a"));
    QVERIFY(form.Text1->isEnabled());
    QCOMPARE(app.QuoteState, std::int16_t(0));
    // An INI value after a "hex" value is editable.
    test::clickRow(form.List2, 2);
    QVERIFY(!form.Text1->isEnabled());
    test::clickFile(form, dir, "y.ini");
    QCOMPARE(form.Text1->text(), QString("v"));
    QVERIFY(form.Text1->isEnabled());
}

void DocumentTest::utf16ExportWaitsInText2()
{
    QTemporaryDir dir;
    test::writeFile(dir, "e.reg",
                    test::utf16le("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_A\\Größe]\r\n\"Wert\"=\"ä\"\r\n"));
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    test::clickFile(form, dir, "e.reg");
    QCOMPARE(app.ConvertPending, std::int16_t(1));
    QCOMPARE(form.windowTitle(), QString("Quorrel Keyloom - e.reg*"));
    QCOMPARE(QByteArray::fromStdString(form.Text2->bytes()), QByteArray("REGEDIT4\r\n\r\n[HKEY_A\\Gr\xF6\xDF"
                                                                        "e]\r\n\"Wert\"=\"\xE4\"\r\n"));
    QCOMPARE(entries(form.List1), QStringList({QString::fromUtf8("HKEY_A\\Größe")}));
    QCOMPARE(form.Text1->text(), QString::fromUtf8("ä"));
    QVERIFY(!form.Text2->isVisible());
}

void DocumentTest::fileWithoutMarkerKeepsText2()
{
    QTemporaryDir dir;
    test::writeFile(dir, "a.reg", test::utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n"));
    test::writeFile(dir, "b.reg", "REGEDIT4\r\n[K]\r\n");
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "a.reg");
    const std::string waiting = form.Text2->bytes();
    test::clickFile(form, dir, "b.reg");
    QCOMPARE(app.ConvertPending, std::int16_t(0));
    QVERIFY(!form.windowTitle().endsWith('*'));
    QCOMPARE(form.Text2->bytes(), waiting);
}

void DocumentTest::listingStopsAtBareFileName()
{
    QTemporaryDir dir;
    test::writeFile(dir, "d.inf", "[Files]\r\na=1\r\nb=2\r\nx.sys\r\nc=3\r\n[Other]\r\nq=9\r\n");
    AppModul app;
    Form1 form(app);
    form.Dir1->setPath(dir.path());
    form.Text1->setText("before");
    QVERIFY(form.Command1->isEnabled());
    test::clickFile(form, dir, "d.inf");
    QCOMPARE(entries(form.List2), QStringList({"a", "b"}));
    QVERIFY(!form.List2->currentIndex().isValid());
    QCOMPARE(form.Text1->text(), QString());
    // The load disabled the button; emptying the box again changed nothing.
    QVERIFY(!form.Command1->isEnabled());
    // A section click with text in the box leaves the button enabled.
    test::clickRow(form.List1, 1);
    QCOMPARE(form.Text1->text(), QString("9"));
    test::clickRow(form.List1, 0);
    QCOMPARE(entries(form.List2), QStringList({"a", "b"}));
    QVERIFY(form.Command1->isEnabled());
}

void DocumentTest::encodingsShowUmlauts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("utf-8") << QByteArray("[Müll]\r\nSchlüssel=Wär\r\n");
    QTest::newRow("windows-1252") << QByteArray("[M\xFCll]\r\nSchl\xFCssel=W\xE4r\r\n");
    QTest::newRow("utf-8 with mark") << QByteArray("\xEF\xBB\xBF[Müll]\r\nSchlüssel=Wär\r\n");
}

void DocumentTest::encodingsShowUmlauts()
{
    QFETCH(QByteArray, bytes);
    test::Clicked w("u.ini", bytes);
    QCOMPARE(entries(w.form.List1), QStringList({QString::fromUtf8("Müll")}));
    QCOMPARE(entries(w.form.List2), QStringList({QString::fromUtf8("Schlüssel")}));
    QCOMPARE(w.form.Text1->text(), QString::fromUtf8("Wär"));
}

void DocumentTest::lookupOfLoneQuoteKeepsText()
{
    test::Clicked w("q.reg", "[K]\r\n\"A\"=\"\r\n\"B\"=\"b\"\r\n");
    // The first key's value is a lone quote: the lookup fails and the box
    // keeps the empty text the listing left; the button was not disabled.
    QCOMPARE(w.form.Text1->text(), QString());
    test::clickRow(w.form.List2, 1);
    QCOMPARE(w.form.Text1->text(), QString("b"));
    QVERIFY(!w.form.Command1->isEnabled());
}

void DocumentTest::longValuesAreNeverCutOnApply()
{
    QTemporaryDir dir;
    const QByteArray iniLong(3000, 'a');
    const QByteArray ini2047(2047, 'b');
    test::writeFile(dir, "l.ini", "[S]\r\nlong=" + iniLong + "\r\nfull=" + ini2047 + "\r\n");
    const QByteArray regLong(40000, 'r');
    const QString reg = test::writeFile(dir, "l.reg", "[K]\r\n\"V\"=\"" + regLong + "\"\r\n");
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "l.ini");
    // The profile read shows 2047 bytes of the 3000; the box is read-only so
    // that an apply cannot cut the value in the file.
    QCOMPARE(form.Text1->text().size(), 2047);
    QVERIFY(!form.Text1->isEnabled());
    // The tooltip says why.
    QVERIFY(form.Text1->toolTip().contains(longValueNote()));
    test::clickRow(form.List2, 1);
    QCOMPARE(form.Text1->text(), QString(ini2047));
    QVERIFY(form.Text1->isEnabled());
    // A registry value beyond the edit box's default limit is shown whole.
    test::clickFile(form, dir, "l.reg");
    QCOMPARE(form.Text1->text().size(), regLong.size());
    form.Text1->setText(form.Text1->text() + "x");
    form.Command1_Click();
    QCOMPARE(test::readFile(reg), QByteArray("[K]\r\n\"V\"=\"" + regLong + "x\"\r\n"));
}

void DocumentTest::valueBoxToolTipDecodesTheValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("toolTip");
    const QByteArray regedit4 =
        "REGEDIT4\r\n\r\n[K]\r\n\"S\"=\"x\"\r\n\"D\"=dword:0000000a\r\n"
        "\"P\"=hex(2):25,50,\\\r\n  41,00\r\n\"M\"=hex(7):61,00,62,00,00\r\n\"B\"=hex:01,\\\r\n  "
        "02\r\n\"T\"=\"hex:01\"\r\n";
    const QByteArray export5 = test::utf16le(QString::fromUtf8(
        "Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"P\"=hex(2):25,00,50,00,\\\r\n  a9,03,00,00\r\n"));
    QTest::newRow("string") << regedit4 << 0 << true << "";
    QTest::newRow("dword_editable") << regedit4 << 1 << true << "REG_DWORD: 10 (0x0000000a)";
    QTest::newRow("expand_sz_8_bit") << regedit4 << 2 << false << "REG_EXPAND_SZ: %PA";
    QTest::newRow("binary") << regedit4 << 4 << false << "REG_BINARY: 2 Bytes";
    QTest::newRow("string_looking_like_hex") << regedit4 << 5 << false << "";
    QTest::newRow("expand_sz_utf16") << export5 << 0 << false << QString::fromUtf8("REG_EXPAND_SZ: %PΩ");
}

void DocumentTest::valueBoxToolTipDecodesTheValue()
{
    QFETCH(QByteArray, file);
    QFETCH(int, row);
    QFETCH(bool, enabled);
    QFETCH(QString, toolTip);
    QTemporaryDir dir;
    test::writeFile(dir, "v.reg", file);
    test::writeFile(dir, "w.ini", "[A]\r\nk=v\r\n");
    AppModul app;
    Form1 form(app);
    test::clickFile(form, dir, "v.reg");
    test::clickRow(form.List2, row);
    QCOMPARE(form.Text1->isEnabled(), enabled);
    QCOMPARE(form.Text1->toolTip(), toolTip);
    // A disabled box shows it too, on the mouse resting over it. The box is
    // wide enough for the whole value with any font, so that the tip is the
    // description alone.
    form.Text1->setMinimumWidth(400);
    form.show();
    // Where the style fades tips out, the last row's tip goes only once its
    // hiding timer has run.
    QTRY_COMPARE(test::hover(form.Text1), toolTip);
    // An INI value says nothing more than its text.
    test::clickFile(form, dir, "w.ini");
    QCOMPARE(form.Text1->toolTip(), QString());
}

QTEST_MAIN(DocumentTest)
#include "document_test.moc"
