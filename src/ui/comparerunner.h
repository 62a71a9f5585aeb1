#pragma once
// Runs one comparison of two files off the window's thread, with the
// progress dialog the find has too.

#include "document/compare.h"
#include "ui/progressrunner.h"

namespace keyloom {

class CompareRunner : public ProgressRunner {
    Q_OBJECT
public:
    explicit CompareRunner(QWidget* window) : ProgressRunner(window, QStringLiteral("Vergleichen")) {}

    // Starts comparing `a` with `b` unless a comparison runs; finished()
    // follows on the window's thread, unless the user cancels it.
    void start(const QString& a, const QString& b);

signals:
    void finished(const QString& a, const QString& b, const keyloom::Comparison& result);
};

}  // namespace keyloom
