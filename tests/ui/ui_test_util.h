#pragma once
// Shared helpers for the widget tests: files in a temporary folder and a
// started window.

#include "app/appmodul.h"
#include "platform/singleinstance.h"
#include "ui/form1.h"
#include "ui/startup.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace keyloom::test {

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

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
