#include "platform/memory.h"

#include <gtest/gtest.h>

#include <string>

namespace keyloom {
namespace {

// Hints about pages never change what the memory holds, however the range
// lies against page and huge-page boundaries.
TEST(Memory, HintsLeaveTheContentAlone)
{
    for (std::size_t size : {std::size_t(0), std::size_t(100), 3 * kHugePage + 123}) {
        for (std::size_t offset : {std::size_t(0), std::size_t(1), std::size_t(4095)}) {
            std::string text(size + offset, '\0');
            for (std::size_t i = 0; i < text.size(); ++i)
                text[i] = char('a' + i % 26);
            const std::string before = text;
            adviseHugePages(text.data() + offset, size);
            {
                const PrefaultAhead ahead(text.data() + offset, size);
            }
            EXPECT_EQ(text, before) << size << " bytes at " << offset;
        }
    }
    LargeBlock block = allocateLargeBlock(kHugePage);
    block[kHugePage - 1] = 'x';
    EXPECT_EQ(block[kHugePage - 1], 'x');
}

}  // namespace
}  // namespace keyloom
