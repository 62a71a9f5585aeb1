// The panes follow the real window's size and the dragged bar, offscreen.
// Layout arithmetic works on the outer size, frame included.

#include "common/window.h"
#include "ui/navigation.h"

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

// A window shown on the screen, as the user first sees it.
struct Shown {
    AppModul app;
    Form1 form{app};

    Shown()
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
};

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
    Shown w;
    QCOMPARE(w.form.frameGeometry().height(), 366);
    QCOMPARE(twips(w.form.List2->height()), 5490 - 930);
    QCOMPARE(w.app.SplitterLeft, std::int16_t(4860));
}

void SplitterTest::widerWindowMovesKeyList()
{
    Shown w;
    const int keyWidth = w.form.List2->width();
    w.form.resize(700, 500);
    QTRY_COMPARE(w.form.width(), 700);
    QCOMPARE(w.form.List2->width(), keyWidth);
    // List2's right edge lies 200 twips inside the outer right edge.
    QVERIFY(qAbs(twips(w.form.List2->geometry().right() + 1) - (twips(outerWidth(w.form)) - 200)) <= 15);
    QCOMPARE(w.form.Text1->width(), w.form.List1->width());
    QCOMPARE(w.form.Command1->width(), w.form.List1->width());
    QVERIFY(w.form.List1->geometry().right() < w.form.Picture1->x());
    // Too small: back to the minimum.
    w.form.resize(100, 100);
    QTRY_COMPARE(w.form.frameGeometry().width(), 454);
    QTRY_COMPARE(w.form.frameGeometry().height(), 366);
}

void SplitterTest::dragFollowsPointerWithinLimits()
{
    Shown w;
    const int start = w.form.Picture1->x();
    sendMouse(w.form.Picture1, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 4);
    QCOMPARE(w.form.Picture1->palette().color(QPalette::Window), QColor(Qt::black));
    sendMouse(w.form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 20);
    QCOMPARE(w.form.Picture1->x(), start + 20);
    QCOMPARE(w.app.SplitterLeft, std::int16_t(w.form.panes().Picture1.left));
    QCOMPARE(w.form.panes().List2.left, w.form.panes().Picture1.left + 80);
    sendMouse(w.form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 1000);
    QCOMPARE(w.form.panes().Picture1.left, float(twips(outerWidth(w.form)) - 1155));
    sendMouse(w.form.Picture1, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 4);
    QVERIFY(w.form.Picture1->palette().color(QPalette::Window) != QColor(Qt::black));
}

void SplitterTest::otherButtonsMoveNothing()
{
    Shown w;
    const int start = w.form.Picture1->x();
    sendMouse(w.form.Picture1, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, 4);
    QCOMPARE(w.form.Picture1->palette().color(QPalette::Window), QColor(Qt::black));
    sendMouse(w.form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, 40);
    sendMouse(w.form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton, 40);
    QCOMPARE(w.form.Picture1->x(), start);
}

void SplitterTest::restoreReturnsBarToItsRememberedPlace()
{
    Shown w;
    w.form.showMaximized();
    QTRY_VERIFY(w.form.isMaximized());
    QCOMPARE(w.app.LayoutFlag, std::int16_t(1));
    w.form.showNormal();
    QTRY_COMPARE(w.app.LayoutFlag, std::int16_t(0));
    QCOMPARE(w.form.panes().Picture1.left, 4860.0f);  // never dragged: the load position

    w.form.showMaximized();
    QTRY_VERIFY(w.form.isMaximized());
    sendMouse(w.form.Picture1, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 4);
    sendMouse(w.form.Picture1, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 4 + 30);
    sendMouse(w.form.Picture1, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 4 + 30);
    const std::int16_t dragged = w.app.SplitterLeft;
    QCOMPARE(dragged, std::int16_t(w.form.panes().Picture1.left));
    w.form.showNormal();
    QTRY_COMPARE(w.app.LayoutFlag, std::int16_t(0));
    QCOMPARE(w.form.panes().Picture1.left, float(dragged));
}

QTEST_MAIN(SplitterTest)
#include "splitter_test.moc"
