// Runs a fuzz target once on every file of the given folders, as the fuzzer would: built into
// the test suite (with the sanitizers in their build), so that a crash once found and fixed,
// kept as a seed, stays fixed. Exit status 0 when every input returned.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char* argv[]) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    std::size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        std::vector<std::filesystem::path> inputs;
        for (const auto& entry : std::filesystem::directory_iterator(argv[a])) inputs.push_back(entry.path());
        if (inputs.empty()) {
            std::fprintf(stderr, "no input in %s\n", argv[a]);
            return 1;
        }
        std::sort(inputs.begin(), inputs.end());
        for (const auto& input : inputs) {
            std::ifstream file(input, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            std::fprintf(stderr, "%s\n", input.c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}
