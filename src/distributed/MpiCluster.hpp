#pragma once

#include <string>
#include <vector>

#include "distributed/Cluster.hpp"

namespace varnosk {

// The ranks of an MPI job (MPI_COMM_WORLD). Construct once, first thing in main: it
// initialises MPI (collectives from the main thread only, OpenMP threads beside it) and
// finalises it on destruction. Buffers of any size travel in pieces below MPI's int counts.
class MpiCluster final : public Cluster {
public:
    MpiCluster(int* argc, char*** argv);
    ~MpiCluster() override;
    MpiCluster(const MpiCluster&) = delete;
    MpiCluster& operator=(const MpiCluster&) = delete;

    int rank() const override { return rank_; }
    int size() const override { return size_; }
    void agree(const std::exception_ptr& failure) override;
    bool failureKnownToAll() const override { return agreed_failure_ || size_ == 1; }
    [[noreturn]] void abortAll(int status) override;
    std::string broadcast(std::string bytes) override;
    std::vector<std::string> gather(std::string bytes) override;
    std::vector<std::string> allGather(std::string bytes) override;
    std::vector<std::string> exchange(std::vector<std::string> outgoing) override;
    std::string passAlong(std::string first, const std::function<std::string(std::string)>& step) override;

private:
    std::string broadcastFrom(int root, std::string bytes);

    int rank_ = 0;
    int size_ = 1;
    bool agreed_failure_ = false;
};

}  // namespace varnosk
