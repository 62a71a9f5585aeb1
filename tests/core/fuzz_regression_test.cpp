// Inputs the fuzz targets found, each kept as a case of its own.

#include "common/files.h"
#include "platform/profile.h"

#include <QFile>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;

// A key written first into a file without a byte-order mark must not start
// the file with the bytes of one, or the file reads as UTF-16 or loses the
// key's first bytes. Such a write is refused and the file left alone.
TEST(FuzzRegression, KeyLineMustNotStartTheFileWithAByteOrderMark)
{
    for (const S& key : {S("\xFE\xFF\xFF\xFF|"), S("\xFF\xFEk"), S("\xEF\xBB\xBFk")}) {
        for (const S& before : {S(), S("[A]\r\na=1\r\n")}) {
            test::TempDir dir;
            const QString file = dir.write("t.ini", before);
            EXPECT_FALSE(WritePrivateProfileStringA("", key, "v", file));
            EXPECT_EQ(test::readAll(file), before);
            EXPECT_FALSE(WritePrivateProfileStringA("", key, "v", dir.path("new.ini")));
            EXPECT_FALSE(QFile::exists(dir.path("new.ini")));
        }
    }
    // After a header, or in a file that has its mark, such keys are fine.
    test::TempDir dir;
    const QString file = dir.write("t.ini", "\xEF\xBB\xBF");
    EXPECT_TRUE(WritePrivateProfileStringA("", "\xEF\xBB\xBFk", "v", file));
    char buffer[8];
    EXPECT_EQ(GetPrivateProfileStringA("", "\xEF\xBB\xBFk", "", buffer, sizeof buffer, file), 1);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "\xFF\xFEk", "v", dir.path("new.ini")));
    EXPECT_EQ(GetPrivateProfileStringA("S", "\xFF\xFEk", "", buffer, sizeof buffer, dir.path("new.ini")), 1);
}

}  // namespace
}  // namespace keyloom
