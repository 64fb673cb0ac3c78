// varnosk-in-process-ranks <ranks> <varnosk arguments...>: runs varnosk's command line on that
// many ranks, each a thread of this one process, as mpirun runs it on processes. Standard
// output and error are every rank's; the run's status is the root's. For the tests.
#include <charconv>
#include <iostream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/AllocationFailureHandler.hpp"
#include "app/CommandLine.hpp"
#include "distributed/InProcessCluster.hpp"

int main(int argc, char* argv[]) {
    varnosk::installAllocationFailureHandler();
    int ranks = 0;
    const std::string_view count = argc > 1 ? argv[1] : "";
    const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), ranks);
    if (argc < 2 || error != std::errc() || end != count.data() + count.size() || ranks < 1 || ranks > 64) {
        std::cerr << "Usage: varnosk-in-process-ranks <ranks, 1 to 64> <varnosk arguments...>" << std::endl;
        return 2;
    }
    // the program's own command line, as if it had been started by that name
    std::vector<const char*> arguments = {"varnosk"};
    arguments.insert(arguments.end(), argv + 2, argv + argc);
    const int num_arguments = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    const std::vector<int> statuses = varnosk::test::runOnRanks(ranks, [&](varnosk::test::InProcessCluster& cluster) {
        return varnosk::runCommandLine(num_arguments, arguments.data(), std::cout, std::cerr, cluster);
    });
    return statuses.front();
}
