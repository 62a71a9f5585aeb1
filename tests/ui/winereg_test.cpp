// Wine's own registry file in the window: the lists show decoded names, the
// value box a decoded string, and the popup menu offers neither conversion
// nor space insertion.

#include "common/window.h"

#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QtTest>

using namespace keyloom;

class WineRegistryTest : public QObject {
    Q_OBJECT

private slots:
    void browseDecodedAndMenuEntriesOff();
};

void WineRegistryTest::browseDecodedAndMenuEntriesOff()
{
    test::Clicked w(QStringLiteral("user.reg"), "WINE REGISTRY Version 2\n\n#arch=win64\n\n"
                                                "[Control Panel\\\\Desktop] 1796704138\n#time=1dd86cca8164b6e\n"
                                                "\"Wheel\"=\"3\"\n\n"
                                                "[Control Panel\\\\\\xd83c\\xdf0e] 1796704139\n"
                                                "\"Gr\\xfc\\x00dfe\"=\"\\xe4 \\\"x\\\"\"\n");
    w.form.show();
    QCOMPARE(w.form.List1->model()->rowCount(), 2);
    QCOMPARE(w.form.List1->model()->index(0, 0).data().toString(), QStringLiteral("Control Panel\\Desktop"));
    QCOMPARE(w.form.List1->model()->index(1, 0).data().toString(), QString::fromUtf8("Control Panel\\🌎"));
    QCOMPARE(w.form.List2->model()->rowCount(), 1);  // #time is no key
    QCOMPARE(w.form.Text1->text(), QStringLiteral("3"));
    test::clickRow(w.form.List1, 1);
    QCOMPARE(w.form.List2->model()->index(0, 0).data().toString(), QString::fromUtf8("Grüße"));
    QCOMPARE(w.form.Text1->text(), QString::fromUtf8("ä \"x\""));
    QVERIFY(w.form.Text1->isEnabled());
    QTest::mouseClick(w.form.File1->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(!w.form.mnuConvert->isEnabled());
    QVERIFY(!w.form.mnuSpace->isEnabled());
    w.form.mnuPop->close();
}

QTEST_MAIN(WineRegistryTest)
#include "winereg_test.moc"
