// The metrics in a build without the Prometheus C++ client (the Windows build: Debian
// ships no prometheus-cpp for MinGW). --metrics is refused with the reason, as a usage
// error (exit 2), before anything runs; everything else works as in the Linux build.
#include <ostream>

#include "watch/MetricsServer.h"
#include "watch/StreamMetrics.h"

namespace vexil::watch {

const char* metricsUnavailableReason() {
  return "--metrics needs the Prometheus client library, which this build does not include; "
         "run without --metrics, or run the Linux build to serve metrics";
}

int runCheckWithMetrics(const stream::CheckOptions& options, std::ostream& out, std::ostream& err,
                        std::string_view command) {
  if (!options.metrics.empty()) {
    err << command << ": " << metricsUnavailableReason() << "\n";
    return stream::kCheckUsage;
  }
  return stream::runCheck(options, out, err, command);
}

}  // namespace vexil::watch
