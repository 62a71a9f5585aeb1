// "vergleichen mit..." in the file list's popup menu: it asks for the second
// file in the current folder, shows the differences in the window
// "Unterschiede", whose double-click selects the section and key here, and
// says "Keine Unterschiede." for equal files.

#include "common/window.h"
#include "ui/differenceswindow.h"
#include "ui/messagebox.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QtTest>

using namespace keyloom;

class CompareTest : public QObject {
    Q_OBJECT

private slots:
    void menuEntryComparesAndDoubleClickSelects();
};

void CompareTest::menuEntryComparesAndDoubleClickSelects()
{
    QTemporaryDir dir;
    test::writeFile(dir, "a.reg",
                    "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"x\"=\"1\"\r\n\r\n[HKEY_B]\r\n\"y\"=\"1\"\r\n\"z\"=\"2\"\r\n");
    const QString b =
        test::writeFile(dir, "b.reg", "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"x\"=\"1\"\r\n\r\n[hkey_b]\r\n\"Z\"=\"3\"\r\n");
    test::writeFile(dir, "c.reg",
                    test::utf16le("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_A]\r\n\"x\"=\"1\"\r\n"
                                  "\r\n[HKEY_B]\r\n\"y\"=\"1\"\r\n\"z\"=\"2\"\r\n"));
    AppModul app;
    app.AppTitle = "Quorrel Keyloom";
    Form1 form(app);
    form.show();
    test::clickFile(form, dir, "a.reg");

    // The entry follows the specified ones.
    const QList<QAction*> entries = form.mnuPop->actions();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.at(3), form.mnuCompare);
    QCOMPARE(form.mnuCompare->text(), QString("vergleichen mit..."));

    QString askedIn;
    QString answer = b;
    secondFileChooser() = [&](QWidget*, const QString& folder) {
        askedIn = folder;
        return answer;
    };
    form.File1_MouseDown(2);
    form.mnuPop->hide();
    form.mnuCompare->trigger();
    DifferencesWindow* window = nullptr;
    QTRY_VERIFY((window = form.findChild<DifferencesWindow*>()) != nullptr);
    QCOMPARE(QDir(askedIn), QDir(dir.path()));
    QVERIFY(window->isVisible() && !window->isModal());
    QCOMPARE(window->windowTitle(), QString("Unterschiede"));
    QAbstractItemModel* model = window->table->model();
    QCOMPARE(model->columnCount(), 4);
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Abschnitt", "Schlüssel", "a.reg", "b.reg"}));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(1, 1).data().toString(), QString("z"));
    QCOMPARE(model->index(1, 2).data().toString(), QString("2"));
    QCOMPARE(model->index(1, 3).data().toString(), QString("3"));

    // A double-click on the row of "z" selects HKEY_B and z in a.reg.
    form.List1->setCurrentIndex(form.List1->model()->index(0, 0));
    const QRect cell = window->table->visualRect(model->index(1, 0));
    QTest::mouseClick(window->table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(window->table->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_COMPARE(form.List1->currentIndex().row(), 1);
    QCOMPARE(form.List2->currentIndex().row(), 1);
    QCOMPARE(form.Text1->text(), QString("2"));
    window->close();

    // An export and the same content as UTF-16: nothing to show.
    answer = dir.filePath("c.reg");
    MessageBox::setNextAnswer(MessageBox::Yes);
    form.mnuCompare->trigger();
    QTRY_COMPARE(MessageBox::lastQuestion(), QString("Keine Unterschiede."));
}

QTEST_MAIN(CompareTest)
#include "compare_test.moc"
