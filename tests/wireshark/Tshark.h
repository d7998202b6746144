// Runs tshark with the project's dissector and reads what it prints.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexil::test {

/// The path of tshark found on PATH, if any.
std::optional<std::string> findTshark();

/// Runs `program` with `arguments` (no shell), standard error discarded. Returns its
/// standard output, or nothing when it could not start or exited non-zero.
std::optional<std::string> runProgram(const std::string& program,
                                      const std::vector<std::string>& arguments);

/// The output of `tshark -T fields` for `fields`, one map per packet line: field name to
/// its text (occurrences joined by ','); a field absent from a packet maps to "".
using FieldRows = std::vector<std::map<std::string, std::string>>;
FieldRows parseFieldRows(const std::string& output, const std::vector<std::string>& fields);

}  // namespace vexil::test
