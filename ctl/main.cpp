// vexilctl: every operation of the Vexil Development Platform window from the command
// line, on one board or many at once.
#include <iostream>
#include <string>
#include <vector>

#include "ctl/Vexilctl.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vexil::ctl::runVexilctl(args, std::cout, std::cerr);
}
