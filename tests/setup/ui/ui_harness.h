// What the window tests share: one application for the process, message boxes recorded in
// order instead of shown, and a fresh working directory per test holding the component.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "setup/core/temp_dir.h"
#include "support/module_host.h"
#include "ui/main_window.h"
#include "ui/setup_application.h"

namespace zr::setup::uitest {

inline SetupApplication& application() {
  // Never destroyed: Qt must not be torn down by static destructors after the tests.
  static SetupApplication* app = [] {
    // The window tests never want a display, whatever runs them.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "setup_ui_test";
    static char* argv[] = {name, nullptr};
    return new SetupApplication(argc, argv);
  }();
  return *app;
}

struct RecordingBoxes : MessageBoxes {
  std::vector<std::string> events;
  std::function<void()> onBox;  // runs while a box would be open

  void information(const std::string& text) override { record("information " + text); }
  void warningYes(const std::string& text) override { record("warning " + text); }
  void error(const std::string& text) override { record("error " + text); }

 private:
  void record(std::string event) {
    events.push_back(std::move(event));
    if (onBox) onBox();
  }
};

// Runs the window's events until the condition holds or the deadline passes.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application().setErrorBoxes(&boxes);
    ASSERT_NE(testhost::registerComponent(), nullptr);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
  }
  void TearDown() override {
    window.reset();
    std::filesystem::current_path(previous_);
    application().setErrorBoxes(nullptr);
  }

  // The item database of the build, in the working directory.
  void useSampleDatabase() { std::filesystem::copy_file(ZR_TEST_BIN_DIR "/tree.mdb", dir.path / "tree.mdb"); }

  // Creates and shows the real window; FormClose records its exit code instead of ending
  // the process.
  TForm1& start() {
    window = std::make_unique<TForm1>(boxes);
    window->setTerminate([this](int code) { exitCodes.push_back(code); });
    window->show();
    return *window;
  }

  template <class W>
  W* child(const char* name) {
    W* w = window->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  TempDir dir;
  RecordingBoxes boxes;
  std::vector<int> exitCodes;
  std::unique_ptr<TForm1> window;

 private:
  std::filesystem::path previous_;
};

}  // namespace zr::setup::uitest
