// Runs a fuzz target once over each file of its seed corpus, as libFuzzer
// does with -runs=0, for builds without libFuzzer (the sanitizer build of the
// tests): an empty input first, then every file, cut to the length that
// scripts/fuzz.sh lets the fuzzer try. A broken property aborts.
//   fuzz_<target> FILE_OR_FOLDER...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char* argv[])
{
    constexpr std::size_t kMaxLength = 4096;
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            inputs.emplace_back(argv[i]);
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (const fs::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.is_open() || in.bad()) {
            std::fprintf(stderr, "%s: cannot be read\n", input.c_str());
            return 1;
        }
        bytes.resize(std::min(bytes.size(), kMaxLength));
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs\n", inputs.size() + 1);
    return 0;
}
