#include "core/checks.h"

#include "core/setup_error.h"
#include "core/system_fun.h"

namespace zr::setup {

void CheckPassword(const FormFields& form) {
  const std::string password = trimText(form.passwordText());
  if (password.empty()) throw SetupError("Please input Password !");
  if (password.size() != 6) throw SetupError("6-digit password is not enough");
}

void CheckMeterId(const FormFields& form) {
  if (trimText(form.meterIdText()).empty()) throw SetupError("Please input Meter ID !");
}

}  // namespace zr::setup
