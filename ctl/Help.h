// vexilctl's --help texts: the program's and one per command.
#pragma once

#include <optional>
#include <string>

namespace vexil::ctl {

/// The help of `topic`: a command's name, or empty for the whole program. Empty when no
/// such command exists.
std::optional<std::string> helpText(const std::string& topic);

}  // namespace vexil::ctl
