// Fills a production journal with N records waiting for the database, as a station
// would hold them after an outage: the input of the flush figure of records_bench.sh.
//   vexil-journal-fill N JOURNAL
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "records/Journal.h"
#include "records/SetupRecord.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vexil-journal-fill N JOURNAL\n");
    return 2;
  }
  const long count = std::strtol(argv[1], nullptr, 10);
  vexil::records::Journal journal(argv[2]);
  std::string error;
  if (count <= 0 || !journal.open(error)) {
    std::fprintf(stderr, "vexil-journal-fill: %s\n", error.empty() ? "N must be positive" : error.c_str());
    return 2;
  }
  // One write of all lines: the journal's own append syncs each line, which would time
  // the disk, not the flush.
  std::string lines;
  const auto now = std::chrono::system_clock::now();
  for (long i = 0; i < count; ++i) {
    vexil::records::SetupRecord r;
    r.id = vexil::records::newRecordId();
    r.time = vexil::records::utcTimeText(now + std::chrono::milliseconds(i));
    r.station = "bench-station";
    r.address = "127.0.0.1:" + std::to_string(50000 + i % 1000);
    r.type = 7163;
    r.version = "1.05";
    r.serial = static_cast<std::int32_t>(1000000 + i);
    r.userText = "Marovantis Ltd.";
    r.result = "ok";
    r.programVersion = "1.00";
    lines += vexil::records::recordJsonLine(r);
  }
  std::ofstream(argv[2], std::ios::binary | std::ios::app) << lines;
  return 0;
}
