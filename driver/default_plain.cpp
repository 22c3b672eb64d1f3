#include "driver/driver.hpp"

// fenwrack and fenwrack_dated: pages as the archive has them unless "--offline" is given.
const bool OFFLINE_BY_DEFAULT = false;

const char PROGRAM_SUFFIX[] = "";
