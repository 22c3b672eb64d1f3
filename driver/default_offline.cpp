#include "driver/driver.hpp"

// fenwrack_offline and fenwrack_dated_offline: started by a double-click or a drop, where no
// option can be given, they split as "--offline" does.
const bool OFFLINE_BY_DEFAULT = true;

const char PROGRAM_SUFFIX[] = "_offline";
