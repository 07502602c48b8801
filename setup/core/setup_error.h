// The error a handler raises to stop; the window's main loop shows its text in an error box.
#pragma once

#include <stdexcept>
#include <string>

namespace zr::setup {

class SetupError : public std::runtime_error {
 public:
  explicit SetupError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace zr::setup
