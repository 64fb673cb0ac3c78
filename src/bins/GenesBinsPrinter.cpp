#include "bins/GenesBinsPrinter.hpp"
