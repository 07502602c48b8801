#include "ui/main_block.h"

#include <QApplication>
#include <memory>

#include "com/com.h"
#include "core/system_fun.h"
#include "ui/main_window.h"
#include "ui/pump_bridge.h"
#include "ui/setup_application.h"
#include "ui/splash_form.h"

namespace zr::setup {

int runSetupProgram(MessageBoxes& boxes, const ProgramOptions& options) {
  // The component registers its classes at every start, before anything uses them.
  try {
    RegisterComServerFile(options.componentPath);
  } catch (...) {
    showError(boxes, std::current_exception());
    return 1;
  }
  CoInitialize(nullptr);
  PumpBridge bridge;

  auto splash = std::make_unique<TSplashForm>();
  splash->show();
  splash->repaint();

  std::unique_ptr<TForm1> window;
  try {
    window = std::make_unique<TForm1>(boxes, options.makeExchange);
  } catch (...) {
    splash.reset();
    showError(boxes, std::current_exception());
    return 1;
  }
  if (options.terminate) window->setTerminate(options.terminate);
  splash->hide();
  splash.reset();

  window->show();
  return QApplication::exec();
}

int MainBlock(int argc, char** argv) {
  SetupApplication app(argc, argv);
  return runSetupProgram(app.errorBoxes());
}

}  // namespace zr::setup
