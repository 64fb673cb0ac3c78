#include "config/SettingsLoader.hpp"
