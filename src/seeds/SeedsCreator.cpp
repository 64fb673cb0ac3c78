#include "seeds/SeedsCreator.hpp"
