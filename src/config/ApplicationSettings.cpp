#include "config/ApplicationSettings.hpp"
