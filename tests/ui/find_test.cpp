// Ctrl+F, Enter, F3 and Shift+F3 in the real window: the match is selected
// through the lists' own handlers, the search wraps around the file's ends,
// and a text that occurs nowhere, or a file that cannot be read, is reported.

#include "common/window.h"
#include "ui/finddialog.h"
#include "ui/messagebox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>

using namespace keyloom;

class FindTest : public QObject {
    Q_OBJECT

private slots:
    void ctrlFEnterF3AndShiftF3WalkTheFile();
};

void FindTest::ctrlFEnterF3AndShiftF3WalkTheFile()
{
    QTemporaryDir dir;
    test::writeFile(dir, "x.reg",
                    "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"Name\"=\"a\"\r\n\r\n[HKEY_B\\Ziel]\r\n\"Name\"=\"erstes Ziel\"\r\n"
                    "\"Leer\"=\"\"\r\n\r\n[HKEY_C]\r\n\"Pfad\"=\"zweites ziel\"\r\n");
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    test::clickFile(form, dir, "x.reg");
    auto rows = [&] { return std::pair{form.List1->currentIndex().row(), form.List2->currentIndex().row()}; };
    QCOMPARE(rows(), std::pair(0, 0));

    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    FindDialog* dialog = form.findDialog;
    QTRY_VERIFY(dialog->isActiveWindow());
    QCOMPARE(dialog->windowTitle(), QString("Suchen"));
    QVERIFY(dialog->sectionsBox->isChecked() && dialog->keysBox->isChecked() && dialog->valuesBox->isChecked());
    QVERIFY(!dialog->caseBox->isChecked());
    QVERIFY(dialog->findButton->isDefault());
    QTest::keyClicks(dialog->textBox, "ZIEL");
    QTest::keyClick(dialog->textBox, Qt::Key_Return);

    // The section's name first: its first key is chosen by List1_Click.
    QTRY_COMPARE(rows(), std::pair(1, 0));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(form.Text1->text(), QString("erstes Ziel"));
    QTRY_VERIFY(form.List1->hasFocus());

    // F3 goes on from the name: that first key's value is the next match.
    QTest::keyClick(&form, Qt::Key_F3);
    QTRY_VERIFY(form.List2->hasFocus());
    QCOMPARE(rows(), std::pair(1, 0));
    QTest::keyClick(&form, Qt::Key_F3);
    QTRY_COMPARE(rows(), std::pair(2, 0));
    QCOMPARE(form.Text1->text(), QString("zweites ziel"));
    QVERIFY(!form.Command1->isEnabled());

    // Past the last match F3 goes on from the file's start, and the dialog,
    // shown beside the window, says so.
    QTest::keyClick(&form, Qt::Key_F3);
    QTRY_COMPARE(rows(), std::pair(1, 0));
    QCOMPARE(dialog->noteLabel->text(), QString("Am Dateianfang fortgesetzt."));
    QVERIFY(dialog->isVisible());
    QTRY_VERIFY(form.List1->hasFocus());

    // Shift+F3 goes back: before the first match, from the file's end.
    QTest::keyClick(&form, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(rows(), std::pair(2, 0));
    QCOMPARE(dialog->noteLabel->text(), QString("Am Dateiende fortgesetzt."));
    QTest::keyClick(&form, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(rows(), std::pair(1, 0));
    QCOMPARE(form.Text1->text(), QString("erstes Ziel"));
    QVERIFY(dialog->noteLabel->text().isEmpty());
    QVERIFY(!dialog->isVisible());

    // Not found only where the text occurs nowhere.
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(dialog->isActiveWindow());
    dialog->textBox->setText("fehlt");
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::keyClick(dialog->textBox, Qt::Key_Return);
    QTRY_COMPARE(MessageBox::lastQuestion(), QString("'fehlt' wurde nicht gefunden."));
    QCOMPARE(rows(), std::pair(1, 0));

    // Nor where the file could not be read.
    QVERIFY(QFile::remove(dir.filePath("x.reg")));
    MessageBox::setNextAnswer(MessageBox::Yes);
    QTest::keyClick(dialog->textBox, Qt::Key_Return);
    QTRY_COMPARE(MessageBox::lastQuestion(), QString::fromUtf8("Die Datei 'x.reg' konnte nicht vollständig gelesen "
                                                               "werden."));
    QCOMPARE(rows(), std::pair(1, 0));
    dialog->textBox->setText("ZIEL");

    // The dialog keeps its settings for the next time.
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(dialog->textBox->text(), QString("ZIEL"));
}

QTEST_MAIN(FindTest)
#include "find_test.moc"
