#include <gtest/gtest.h>

#include <string>

#include "gui/win32/dialog_calls.h"

namespace kavlen::win32 {
namespace {

using namespace std::string_literals;

TEST(ChooserFilterTest, BarsBecomeNulsAndTwoNulsEndTheList) {
  const struct {
    std::string filter, expected;
  } rows[] = {
      {"Bin(*.bin)|*.bin|All Files(*.*)|*.*||", "Bin(*.bin)\0*.bin\0All Files(*.*)\0*.*\0\0"s},
      {"a|*.x", "a\0*.x\0\0"s},  // no closing bars
      {"a|*.x|", "a\0*.x\0\0"s},
      {"", "\0\0"s},
  };
  for (const auto& row : rows) EXPECT_EQ(ChooserFilter(row.filter), row.expected) << row.filter;
}

}  // namespace
}  // namespace kavlen::win32
