#pragma once
// Runs one search off the window's thread, so that the window keeps
// answering while a large file is read. A search that takes longer than half
// a second shows a progress dialog whose "Abbrechen" stops it. The thread
// gets a copy of the request and touches no widget.

#include "document/find.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <thread>

class QProgressBar;
class QProgressDialog;
class QTimer;
class QWidget;

namespace keyloom {

class FindRunner : public QObject {
    Q_OBJECT
public:
    explicit FindRunner(QWidget* window);
    // Stops a running search and waits for its thread.
    ~FindRunner() override;

    bool busy() const { return worker_.joinable(); }
    // Starts a search for the next match, or with `backward` the previous
    // one, unless one is running; finished() follows on the window's
    // thread, unless the user cancels it.
    void start(FindRequest request, bool backward = false);

signals:
    void finished(const keyloom::FindResult& result);

private:
    void done(const FindResult& result);
    void showProgress();

    QWidget* window_;
    std::shared_ptr<FindControl> control_;
    std::thread worker_;
    std::int64_t size_ = 0;
    QString text_;
    QElapsedTimer clock_;
    QTimer* timer_ = nullptr;
    QProgressDialog* progress_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace keyloom
