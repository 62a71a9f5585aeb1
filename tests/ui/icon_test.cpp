// The window icon comes in every rendered size, so that large and high-DPI
// uses get a sharp picture rather than a small one scaled up.

#include "ui/appmodul.h"
#include "ui/form1.h"

#include <QtTest>

using namespace keyloom;

class IconTest : public QObject {
    Q_OBJECT

private slots:
    void everySize();
    void largeIsNotScaledUp();
};

void IconTest::everySize()
{
    AppModul app;
    Form1 form(app);
    const QList<QSize> sizes = form.windowIcon().availableSizes();
    for (const int size : {16, 32, 48, 64, 128, 256})
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
}

void IconTest::largeIsNotScaledUp()
{
    AppModul app;
    Form1 form(app);
    const QImage large = form.windowIcon().pixmap(QSize(256, 256)).toImage();
    QCOMPARE(large.size(), QSize(256, 256));
    QCOMPARE(large, QImage(QStringLiteral(":/icons/256.png")).convertToFormat(large.format()));
}

QTEST_MAIN(IconTest)
#include "icon_test.moc"
