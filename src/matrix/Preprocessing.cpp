#include "matrix/Preprocessing.hpp"
