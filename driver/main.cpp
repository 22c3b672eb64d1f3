#include "driver/driver.hpp"

#include "platform/platform.hpp"
#include "support/support.hpp"

#include <vector>

int
main(int argc, char **argv)
{
    install_alloc_failure_handler();
    fail_writes_over_size_limit();
    std::vector<command_argument> args;
    take_arguments(argc, argv, &args);
    run_request request;
    request.offline = OFFLINE_BY_DEFAULT;
    int status = 0;
    if (answer_arguments(args, &request, &status))
        return status;
    return run_batch(request);
}
