// The program's start-up: register the component, splash, main window, message loop.
#pragma once

#include <functional>
#include <string>

#include "ui/message_boxes.h"
#include "ui/meter_link.h"

namespace zr::setup {

struct ProgramOptions {
  std::string componentPath = "./kavlink.so";  // the component in the working directory
  ExchangeFactory makeExchange;                // empty: the component's meter link
  std::function<void(int)> terminate;          // empty: FormClose ends the process at once
};

// The start-up sequence on a running SetupApplication. A component that cannot be
// registered, or a meter link that cannot be created, is shown in a box and gives 1.
// Otherwise runs the loop until FormClose ends it.
int runSetupProgram(MessageBoxes& boxes, const ProgramOptions& options = {});

// The whole program: the application, then runSetupProgram with the Qt boxes.
int MainBlock(int argc, char** argv);

}  // namespace zr::setup
