#include "platform/platform.hpp"
#include "support/support.hpp"

#include <cstdlib>

char *
checked_alloc(std::size_t size)
{
    void *block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        console_error("malloc error (3).\n");
        sleep_ms(3000);
        exit_process(-3);
    }
    return static_cast<char *>(block);
}

void
checked_free(char *block)
{
    std::free(block);
}
