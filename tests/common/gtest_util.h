#pragma once
// GoogleTest glue for the shared helpers: permission checks run as nobody,
// and tables whose rows are named by their `name` member.

#include "common/files.h"
#include "common/privileges.h"

#include <gtest/gtest.h>

#include <concepts>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace keyloom::test {

// Runs `body`, whose checks depend on file permissions. As root, who ignores
// them, it runs as the user nobody in a forked child that owns `dir` and
// everything in it; the child's failures fail the test. On Windows it runs
// `body` as it is, or skips the test where the read-only attribute is not
// enforced.
inline void runWithoutRoot(const TempDir& dir, const std::function<void()>& body)
{
#ifdef _WIN32
    // Wine run by root maps the read-only attribute to mode bits, which root
    // ignores: there the checks would test nothing.
    const QString probe = dir.write(QStringLiteral("read-only probe"), "x");
    QFile::setPermissions(probe, QFile::ReadOwner);
    QFile file(probe);
    const bool enforced = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    if (!enforced)
        GTEST_SKIP() << "the read-only attribute is not enforced here (Wine run by root)";
    body();
#else
    if (::geteuid() != 0) {
        body();
        return;
    }
    ASSERT_TRUE(giveTreeToNobody(dir.path("")));
    EXPECT_TRUE(runAsNobody([&] {
        body();
        return !testing::Test::HasFailure();
    })) << "the checks run as nobody failed (see above)";
#endif
}

// A table row with a name, which names its test.
template <class Case>
concept NamedCase = requires(const Case& c)
{
    {
        c.name
        } -> std::convertible_to<std::string_view>;
};

// The test name of a table row, for INSTANTIATE_TEST_SUITE_P.
struct CaseName {
    template <NamedCase Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

// A failure message names the row; a test file makes this visible to
// GoogleTest with `using test::PrintTo;` where its rows are declared.
template <NamedCase Case>
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

// A table test: each row runs with the row as `c`.
template <class Case>
class Table : public testing::TestWithParam<Case> {
protected:
    const Case& c = this->GetParam();
};

// A table test whose rows work on files: each runs with its row `c` and a
// private folder `dir` of its own.
template <class Case>
class FileTable : public Table<Case> {
protected:
    TempDir dir;
};

}  // namespace keyloom::test
