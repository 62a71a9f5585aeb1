#include "ui/findrunner.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace keyloom {

void FindRunner::start(FindRequest request, bool backward)
{
    if (busy())
        return;
    const auto control = std::make_shared<FindControl>();
    const std::int64_t size = QFileInfo(request.path).size();
    Watch watch;
    watch.cancel = [control] { control->cancel = true; };
    watch.cancelled = [control] { return control->cancel.load(); };
    watch.fraction = [control, size] {
        return size > 0 ? double(std::min<std::int64_t>(control->bytesRead.load(), size)) / double(size) : 0.0;
    };
    watch.label = QStringLiteral("'%1' wird gesucht …").arg(request.query.text);
    run(
        [this, control, request = std::move(request), backward]() -> Answer {
            FindResult result = backward ? findPrevious(request, control.get()) : findNext(request, control.get());
            if (result.status == FindStatus::Cancelled)
                return [] {};
            return [this, result = std::move(result)] { emit finished(result); };
        },
        std::move(watch));
}

}  // namespace keyloom
