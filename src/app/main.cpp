#include <exception>
#include <iostream>

#include "app/AllocationFailureHandler.hpp"
#include "app/Pipeline.hpp"
#include "common/OutOfMemory.hpp"
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
    try {
        return varnosk::runPipeline(argc, argv, std::cout, cluster);
    } catch (const std::bad_alloc&) {
        // thrown for a library's failed allocation (a decoder's), or another rank's
        if (cluster.isRoot() || !cluster.failureKnownToAll()) std::cerr << varnosk::kOutOfMemoryMessage << std::endl;
        if (!cluster.failureKnownToAll()) cluster.abortAll(varnosk::kOutOfMemoryStatus);
        return varnosk::kOutOfMemoryStatus;
    } catch (const std::exception& error) {
        // an agreed failure is printed once, by the root; any other ends every rank here
        if (cluster.isRoot() || !cluster.failureKnownToAll()) std::cerr << error.what() << std::endl;
        if (!cluster.failureKnownToAll()) cluster.abortAll(255);
        return 255;
    }
}
