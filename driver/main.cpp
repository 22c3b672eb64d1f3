#include "driver/driver.hpp"

#include "support/support.hpp"

#include <cstddef>
#include <span>

int
main(int argc, char **argv)
{
    install_alloc_failure_handler();
    int status = 0;
    if (argc > 1 &&
        answer_arguments(std::span<const char *const>(argv + 1, static_cast<std::size_t>(argc - 1)),
                         &status))
        return status;
    return run_batch();
}
