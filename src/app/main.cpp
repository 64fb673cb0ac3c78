#include <iostream>

#include "app/AllocationFailureHandler.hpp"
#include "app/CommandLine.hpp"
#include "distributed/Cluster.hpp"
#ifdef VARNOSK_MPI
#include "distributed/MpiCluster.hpp"
#endif

int main(int argc, char* argv[]) {
    varnosk::installAllocationFailureHandler();
#ifdef VARNOSK_MPI
    varnosk::MpiCluster cluster(&argc, &argv);
#else
    varnosk::SingleProcess cluster;
#endif
    return varnosk::runCommandLine(argc, argv, std::cout, std::cerr, cluster);
}
