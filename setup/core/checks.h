// The two input checks that stop a handler before any communication.
#pragma once

#include "core/form_fields.h"

namespace zr::setup {

// Throws SetupError "Please input Password !" for an empty (after trimming) password and
// "6-digit password is not enough" for any length other than 6.
void CheckPassword(const FormFields& form);

// Throws SetupError "Please input Meter ID !" for an empty (after trimming) meter ID.
void CheckMeterId(const FormFields& form);

}  // namespace zr::setup
