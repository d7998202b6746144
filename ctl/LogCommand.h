// `vexilctl log flush|status|query`: the production records waiting in the station's
// journal sent or counted, and the records of a database or a file log read back.
#pragma once

#include <iosfwd>

#include "ctl/CommandLine.h"

namespace vexil::ctl {

/// Runs the log command of `invocation`. Exit status: 0 done (flush: nothing waits any
/// more); 1 the database could not be reached, or records still wait after a flush; 2
/// the log cannot be read or the database refuses (a newer schema).
int runLogCommand(const Invocation& invocation, std::ostream& out, std::ostream& err);

}  // namespace vexil::ctl
