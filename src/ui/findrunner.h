#pragma once
// Runs one search off the window's thread, with a progress dialog when it
// takes long. The thread gets a copy of the request.

#include "document/find.h"
#include "ui/progressrunner.h"

namespace keyloom {

class FindRunner : public ProgressRunner {
    Q_OBJECT
public:
    explicit FindRunner(QWidget* window) : ProgressRunner(window, QStringLiteral("Suchen")) {}

    // Starts a search for the next match, or with `backward` the previous
    // one, unless one is running; finished() follows on the window's
    // thread, unless the user cancels it.
    void start(FindRequest request, bool backward = false);

signals:
    void finished(const keyloom::FindResult& result);
};

}  // namespace keyloom
