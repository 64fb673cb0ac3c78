#include "distributed/MpiCluster.hpp"

#include "distributed/AgreedFailure.hpp"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <utility>

namespace varnosk {
namespace {

// Largest piece per MPI call: counts are ints.
constexpr std::size_t kPiece = std::size_t{1} << 30;

void sendBytes(const std::string& bytes, int to) {
    std::uint64_t length = bytes.size();
    MPI_Send(&length, 1, MPI_UINT64_T, to, 0, MPI_COMM_WORLD);
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const auto n = static_cast<int>(std::min(kPiece, bytes.size() - at));
        MPI_Send(bytes.data() + at, n, MPI_BYTE, to, 1, MPI_COMM_WORLD);
    }
}

std::string receiveBytes(int from) {
    std::uint64_t length = 0;
    MPI_Recv(&length, 1, MPI_UINT64_T, from, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    std::string bytes(length, '\0');
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const auto n = static_cast<int>(std::min(kPiece, bytes.size() - at));
        MPI_Recv(bytes.data() + at, n, MPI_BYTE, from, 1, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    }
    return bytes;
}

}  // namespace

MpiCluster::MpiCluster(int* argc, char*** argv) {
    int provided = 0;
    MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiCluster::~MpiCluster() {
    int finalized = 0;
    MPI_Finalized(&finalized);
    if (!finalized) MPI_Finalize();
}

void MpiCluster::agree(const std::exception_ptr& failure) {
    if (size_ == 1) {
        if (failure) std::rethrow_exception(failure);
        return;
    }
    const int mine = failure ? rank_ : size_;
    int first = size_;
    // Ranks wait here for the slowest one, often for minutes: polling now and then instead
    // of spinning leaves the cores to the ranks and threads still at work.
    MPI_Request request;
    MPI_Iallreduce(&mine, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD, &request);
    for (int done = 0;;) {
        MPI_Test(&request, &done, MPI_STATUS_IGNORE);
        if (done) break;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (first == size_) return;
    // the lowest failing rank read the earliest part of the input: its error comes first
    std::string message = broadcastFrom(first, first == rank_ ? failureMessage(failure) : std::string());
    agreed_failure_ = true;
    throwAgreedFailure(first == rank_, failure, message);
}

void MpiCluster::abortAll(int status) {
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);
}

std::string MpiCluster::broadcastFrom(int root, std::string bytes) {
    std::uint64_t length = bytes.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, root, MPI_COMM_WORLD);
    if (rank_ != root) bytes.assign(length, '\0');
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const auto n = static_cast<int>(std::min(kPiece, bytes.size() - at));
        MPI_Bcast(bytes.data() + at, n, MPI_BYTE, root, MPI_COMM_WORLD);
    }
    return bytes;
}

std::string MpiCluster::broadcast(std::string bytes) { return broadcastFrom(0, std::move(bytes)); }

std::vector<std::string> MpiCluster::gather(std::string bytes) {
    if (rank_ != 0) {
        sendBytes(bytes, 0);
        return {};
    }
    std::vector<std::string> parts(static_cast<std::size_t>(size_));
    parts[0] = std::move(bytes);
    for (int from = 1; from < size_; ++from) parts[static_cast<std::size_t>(from)] = receiveBytes(from);
    return parts;
}

std::vector<std::string> MpiCluster::allGather(std::string bytes) {
    std::vector<std::string> parts(static_cast<std::size_t>(size_));
    for (int from = 0; from < size_; ++from) {
        parts[static_cast<std::size_t>(from)] = broadcastFrom(from, from == rank_ ? bytes : std::string());
    }
    return parts;
}

std::vector<std::string> MpiCluster::exchange(std::vector<std::string> outgoing) {
    const auto ranks = static_cast<std::size_t>(size_);
    std::vector<std::uint64_t> lengths_out(ranks);
    for (std::size_t r = 0; r < ranks; ++r) lengths_out[r] = outgoing[r].size();
    std::vector<std::uint64_t> lengths_in(ranks);
    MPI_Alltoall(lengths_out.data(), 1, MPI_UINT64_T, lengths_in.data(), 1, MPI_UINT64_T, MPI_COMM_WORLD);

    std::vector<std::string> incoming(ranks);
    const auto me = static_cast<std::size_t>(rank_);
    incoming[me] = std::move(outgoing[me]);
    // One partner to send to and one to receive from per round, so no rank waits on a
    // rank that waits on it; each buffer travels in pieces under MPI's int counts.
    for (std::size_t round = 1; round < ranks; ++round) {
        const std::size_t to = (me + round) % ranks;
        const std::size_t from = (me + ranks - round) % ranks;
        incoming[from].assign(lengths_in[from], '\0');
        std::vector<MPI_Request> requests;
        for (std::size_t at = 0; at < incoming[from].size(); at += kPiece) {
            const auto n = static_cast<int>(std::min(kPiece, incoming[from].size() - at));
            requests.emplace_back();
            MPI_Irecv(incoming[from].data() + at, n, MPI_BYTE, static_cast<int>(from), 2, MPI_COMM_WORLD,
                      &requests.back());
        }
        for (std::size_t at = 0; at < outgoing[to].size(); at += kPiece) {
            const auto n = static_cast<int>(std::min(kPiece, outgoing[to].size() - at));
            requests.emplace_back();
            MPI_Isend(outgoing[to].data() + at, n, MPI_BYTE, static_cast<int>(to), 2, MPI_COMM_WORLD, &requests.back());
        }
        MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
        std::string().swap(outgoing[to]);
    }
    return incoming;
}

std::string MpiCluster::passAlong(std::string first, const std::function<std::string(std::string)>& step) {
    std::string value = rank_ == 0 ? std::move(first) : receiveBytes(rank_ - 1);
    value = step(std::move(value));
    if (rank_ + 1 < size_) sendBytes(value, rank_ + 1);
    return broadcastFrom(size_ - 1, std::move(value));
}

}  // namespace varnosk
