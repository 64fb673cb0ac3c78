#include "matrix/CountMatrixReader.hpp"
