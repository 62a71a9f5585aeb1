// Rows and the value box that the window shows only in part have their whole
// text as tooltip and accessible description; those shown whole have neither.

#include "ui_test_util.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListView>
#include <QToolTip>
#include <QtTest>

using namespace keyloom;

namespace {

const QString kLongSection = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorrel\\Keyloom\\Settings\\Window\\First";
const QString kLongKey = "A key name far too long for the key list to show it whole";
const QString kLongValue = "a value far longer than the value box is wide, so that only its end can be seen there";
const QString kLongHex = "hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19";
const QString kLongFile = "an export whose name no file list shows whole.reg";
const QString kHint = QString::fromUtf8("Rechtsklick für Optionen");
// Longer than a tooltip line: broken after its last backslash there.
const QString kLineHead =
    "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{01234567-89AB-CDEF-0123-456789ABCDEF}\\InprocServer32\\";
const QString kLineTail = "ThreadingModel";

// Rests the mouse on `row` of the list `widget`, or on `widget` itself for a
// negative row; the tooltip that shows, "" for none.
QString hover(QWidget* widget, int row)
{
    QWidget* target = widget;
    QPoint at(5, 5);
    if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && row >= 0) {
        target = view->viewport();
        at = view->visualRect(view->model()->index(row, 0)).center();
    }
    QHelpEvent rest(QEvent::ToolTip, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &rest);
    return rest.isAccepted() ? QToolTip::text() : QString();
}

// What a screen reader hears as the description of `row` of `widget` (of
// `widget` itself for a negative row).
QString accessibleDescription(QWidget* widget, int row)
{
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(widget);
    if (row >= 0 && item && item->tableInterface())
        item = item->tableInterface()->cellAt(row, 0);
    return item ? item->text(QAccessible::Description) : QString("<none>");
}

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
    const QString cutHex = kLongHex + "\nREG_BINARY: 26 Bytes";
    const QString line = kLineHead + kLineTail;
    QTest::newRow("section_fits") << "List1" << 0 << ""
                                  << "";
    QTest::newRow("section_cut") << "List1" << 1 << kLongSection << kLongSection;
    QTest::newRow("section_same_beginning") << "List1" << 2 << kLongSection + "2" << kLongSection + "2";
    QTest::newRow("section_beyond_a_line") << "List1" << 3 << kLineHead + "\n" + kLineTail << line;
    QTest::newRow("key_fits") << "List2" << 0 << ""
                              << "";
    QTest::newRow("key_cut") << "List2" << 1 << kLongKey << kLongKey;
    QTest::newRow("file_fits_keeps_hint") << "File1" << 1 << kHint << "";
    QTest::newRow("file_cut") << "File1" << 0 << kLongFile + "\n" + kHint << kLongFile;
    QTest::newRow("value_fits") << "Text1" << 0 << ""
                                << "";
    QTest::newRow("value_cut") << "Text1" << 2 << kLongValue << kLongValue;
    QTest::newRow("disabled_value_fits") << "Text1" << 3 << "REG_BINARY: 2 Bytes"
                                         << "REG_BINARY: 2 Bytes";
    QTest::newRow("disabled_value_cut") << "Text1" << 4 << cutHex << cutHex;
}

void ToolTipTest::wholeTextWhereCut()
{
    QFETCH(QString, control);
    QFETCH(int, row);
    QFETCH(QString, toolTip);
    QFETCH(QString, description);
    QTemporaryDir dir;
    const QString exportText = "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"S\"=\"short\"\r\n\"" + kLongKey + "\"=\"x\"\r\n\"L\"=\"" +
                               kLongValue + "\"\r\n\"B\"=hex:01,02\r\n\"H\"=" + kLongHex + "\r\n[" + kLongSection +
                               "]\r\n[" + kLongSection + "2]\r\n[" + kLineHead + kLineTail + "]\r\n";
    test::writeFile(dir, "b.reg", exportText.toLatin1());
    test::writeFile(dir, kLongFile, "REGEDIT4\r\n");
    AppModul app;
    Form1 form(app);
    form.show();
    test::clickFile(form, dir, "b.reg");
    QWidget* widget = form.findChild<QWidget*>(control);
    if (widget == form.Text1) {
        test::clickRow(form.List2, row);
        row = -1;
    }
    QCOMPARE(hover(widget, row), toolTip);
    QCOMPARE(accessibleDescription(widget, row), description);
}

QTEST_MAIN(ToolTipTest)
#include "tooltip_test.moc"
