#pragma once
// Runs one long read of files off the window's thread, so that the window
// keeps answering while large files are read. Work that takes longer than
// half a second shows a progress dialog whose "Abbrechen" stops it. The
// thread touches no widget. The find and the comparison are its two kinds.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <thread>

class QProgressBar;
class QProgressDialog;
class QTimer;
class QWidget;

namespace keyloom {

class ProgressRunner : public QObject {
    Q_OBJECT
public:
    // `title` is the progress dialog's caption.
    ProgressRunner(QWidget* window, QString title);
    // Stops the running work and waits for its thread.
    ~ProgressRunner() override;

    bool busy() const { return worker_.joinable(); }

protected:
    // How the running work is watched; each function is called on the
    // window's thread and must hold what it reads (a shared control).
    struct Watch {
        std::function<void()> cancel;
        std::function<bool()> cancelled;
        std::function<double()> fraction;  // how far it got, from 0 to 1
        QString label;                     // the dialog's text
    };
    // What the work hands back: called on the window's thread unless the
    // user cancelled meanwhile.
    using Answer = std::function<void()>;
    // Runs `work` on a thread of its own; the caller checked busy() first.
    void run(std::function<Answer()> work, Watch watch);

private:
    void done(const Answer& answer);
    void showProgress();

    QWidget* window_;
    QString title_;
    Watch watch_;
    std::thread worker_;
    QElapsedTimer clock_;
    QTimer* timer_ = nullptr;
    QProgressDialog* progress_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace keyloom
