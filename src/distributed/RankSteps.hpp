#pragma once

#include <utility>

#include "distributed/Cluster.hpp"

namespace varnosk {

// How the driver's own steps are shared by the ranks of a run, said once here. Between the
// collective stages (the *OnRanks functions, which split work over the ranks and agree by
// themselves), the driver runs two kinds of step:
// - onEveryRank: every rank runs the step on the genes it holds (a single process holds all
//   of them). The result comes back once every rank succeeded; a failure anywhere ends the
//   run on every rank with the message one process would show.
// - onRoot: the root alone runs the step: it draws the console, writes the output directory
//   and, after the collective stages gather them, holds the seeds and the MSPs. The other
//   ranks wait for its end and learn whether it failed.
// No collective operation may run inside either kind of step.

template <typename Step>
auto onEveryRank(Cluster& cluster, Step step) {
    return agreed(cluster, std::move(step));
}

template <typename Step>
void onRoot(Cluster& cluster, Step step) {
    agreed(cluster, [&] {
        if (cluster.isRoot()) step();
    });
}

}  // namespace varnosk
