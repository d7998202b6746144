// `vexilctl watch`: the board watch on the command line. Alarms go to stderr as they
// start and clear, the time series to --log, the metrics to --metrics, and the summary
// to stdout at the end (JSON with --json).
#pragma once

#include <iosfwd>

#include "ctl/CommandLine.h"
#include "watch/BoardWatch.h"

namespace vexil::ctl {

/// Watches `invocation.devices` until its duration has passed or SIGINT, SIGTERM or
/// SIGHUP arrives. 0: no alarm started and every board answered at least once; 1: some
/// alarm started, or a board never answered; 2: the watch could not start (port, log,
/// metrics address).
int runWatch(const Invocation& invocation, int hostPort, std::ostream& out, std::ostream& err);

/// The summary table, one line a board, as printed at the end.
std::string watchSummaryText(const std::vector<watch::BoardSummary>& boards);
/// The summary as one JSON object.
std::string watchSummaryJson(const std::vector<watch::BoardSummary>& boards,
                             const watch::PaceSummary& pace, bool alarmed);

}  // namespace vexil::ctl
