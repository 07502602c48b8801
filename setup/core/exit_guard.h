// The end every handler owes the window whatever happened inside it (the port it opened
// closed, its button enabled again), written once at the top instead of before each return
// and in a catch.
#pragma once

#include <exception>
#include <utility>

namespace zr::setup {

template <class Action>
class ExitGuard {
 public:
  explicit ExitGuard(Action action) : action_(std::move(action)), pending_(std::uncaught_exceptions()) {}
  ExitGuard(const ExitGuard&) = delete;
  ExitGuard& operator=(const ExitGuard&) = delete;

  // On a plain exit the action's own error leaves the scope. While another error is already
  // leaving, the action's is dropped: the first error is the one worth showing, and a second
  // one in flight would end the process.
  ~ExitGuard() noexcept(false) {
    if (std::uncaught_exceptions() == pending_) {
      action_();
      return;
    }
    try {
      action_();
    } catch (...) {
    }
  }

 private:
  Action action_;
  int pending_;
};

}  // namespace zr::setup
