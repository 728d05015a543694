#include "platform/sysutils.h"

#include <gtest/gtest.h>

using namespace zv;

TEST(Exception, CarriesItsMessage) {
  try {
    throw Exception("Disk full");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Disk full");
  }
}
