#include "config/ExecutionDescription.hpp"
