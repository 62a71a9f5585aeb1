// Rows and the value box that the window shows only in part have their whole
// text as tooltip and accessible description; those shown whole have neither.

#include "common/window.h"

#include <QLineEdit>
#include <QtTest>

using namespace keyloom;

namespace {

const QString kSection = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorrel\\Keyloom\\Settings\\Window\\First";
const QString kKey = "A key name far too long for the key list to show it whole";
const QString kValue = "a value far longer than the value box is wide, so that only its end can be seen there";
const QString kHex = "hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19";
const QString kFile = "an export whose name no file list shows whole.reg";
const QString kHint = QString::fromUtf8("Rechtsklick für Optionen");
// Longer than a tooltip line, which ends after the last backslash it holds.
const QString kHead = "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{01234567-89AB-CDEF-0123-456789ABCDEF}\\Inproc\\";

}  // namespace

class ToolTipTest : public QObject {
    Q_OBJECT

private slots:
    void wholeTextWhereCut_data();
    void wholeTextWhereCut();
};

void ToolTipTest::wholeTextWhereCut_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("row");  // of the control; for Text1 the row of List2 chosen
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("description");
    const QString hex = kHex + "\nREG_BINARY: 26 Bytes";
    QTest::newRow("section_fits") << "List1" << 0 << ""
                                  << "";
    QTest::newRow("section_cut") << "List1" << 1 << kSection << kSection;
    QTest::newRow("section_same_beginning") << "List1" << 2 << kSection + "2" << kSection + "2";
    QTest::newRow("section_beyond_a_line") << "List1" << 3 << kHead + "\nThreadingModel" << kHead + "ThreadingModel";
    QTest::newRow("key_fits") << "List2" << 0 << ""
                              << "";
    QTest::newRow("key_cut") << "List2" << 1 << kKey << kKey;
    QTest::newRow("file_cut") << "File1" << 0 << kFile + "\n" + kHint << kFile;
    QTest::newRow("file_fits_keeps_hint") << "File1" << 1 << kHint << "";
    QTest::newRow("value_fits") << "Text1" << 0 << ""
                                << "";
    QTest::newRow("value_cut") << "Text1" << 2 << kValue << kValue;
    const QString x(1100, 'x');  // ten lines and "…" in the tooltip, all of it in the description
    QTest::newRow("value_beyond_ten_lines") << "Text1" << 5 << QStringList(10, x.left(100)).join('\n') + "…" << x;
    QTest::newRow("disabled_value_fits") << "Text1" << 3 << "REG_BINARY: 2 Bytes"
                                         << "REG_BINARY: 2 Bytes";
    QTest::newRow("disabled_value_cut") << "Text1" << 4 << hex << hex;
}

void ToolTipTest::wholeTextWhereCut()
{
    QFETCH(QString, control);
    QFETCH(int, row);
    QFETCH(QString, toolTip);
    QFETCH(QString, description);
    QTemporaryDir dir;
    const QString text = "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"S\"=\"short\"\r\n\"" + kKey + "\"=\"x\"\r\n\"L\"=\"" + kValue +
                         "\"\r\n\"B\"=hex:01,02\r\n\"H\"=" + kHex + "\r\n\"X\"=\"" + QString(1100, 'x') + "\"\r\n[" +
                         kSection + "]\r\n[" + kSection + "2]\r\n[" + kHead + "ThreadingModel]\r\n";
    test::writeFile(dir, "b.reg", text.toLatin1());
    test::writeFile(dir, kFile, "REGEDIT4\r\n");
    AppModul app;
    Form1 form(app);
    form.show();
    test::clickFile(form, dir, "b.reg");
    QWidget* widget = form.findChild<QWidget*>(control);
    if (widget == form.Text1) {
        test::clickRow(form.List2, row);
        row = -1;
    }
    QCOMPARE(test::hover(widget, row), toolTip);
    QCOMPARE(test::accessibleDescription(widget, row), description);
}

QTEST_MAIN(ToolTipTest)
#include "tooltip_test.moc"
