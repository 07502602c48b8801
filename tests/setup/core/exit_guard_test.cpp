#include "core/exit_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace zr::setup {
namespace {

TEST(ExitGuard, RunsOnceOnEveryExitAndTheFirstErrorIsTheOneThatLeaves) {
  const struct {
    bool bodyThrows;
    bool actionThrows;
    const char* leaves;
  } cases[] = {
      {false, false, ""},
      {true, false, "body"},
      {false, true, "action"},
      {true, true, "body"},
  };
  for (const auto& c : cases) {
    int runs = 0;
    std::string left;
    try {
      const ExitGuard guard([&] {
        ++runs;
        if (c.actionThrows) throw std::runtime_error("action");
      });
      if (c.bodyThrows) throw std::runtime_error("body");
    } catch (const std::exception& e) {
      left = e.what();
    }
    EXPECT_EQ(runs, 1) << c.bodyThrows << c.actionThrows;
    EXPECT_EQ(left, c.leaves) << c.bodyThrows << c.actionThrows;
  }
}

}  // namespace
}  // namespace zr::setup
