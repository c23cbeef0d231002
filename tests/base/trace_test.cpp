#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.hpp"

TEST(Trace, LinesAreCutToTheFormattingBuffer) {
  std::vector<std::string> seen;
  base::setTraceListener([&](std::string_view line) { seen.emplace_back(line); });
  base::trace("read timeout, retry=%d.\n", 2);
  std::string big(5000, 'a');
  base::trace("%s", big.c_str());
  base::setTraceListener(nullptr);
  base::trace("not seen\n");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "read timeout, retry=2.\n");
  EXPECT_EQ(seen[1].size(), base::kTraceBufferSize - 1);
}
