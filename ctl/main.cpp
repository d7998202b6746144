// vexilctl: every operation of the Vexil Development Platform window from the command
// line, on one board or many at once.
#include <iostream>
#include <string>
#include <vector>

#include "ctl/Vexilctl.h"
#include "portable/Console.h"

int main(int argc, char** argv) {
  vexil::console::useUtf8Output();
  const std::vector<std::string> args = vexil::console::arguments(argc, argv);
  return vexil::ctl::runVexilctl(args, std::cout, std::cerr);
}
