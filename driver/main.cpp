#include "driver/driver.hpp"

#include "support/support.hpp"

int
main()
{
    install_alloc_failure_handler();
    return run_batch();
}
