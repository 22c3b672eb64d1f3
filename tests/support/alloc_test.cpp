// Every failed allocation, the standard containers' included, ends the run as a failed
// checked_alloc does: its message on standard error and status -3.
#include "support/support.hpp"

#include <cstddef>
#include <gtest/gtest.h>
#include <vector>
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#endif

// A sanitizer's allocator reports the failure itself instead of calling the handler.
#if !defined(__SANITIZE_ADDRESS__)
namespace
{

// Status -3 as the system reports it: 253 where statuses are 8 bits, -3 where they are 32.
bool
exited_with_minus_3(int status)
{
    return testing::ExitedWithCode(253)(status) || testing::ExitedWithCode(-3)(status);
}

// In a child: the address space is kept small where the system allows it, then a container
// asks for more than fits.
void
grow_past_the_address_space()
{
    install_alloc_failure_handler();
#if __has_include(<sys/resource.h>)
    const rlimit limit{std::size_t{256} << 20, std::size_t{256} << 20};
    setrlimit(RLIMIT_AS, &limit);
#endif
    std::vector<std::vector<char>> blocks;
    for (int k = 0; k < 64; ++k)
        blocks.emplace_back(std::size_t{1} << 40);  // far past the limit, and past any memory
}

TEST(AllocationFailure, ContainerEndsTheRunWithTheAllocationMessage)
{
    EXPECT_EXIT(grow_past_the_address_space(), exited_with_minus_3, "malloc error \\(3\\)\\.");
}

}  // namespace
#endif
