#include "ui/comparerunner.h"

#include "app/commands.h"

#include <algorithm>
#include <memory>

namespace keyloom {

void CompareRunner::start(const QString& a, const QString& b)
{
    if (busy())
        return;
    const auto control = std::make_shared<CompareControl>();
    Watch watch;
    watch.cancel = [control] { control->cancel = true; };
    watch.cancelled = [control] { return control->cancel.load(); };
    watch.fraction = [control] {
        const std::int64_t total = control->total.load();
        return total > 0 ? double(std::min(control->done.load(), total)) / double(total) : 0.0;
    };
    watch.label =
        QStringLiteral("'%1' wird mit '%2' verglichen …").arg(Commands::FileNamePart(a), Commands::FileNamePart(b));
    run(
        [this, control, a, b]() -> Answer {
            Comparison result = compareFiles(a, b, control.get());
            if (result.status == CompareStatus::Cancelled)
                return [] {};
            return [this, a, b, result = std::move(result)] { emit finished(a, b, result); };
        },
        std::move(watch));
}

}  // namespace keyloom
