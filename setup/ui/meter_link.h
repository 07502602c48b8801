// How the window gets its meter link (the component's controls behind the core's
// ComExchange). The program makes it with makeComExchange; tests may hand in their own way
// of making it.
#pragma once

#include <functional>
#include <memory>

#include "core/com_exchange.h"
#include "core/form_fields.h"
#include "core/ui_port.h"

namespace zr::setup {

using ExchangeFactory = std::function<std::unique_ptr<ComExchange>(FormFields&, UiPort&)>;

}  // namespace zr::setup
