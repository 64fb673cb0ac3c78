#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/ProgressSink.hpp"
#include "matrix/CountMatrix.hpp"

namespace varnosk {

// Reads the whole count matrix (a gene name then one count per sample on every line,
// optional header line, blank lines skipped, lines of any length). Reports the share of the
// file read into `progress`, ending with a report of completion. Throws std::runtime_error
// naming the line when the file is not well formed, and when it holds no gene.
CountMatrix readCountMatrix(const std::string& path, bool has_header, ProgressSink& progress);
// The same from bytes in memory (the fuzz target reads this way).
CountMatrix readCountMatrixFromMemory(std::string_view data, bool has_header, ProgressSink& progress);

// Parses one data line (leading white space already skipped) into a gene with the given
// id. Returns nullptr when the line is malformed or holds a negative or non-finite count.
// `expected_samples` only sizes the scratch space.
std::unique_ptr<Gene> parseGeneLine(std::string_view line, std::uint64_t id, std::size_t expected_samples);

}  // namespace varnosk
