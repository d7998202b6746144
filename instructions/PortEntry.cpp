#include "instructions/PortEntry.h"

#include "messaging/IntegerText.h"

namespace vexil {

std::optional<int> takePortEntry(std::string_view entry) {
  const std::optional<std::int32_t> value = parseIntegerText(entry);
  if (!value || *value < kPortEntryMin || *value > kPortEntryMax) return std::nullopt;
  return *value;
}

}  // namespace vexil
