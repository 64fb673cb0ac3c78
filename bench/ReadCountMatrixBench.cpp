// Reading throughput of the count matrix reader on a generated 200,000 genes x 200 samples
// matrix (integer counts, mostly zeros), plain and compressed by each supported format's
// command-line tool at its default level, and the cost of one line of decimal counts against
// a plain strtof loop over the same text.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "TestSupport.hpp"
#include "matrix/CountMatrixReader.hpp"

namespace {

// The generated matrix, made once per process and removed at exit.
class GeneratedMatrix {
public:
    GeneratedMatrix() {
        dir_ = std::filesystem::temp_directory_path() / ("varnosk-read-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "matrix.tsv").string();
        const std::string command = std::string(VARNOSK_GENERATOR) +
                                    " --genes 200000 --samples 200 --species 50 --seed 1 --out " + path_ +
                                    " >/dev/null";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("the generator failed: " + command);
        size_ = std::filesystem::file_size(path_);
    }

    // The matrix compressed by `tool` (gzip, bzip2, xz or zstd), made on first use.
    const std::string& compressed(const std::string& tool) {
        auto found = compressed_.find(tool);
        if (found != compressed_.end()) return found->second;
        const std::string path = path_ + "." + tool;
        const std::string command = tool + " -c " + path_ + " > " + path;
        if (std::system(command.c_str()) != 0) throw std::runtime_error("compression failed: " + command);
        return compressed_.emplace(tool, path).first->second;
    }
    ~GeneratedMatrix() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    GeneratedMatrix(const GeneratedMatrix&) = delete;
    GeneratedMatrix& operator=(const GeneratedMatrix&) = delete;

    const std::string& path() const { return path_; }
    std::uintmax_t size() const { return size_; }

private:
    std::filesystem::path dir_;
    std::string path_;
    std::uintmax_t size_ = 0;
    std::map<std::string, std::string> compressed_;
};

GeneratedMatrix& generatedMatrix() {
    static GeneratedMatrix matrix;
    return matrix;
}

void BM_ReadCountMatrix(benchmark::State& state) {
    const GeneratedMatrix& matrix = generatedMatrix();
    std::size_t genes = 0;
    for (auto _ : state) {
        varnosk::test::NullProgress progress;
        const varnosk::CountMatrix result = varnosk::readCountMatrix(matrix.path(), true, progress);
        genes = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(matrix.size()));
    state.counters["genes"] = static_cast<double>(genes);
    state.counters["file_MB"] = static_cast<double>(matrix.size()) / 1e6;
}
BENCHMARK(BM_ReadCountMatrix)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same matrix compressed; bytes per second is still the text size over the time of one
// read, so the figures compare directly with BM_ReadCountMatrix. Real time is what counts:
// decompression runs in a thread of its own.
void BM_ReadCompressedCountMatrix(benchmark::State& state, const std::string& tool) {
    GeneratedMatrix& matrix = generatedMatrix();
    const std::string& path = matrix.compressed(tool);
    std::size_t genes = 0;
    for (auto _ : state) {
        varnosk::test::NullProgress progress;
        const varnosk::CountMatrix result = varnosk::readCountMatrix(path, true, progress);
        genes = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(matrix.size()));
    state.counters["genes"] = static_cast<double>(genes);
    state.counters["compressed_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK_CAPTURE(BM_ReadCompressedCountMatrix, gzip, std::string("gzip"))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadCompressedCountMatrix, zstd, std::string("zstd"))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadCompressedCountMatrix, xz, std::string("xz"))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadCompressedCountMatrix, bzip2, std::string("bzip2"))
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

// 1,000 decimal counts of the spellings found in normalised matrices.
std::string decimalLine() {
    std::string line = "gene_0000001";
    for (int s = 0; s < 1000; ++s) {
        line += '\t';
        switch (s % 4) {
            case 0: line += "0"; break;
            case 1: line.append(std::to_string(s)).append(".25"); break;
            case 2: line.append("0.0").append(std::to_string(s * 7919 % 100000)); break;
            default: line.append(std::to_string(s * 31)).append("e-2"); break;
        }
    }
    return line;
}

void BM_ParseGeneLineDecimals(benchmark::State& state) {
    const std::string line = decimalLine();
    for (auto _ : state) {
        auto gene = varnosk::parseGeneLine(line, 1, 1000);
        benchmark::DoNotOptimize(gene.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_ParseGeneLineDecimals);

// The reference: strtof over the same counts, storing nothing.
void BM_StrtofDecimals(benchmark::State& state) {
    const std::string line = decimalLine();
    const char* counts = line.c_str() + line.find('\t');
    for (auto _ : state) {
        char* p = const_cast<char*>(counts);
        float sum = 0.0f;
        while (*p != '\0') sum += std::strtof(p, &p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_StrtofDecimals);

}  // namespace
