#pragma once
// The lines a line reader gives, for comparing whole files line by line.

#include "platform/lines.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace keyloom::test {

// Every line `reader` still has.
inline std::vector<std::string> linesOf(LineReader& reader)
{
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

// Every line of the file at `path`.
inline std::vector<std::string> linesOf(const QString& path)
{
    LineReader reader(path);
    return linesOf(reader);
}

}  // namespace keyloom::test
