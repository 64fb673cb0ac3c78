#include "msp/MspPrinter.hpp"
