#include "support/support.hpp"

#include "platform/platform.hpp"

#include <cstdlib>
#include <new>

// Every allocation that cannot be satisfied ends here, whoever asked for it.
[[noreturn]] static void
report_alloc_failure()
{
    console_error("malloc error (3).\n");
    pause_for_person(3000);
    exit_process(-3);
}

void
install_alloc_failure_handler()
{
    std::set_new_handler(report_alloc_failure);
}

char *
checked_alloc(std::size_t size)
{
    void *block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        report_alloc_failure();
    return static_cast<char *>(block);
}

void
checked_free(char *block)
{
    std::free(block);
}
