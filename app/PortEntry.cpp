#include "PortEntry.h"

#include "IntegerText.h"

namespace vexil::app {

std::optional<int> takePortEntry(std::string_view entry) {
  const std::optional<std::int32_t> value = parseIntegerText(entry);
  if (!value || *value < kPortEntryMin || *value > kPortEntryMax) return std::nullopt;
  return *value;
}

}  // namespace vexil::app
