#pragma once

#include <vector>

#include "matrix/CountMatrix.hpp"

namespace varnosk {

// Per sample, sqrt of the sum of the raw counts of all genes. The result does not depend on
// the number of threads: each sample is summed in gene order.
std::vector<double> computeMappedReads(const CountMatrix& genes);
// The two halves of computeMappedReads, for a matrix held in consecutive parts: each part's
// counts added to the sums of the parts before it, in gene order, then the roots of the sums.
void addCountsPerSample(const CountMatrix& genes, std::vector<double>& sums);
std::vector<double> mappedReadsFromSums(std::vector<double> sums);

// Replaces every count by its single-precision square root (parallel over genes).
void applySqrtTransform(CountMatrix& genes);

// Fills presence from the counts (square-root scale) and the detection threshold.
void computeSamplePresence(Gene& gene, float threshold);
// The same for every gene, in parallel, the bits of all genes in one block in gene order.
void computeSamplePresence(CountMatrix& genes, float threshold);
// After genes were removed from a matrix whose presence was computed as a whole: moves the
// bits of the remaining ones together again, in gene order, so that they stay one array.
void compactSamplePresence(CountMatrix& genes);

}  // namespace varnosk
