#include "ui/progressrunner.h"

#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace keyloom {

namespace {

constexpr int kProgressAfterMs = 500;
constexpr int kPollMs = 100;
constexpr int kSteps = 1000;

}  // namespace

ProgressRunner::ProgressRunner(QWidget* window, QString title)
    : QObject(window), window_(window), title_(std::move(title))
{
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &ProgressRunner::showProgress);
}

ProgressRunner::~ProgressRunner()
{
    if (worker_.joinable()) {
        watch_.cancel();
        worker_.join();
    }
}

void ProgressRunner::run(std::function<Answer()> work, Watch watch)
{
    watch_ = std::move(watch);
    clock_.start();
    // The answer goes back as an event to this object; the destructor waits
    // for the thread, so the object outlives every answer it can be sent.
    worker_ = std::thread([this, work = std::move(work)] {
        Answer answer = work();
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)] { done(answer); }, Qt::QueuedConnection);
    });
    timer_->start();
}

void ProgressRunner::done(const Answer& answer)
{
    worker_.join();
    timer_->stop();
    if (progress_)
        progress_->hide();
    if (!watch_.cancelled())
        answer();
}

void ProgressRunner::showProgress()
{
    if (!busy() || watch_.cancelled() || clock_.elapsed() < kProgressAfterMs)
        return;
    if (!progress_) {
        progress_ = new QProgressDialog(window_);
        // The bar is moved directly: the dialog's own setValue() would let
        // events run inside this timer, the work's answer among them.
        bar_ = new QProgressBar(progress_);
        progress_->setBar(bar_);
        progress_->setWindowTitle(title_);
        progress_->setCancelButtonText(QStringLiteral("Abbrechen"));
        progress_->setRange(0, kSteps);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setAutoReset(false);
        progress_->setAutoClose(false);
        progress_->setMinimumDuration(0);
        connect(progress_, &QProgressDialog::canceled, this, [this] {
            if (busy())
                watch_.cancel();
        });
    }
    if (progress_->isHidden()) {
        progress_->reset();
        progress_->setLabelText(watch_.label);
        progress_->show();
    }
    bar_->setValue(static_cast<int>(std::clamp(watch_.fraction(), 0.0, 1.0) * kSteps));
}

}  // namespace keyloom
