#include "driver/driver.hpp"

int
run_batch()
{
    return 0;
}
