#include "ui/findrunner.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace keyloom {

namespace {

constexpr int kProgressAfterMs = 500;
constexpr int kPollMs = 100;
constexpr int kSteps = 1000;

}  // namespace

FindRunner::FindRunner(QWidget* window) : QObject(window), window_(window)
{
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &FindRunner::showProgress);
}

FindRunner::~FindRunner()
{
    if (worker_.joinable()) {
        control_->cancel = true;
        worker_.join();
    }
}

void FindRunner::start(FindRequest request, bool backward)
{
    if (busy())
        return;
    control_ = std::make_shared<FindControl>();
    size_ = QFileInfo(request.path).size();
    text_ = request.query.text;
    clock_.start();
    // The answer goes back as an event to this object; the destructor waits
    // for the thread, so the object outlives every answer it can be sent.
    worker_ = std::thread([this, control = control_, request = std::move(request), backward] {
        const FindResult result = backward ? findPrevious(request, control.get()) : findNext(request, control.get());
        QMetaObject::invokeMethod(
            this, [this, result] { done(result); }, Qt::QueuedConnection);
    });
    timer_->start();
}

void FindRunner::done(const FindResult& result)
{
    worker_.join();
    timer_->stop();
    if (progress_)
        progress_->hide();
    if (!control_->cancel && result.status != FindStatus::Cancelled)
        emit finished(result);
}

void FindRunner::showProgress()
{
    if (!busy() || control_->cancel || clock_.elapsed() < kProgressAfterMs)
        return;
    if (!progress_) {
        progress_ = new QProgressDialog(window_);
        // The bar is moved directly: the dialog's own setValue() would let
        // events run inside this timer, the search's answer among them.
        bar_ = new QProgressBar(progress_);
        progress_->setBar(bar_);
        progress_->setWindowTitle(QStringLiteral("Suchen"));
        progress_->setCancelButtonText(QStringLiteral("Abbrechen"));
        progress_->setRange(0, kSteps);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setAutoReset(false);
        progress_->setAutoClose(false);
        progress_->setMinimumDuration(0);
        connect(progress_, &QProgressDialog::canceled, this, [this] {
            if (control_)
                control_->cancel = true;
        });
    }
    if (progress_->isHidden()) {
        progress_->reset();
        progress_->setLabelText(QStringLiteral("'%1' wird gesucht …").arg(text_));
        progress_->show();
    }
    const std::int64_t read = control_->bytesRead.load();
    bar_->setValue(size_ > 0 ? static_cast<int>(std::min<std::int64_t>(read, size_) * kSteps / size_) : 0);
}

}  // namespace keyloom
