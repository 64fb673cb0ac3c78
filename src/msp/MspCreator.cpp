#include "msp/MspCreator.hpp"
