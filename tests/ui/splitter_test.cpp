// The panes follow the real window's size and the dragged bar, offscreen.
// Layout arithmetic works on the outer size, frame included.

#include "ui/navigation.h"
#include "ui_test_util.h"

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>

using namespace keyloom;

namespace {

int twips(int pixels) { return pixels * 15; }

int outerWidth(const QWidget& w) { return w.frameGeometry().width(); }

void sendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x)
{
    QMouseEvent event(type, QPointF(x, 5), w->mapToGlobal(QPointF(x, 5)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

}  // namespace

class SplitterTest : public QObject {
    Q_OBJECT

private slots:
    void firstShowEnlargesToMinimumHeight();
    void widerWindowMovesKeyList();
    void dragFollowsPointerWithinLimits();
    void otherButtonsMoveNothing();
    void restoreReturnsBarToItsRememberedPlace();
};

void SplitterTest::firstShowEnlargesToMinimumHeight()
{
    AppModul app;
    Form1 form(app);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.frameGeometry().height(), 366);
    QCOMPARE(twips(form.List2->height()), 5490 - 930);
    QCOMPARE(app.SplitterLeft, std::int16_t(4860));
}

void SplitterTest::widerWindowMovesKeyList()
{
    AppModul app;
    Form1 form(app);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const int keyWidth = form.List2->width();
    form.resize(700, 500);
    QTRY_COMPARE(form.width(), 700);
    QCOMPARE(form.List2->width(), keyWidth);
    // List2's right edge lies 200 twips inside the outer right edge.
    QVERIFY(qAbs(twips(form.List2->geometry().right() + 1) - (twips(outerWidth(form)) - 200)) <= 15);
    QCOMPARE(form.Text1->width(), form.List1->width());
    QCOMPARE(form.Command1->width(), form.List1->width());
    QVERIFY(form.List1->geometry().right() < form.Picture1->x());
    // Too small: back to the minimum.
    form.resize(100, 100);
    QTRY_COMPARE(form.frameGeometry().width(), 454);
    QTRY_COMPARE(form.frameGeometry().height(), 366);
}

void SplitterTest::dragFollowsPointerWithinLimits()
{
    AppModul app;
    Form1 form(app);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const int start = form.Picture1->x();
    sendMouse(form.Picture1, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 4);
    QCOMPARE(form.Picture1->palette().color(QPalette::Window), QColor(Qt::black));
    sendMouse(form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 20);
    QCOMPARE(form.Picture1->x(), start + 20);
    QCOMPARE(app.SplitterLeft, std::int16_t(form.panes().Picture1.left));
    QCOMPARE(form.panes().List2.left, form.panes().Picture1.left + 80);
    sendMouse(form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 1000);
    QCOMPARE(form.panes().Picture1.left, float(twips(outerWidth(form)) - 1155));
    sendMouse(form.Picture1, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 4);
    QVERIFY(form.Picture1->palette().color(QPalette::Window) != QColor(Qt::black));
}

void SplitterTest::otherButtonsMoveNothing()
{
    AppModul app;
    Form1 form(app);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const int start = form.Picture1->x();
    sendMouse(form.Picture1, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, 4);
    QCOMPARE(form.Picture1->palette().color(QPalette::Window), QColor(Qt::black));
    sendMouse(form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, 40);
    sendMouse(form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton, 40);
    QCOMPARE(form.Picture1->x(), start);
}

void SplitterTest::restoreReturnsBarToItsRememberedPlace()
{
    AppModul app;
    Form1 form(app);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.showMaximized();
    QTRY_VERIFY(form.isMaximized());
    QCOMPARE(app.LayoutFlag, std::int16_t(1));
    form.showNormal();
    QTRY_COMPARE(app.LayoutFlag, std::int16_t(0));
    QCOMPARE(form.panes().Picture1.left, 4860.0f);  // never dragged: the load position

    form.showMaximized();
    QTRY_VERIFY(form.isMaximized());
    sendMouse(form.Picture1, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 4);
    sendMouse(form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 30);
    sendMouse(form.Picture1, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 4 + 30);
    const std::int16_t dragged = app.SplitterLeft;
    QCOMPARE(dragged, std::int16_t(form.panes().Picture1.left));
    form.showNormal();
    QTRY_COMPARE(app.LayoutFlag, std::int16_t(0));
    QCOMPARE(form.panes().Picture1.left, float(dragged));
}

QTEST_MAIN(SplitterTest)
#include "splitter_test.moc"
