#include "ui/comparerunner.h"

#include "app/commands.h"

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

CompareRunner::CompareRunner(QWidget* window) : QObject(window), window_(window)
{
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &CompareRunner::showProgress);
}

CompareRunner::~CompareRunner()
{
    if (worker_.joinable()) {
        control_->cancel = true;
        worker_.join();
    }
}

void CompareRunner::start(const QString& a, const QString& b)
{
    if (busy())
        return;
    control_ = std::make_shared<CompareControl>();
    a_ = a;
    b_ = b;
    clock_.start();
    // The answer goes back as an event to this object; the destructor waits
    // for the thread, so the object outlives every answer it can be sent.
    worker_ = std::thread([this, control = control_, a, b] {
        Comparison result = compareFiles(a, b, control.get());
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { done(result); }, Qt::QueuedConnection);
    });
    timer_->start();
}

void CompareRunner::done(const Comparison& result)
{
    worker_.join();
    timer_->stop();
    if (progress_)
        progress_->hide();
    if (!control_->cancel && result.status != CompareStatus::Cancelled)
        emit finished(a_, b_, result);
}

void CompareRunner::showProgress()
{
    if (!busy() || control_->cancel || clock_.elapsed() < kProgressAfterMs)
        return;
    if (!progress_) {
        progress_ = new QProgressDialog(window_);
        // The bar is moved directly: the dialog's own setValue() would let
        // events run inside this timer, the comparison's answer among them.
        bar_ = new QProgressBar(progress_);
        progress_->setBar(bar_);
        progress_->setWindowTitle(QStringLiteral("Vergleichen"));
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
        progress_->setLabelText(QStringLiteral("'%1' wird mit '%2' verglichen …")
                                    .arg(Commands::FileNamePart(a_), Commands::FileNamePart(b_)));
        progress_->show();
    }
    const std::int64_t total = control_->total.load();
    const std::int64_t done = std::min(control_->done.load(), total);
    bar_->setValue(total > 0 ? static_cast<int>(done * kSteps / total) : 0);
}

}  // namespace keyloom
