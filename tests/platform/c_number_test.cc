#include "platform/c_number.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

namespace kestrum {
namespace {

TEST(CNumber, ReadsDecimalNumbersInTheCLocale) {
  struct Case {
    const char* text;
    double value;
    int used;  // characters converted
    int error;
  };
  const Case cases[] = {
      {"1.5", 1.5, 3, 0}, {" 2.25e1 rest", 22.5, 7, 0},
      {"1,5", 1.0, 1, 0},  // a comma is never the decimal point
      {"x", 0.0, 0, 0},   {"1e400", HUGE_VAL, 5, ERANGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char* end = nullptr;
    errno = 0;
    const double value = StringToDoubleC(c.text, &end);
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end - c.text, c.used);
  }
}

}  // namespace
}  // namespace kestrum
