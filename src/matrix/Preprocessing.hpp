#pragma once

#include <vector>

#include "matrix/CountMatrix.hpp"

namespace varnosk {

// The gene detection threshold: sqrt(detection_limit) in double precision, rounded to
// single precision. Set once by the driver before the matrix is read.
void setGeneDetectionThreshold(double detection_limit);
float geneDetectionThreshold();

// Per sample, sqrt of the sum of the raw counts of all genes. The result does not depend on
// the number of threads: each sample is summed in gene order.
std::vector<double> computeMappedReads(const CountMatrix& genes);

// Replaces every count by its single-precision square root (parallel over genes).
void applySqrtTransform(CountMatrix& genes);

// Fills detected_samples: samples whose count >= the gene detection threshold.
void computeDetectedSamples(Gene& gene);
// The same for every gene, in parallel.
void computeDetectedSamples(CountMatrix& genes);

}  // namespace varnosk
