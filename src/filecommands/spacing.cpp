#include "filecommands/spacing.h"

#include <string_view>

namespace keyloom {

EditResult insertSpaces(const QString& currentFile)
{
    bool previousEmpty = true;  // no empty line goes before the first line
    const LineRule rule = [&](std::string_view line, bool) -> LineEdit {
        const bool header = !line.empty() && line.front() == '[';
        LineEdit edit;
        edit.emptyLineBefore = header && !previousEmpty;
        previousEmpty = line.empty();
        return edit;
    };
    return rewriteThroughBackup(currentFile, nullptr, {}, [&] { return std::optional<LineRule>(rule); });
}

}  // namespace keyloom
