// What the vexilctl tests share: vexilctl run in-process with its output captured, and
// emulated boards on the loopback network.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "ctl/Vexilctl.h"

namespace vexil::testing {

struct CtlRun {
  int exit = -1;
  std::string out;
  std::string err;

  std::vector<std::string> outLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

inline CtlRun runCtl(const std::vector<std::string>& args,
                     const ctl::Environment& env = {"/nonexistent/VexilDevP.ini"}) {
  std::ostringstream out;
  std::ostringstream err;
  CtlRun r;
  r.exit = ctl::runVexilctl(args, out, err, env);
  r.out = out.str();
  r.err = err.str();
  return r;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace vexil::testing
