#pragma once
// Helpers for the widget tests: clicks on the lists and a started window.

#include "platform/singleinstance.h"
#include "ui/appmodul.h"
#include "ui/form1.h"
#include "ui/startup.h"

#include "common/files.h"
#include "common/utf16.h"
#include "ui/navigation.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <functional>
#include <memory>

namespace keyloom::test {

// A path as the window compares it: on Windows with either separator and
// in any letter case (the window builds its paths with "\\", and
// proper-cases the names it cannot find), elsewhere exactly as given.
inline QString comparablePath(const QString& path)
{
#ifdef _WIN32
    return QDir::fromNativeSeparators(path).toLower();
#else
    return path;
#endif
}

// Moves the lists to `dir` and selects `name`, as a user's click does.
inline void clickFile(Form1& form, const QTemporaryDir& dir, const QString& name)
{
    form.Dir1->setPath(dir.path());
    const auto items = form.File1->findItems(name, Qt::MatchExactly);
    QVERIFY(!items.isEmpty());
    form.File1->setCurrentItem(items.first());
}

inline void clickRow(QListView* view, int row) { view->setCurrentIndex(view->model()->index(row, 0)); }

// Rests the mouse on `row` of the list `widget`, or on `widget` itself for a
// negative row; the tooltip that shows, "" for none.
inline QString hover(QWidget* widget, int row = -1)
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

// What a screen reader hears as the description of `row` of `widget`, or of
// `widget` itself for a negative row.
inline QString accessibleDescription(QWidget* widget, int row = -1)
{
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(widget);
    if (row >= 0 && item && item->tableInterface())
        item = item->tableInterface()->cellAt(row, 0);
    return item ? item->text(QAccessible::Description) : QString("<none>");
}

// `text` as an UTF-16LE file with its byte-order mark.
inline QByteArray utf16le(const QString& text)
{
    return QByteArray::fromStdString(
        utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()))));
}

// The message boxes that `action` shows, each closed with OK as soon as it
// is up: how many, and the icon, caption and text of the last one.
struct ShownBoxes {
    int count = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
};

inline ShownBoxes boxesShownBy(const std::function<void()>& action)
{
    ShownBoxes shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        shown = {shown.count + 1, box->icon(), box->windowTitle(), box->text()};
        box->done(QMessageBox::Ok);
    });
    watch.start(1);
    action();
    return shown;
}

// A window in which the user has clicked the file `name`, written with
// `bytes` into a folder of its own.
struct Clicked {
    QTemporaryDir dir;
    QString file;
    AppModul app;
    Form1 form{app};

    Clicked(const QString& name, QByteArrayView bytes) : file(writeFile(dir, name, bytes))
    {
        clickFile(form, dir, name);
    }
};

// A started editor: its state, its lock and its window.
struct Started {
    QTemporaryDir lockDir;
    AppModul app;
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<Form1> form;

    explicit Started(const QString& argument = {})
        : instance(std::make_unique<SingleInstance>(lockDir.filePath("lock")))
    {
        form = Main(argument, app, *instance);
    }
};

}  // namespace keyloom::test
