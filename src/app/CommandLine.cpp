#include "app/CommandLine.hpp"

#include <cstdlib>
#include <exception>
#include <new>

#include "app/Pipeline.hpp"
#include "common/OutOfMemory.hpp"
#include "distributed/LaunchedCopies.hpp"

namespace varnosk {

int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err, Cluster& cluster) {
    try {
#ifndef VARNOSK_MPI
        // this build's one process is the whole job: copies started by a launcher would each run it
        refuseSeveralCopies([](const char* name) -> const char* { return std::getenv(name); });
#endif
        return runPipeline(argc, argv, out, cluster);
    } catch (const std::bad_alloc&) {
        // thrown for a library's failed allocation (a decoder's), or another rank's
        if (cluster.isRoot() || !cluster.failureKnownToAll()) err << kOutOfMemoryMessage << std::endl;
        if (!cluster.failureKnownToAll()) cluster.abortAll(kOutOfMemoryStatus);
        return kOutOfMemoryStatus;
    } catch (const std::exception& error) {
        // an agreed failure is printed once, by the root; any other ends every rank here
        if (cluster.isRoot() || !cluster.failureKnownToAll()) err << error.what() << std::endl;
        if (!cluster.failureKnownToAll()) cluster.abortAll(255);
        return 255;
    }
}

}  // namespace varnosk
