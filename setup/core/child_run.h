// Runs a piece of work in a short-lived child process and hands back the bytes it
// produced. This is for libraries that do not defend against damaged input: a crash or an
// endless loop inside them ends the child, never the program.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace zr::setup {

struct ChildResult {
  enum class Outcome { kDone, kCrashed, kTimedOut };
  Outcome outcome = Outcome::kCrashed;
  std::string bytes;  // what the work returned; only with kDone
};

// The work runs after fork() in the child, which ends with _exit: it must not touch the
// parent's windows or threads, only compute and return its bytes.
ChildResult runInChild(const std::function<std::string()>& work, std::chrono::milliseconds limit);

}  // namespace zr::setup
