// The port entries of the settings dialog's "Change" prompts.
#include <gtest/gtest.h>

#include "instructions/PortEntry.h"

namespace vexil {
namespace {

TEST(PortEntry, AcceptsOneTo65534InAnyIntegerForm) {
  EXPECT_EQ(takePortEntry("1"), 1);
  EXPECT_EQ(takePortEntry("65534"), 65534);
  EXPECT_EQ(takePortEntry("00080"), 80);
  EXPECT_EQ(takePortEntry("$FFFE"), 65534);
  EXPECT_EQ(takePortEntry("  56789"), 56789);
  EXPECT_EQ(takePortEntry("+2"), 2);
}

TEST(PortEntry, RefusesOutsideTheRangeAndNonNumbers) {
  for (const char* entry : {"0", "65535", "-5", "-1", "70000", "abc", "", " ", "80 ",
                            "$FFFFFFFF", "2147483648", "$", "0x"}) {
    EXPECT_FALSE(takePortEntry(entry).has_value()) << '"' << entry << '"';
  }
}

}  // namespace
}  // namespace vexil
