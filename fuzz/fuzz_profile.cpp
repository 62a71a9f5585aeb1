// The profile-string read and write: a read never overruns its buffer; a
// write that succeeds reads back as the value written and changes no byte
// outside the key's one line (or the lines it adds); one that fails leaves
// the file as it was.

#include "fuzz_util.h"
#include "platform/profile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

using namespace keyloom;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The value as a read gives it back: up to a NUL, trimmed, one pair of
// enclosing quotes of the same kind removed.
std::string asRead(std::string value)
{
    value = value.substr(0, value.find('\0'));
    while (!value.empty() && isBlank(value.front()))
        value.erase(0, 1);
    while (!value.empty() && isBlank(value.back()))
        value.pop_back();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(32);
    const auto readSize = input.ConsumeIntegralInRange<std::int64_t>(0, 40);
    const std::string before = input.ConsumeRemainingBytesAsString();
    const QString path = fuzz::scratchPath("x.ini");
    fuzz::writeFile(path, before);

    std::vector<char> small(static_cast<std::size_t>(readSize) + 1, '\x7F');
    const std::int64_t n = GetPrivateProfileStringA(section, key, "default", small.data(), readSize, path);
    FUZZ_CHECK(readSize == 0 ? n == 0 : n >= 0 && n <= readSize - 1 && small[static_cast<std::size_t>(n)] == '\0');
    FUZZ_CHECK(small.back() == '\x7F');

    const bool written = WritePrivateProfileStringA(section, key, value, path);
    const std::string after = fuzz::readAll(path);
    if (!written) {
        FUZZ_CHECK(after == before);
        return 0;
    }
    std::vector<char> buffer(1 << 16);
    const std::int64_t m = GetPrivateProfileStringA(section, key, "\x01", buffer.data(), 1 << 16, path);
    FUZZ_CHECK(std::string(buffer.data(), static_cast<std::size_t>(m)) == asRead(value));

    // The bytes that went lie inside one line; whatever came in their place
    // holds a line end only when nothing went.
    if (!fuzz::isUtf16(before)) {
        std::size_t prefix = 0;
        while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
            ++prefix;
        std::size_t suffix = 0;
        while (suffix < std::min(before.size(), after.size()) - prefix &&
               before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
            ++suffix;
        const std::string gone = before.substr(prefix, before.size() - prefix - suffix);
        const std::string came = after.substr(prefix, after.size() - prefix - suffix);
        FUZZ_CHECK(gone.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(gone.empty() || came.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}
