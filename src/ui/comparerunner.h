#pragma once
// Runs one comparison of two files off the window's thread, so that the
// window keeps answering while large files are read. A comparison that takes
// longer than half a second shows a progress dialog whose "Abbrechen" stops
// it, as the find does. The thread touches no widget.

#include "document/compare.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <thread>

class QProgressBar;
class QProgressDialog;
class QTimer;
class QWidget;

namespace keyloom {

class CompareRunner : public QObject {
    Q_OBJECT
public:
    explicit CompareRunner(QWidget* window);
    // Stops a running comparison and waits for its thread.
    ~CompareRunner() override;

    bool busy() const { return worker_.joinable(); }
    // Starts comparing `a` with `b` unless a comparison runs; finished()
    // follows on the window's thread, unless the user cancels it.
    void start(const QString& a, const QString& b);

signals:
    void finished(const QString& a, const QString& b, const keyloom::Comparison& result);

private:
    void done(const Comparison& result);
    void showProgress();

    QWidget* window_;
    std::shared_ptr<CompareControl> control_;
    std::thread worker_;
    QString a_;
    QString b_;
    QElapsedTimer clock_;
    QTimer* timer_ = nullptr;
    QProgressDialog* progress_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace keyloom
