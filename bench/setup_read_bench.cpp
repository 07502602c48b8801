// The setup program's "Read" of 50 items from the simulated meter on a pseudo-terminal,
// through the real window (offscreen), against the bare Comm round trip in the same run.
// Every item is followed by the 200 ms pause the program keeps between items, so what
// counts is the time per item beyond that pause: the program's own share on top of the
// exchange. The pause alone is timed too, since its timer may fire late by itself.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "com/com_ptr.h"
#include "dlt645/zr_comm_dlt645.h"
#include "roundtrip_stats.h"
#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"
#include "support/module_host.h"
#include "text/ansi.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/pump_bridge.h"
#include "ui/setup_application.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kItems = 50;
constexpr double kPauseMs = 200;  // the program's pause after every item read

zr::setup::SetupApplication& application() {
  static zr::setup::SetupApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "setup_read_bench";
    static char* argv[] = {name, nullptr};
    return new zr::setup::SetupApplication(argc, argv);
  }();
  return *app;
}

struct CountingBoxes : zr::setup::MessageBoxes {
  int shown = 0;
  std::string last;
  void information(const std::string& text) override { record(text); }
  void warningYes(const std::string& text) override { record(text); }
  void error(const std::string& text) override { record(text); }
  void record(const std::string& text) {
    ++shown;
    last = text;
  }
};

// The program's working directory: the item database, the list of rows and the settings.
class WorkDir {
 public:
  WorkDir(const std::string& port) {
    path_ = std::filesystem::temp_directory_path() / ("zr-setup-read-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::copy_file(ZR_TEST_BIN_DIR "/tree.mdb", path_ / "tree.mdb");
    std::ofstream(path_ / "Tools.ini", std::ios::binary) << "[option]\nWtime=1000\nport=" << port << "\n";
    std::ofstream info(path_ / "info.txt", std::ios::binary);
    const char* captions[] = {"Total active energy", "Voltage A", "Time"};
    for (int i = 0; i < kItems; ++i) info << captions[i % 3] << ",,\r\n";
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~WorkDir() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_, previous_;
};

void fillMeter(sim::Dlt645Meter& meter) {
  meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});
  meter.setValue(0xB611, {0x20, 0x02});
  meter.setValue(0xC011, {0x00, 0x30, 0x10});
}

// One "Read" of every row; the time per item beyond the pause, in milliseconds.
void BM_SetupReadPerItem(benchmark::State& state) {
  application();
  if (!testhost::registerComponent()) {
    state.SkipWithError("cannot register the component");
    return;
  }
  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  fillMeter(meter);
  sim::MeterOnFd peer(meter, pty.master());
  WorkDir dir(pty.slavePath());
  CountingBoxes boxes;
  application().setErrorBoxes(&boxes);
  zr::setup::PumpBridge bridge;
  double perItemMs = 0;
  {
    zr::setup::TForm1 window(boxes);
    window.setTerminate([](int) {});
    window.show();
    window.findChild<QLineEdit*>("Edit1")->setText("12345");
    window.findChild<QCheckBox*>("chk1")->setChecked(true);
    auto* read = window.findChild<QPushButton*>("BitBtn1");
    for (auto _ : state) {
      boxes.shown = 0;
      window.findChild<QCheckBox*>("chk1")->setChecked(false);
      window.findChild<QCheckBox*>("chk1")->setChecked(true);
      auto start = Clock::now();
      read->click();  // returns when the handler has read every row
      double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      const auto& rows = window.itemTab().results();
      size_t done = 0;
      for (size_t i = 0; i < rows.size(); ++i) done += rows.row(i).checked ? 0 : 1;
      if (done != kItems || boxes.shown != 1 || boxes.last != "Reading is completed!") {
        state.SkipWithError("the read did not complete");
        break;
      }
      perItemMs = ms / kItems - kPauseMs;
    }
  }
  application().setErrorBoxes(nullptr);
  state.counters["beyond_pause_ms_per_item"] = perItemMs;
}
BENCHMARK(BM_SetupReadPerItem)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The program's pause by itself (a nested event loop ended by a timer, as the window's):
// how late its timer ends it.
void BM_PauseOverrun(benchmark::State& state) {
  application();
  bench::Samples s(state);
  for (auto _ : state) {
    s.time([] {
      QEventLoop loop;
      QTimer::singleShot(static_cast<int>(kPauseMs), &loop, &QEventLoop::quit);
      loop.exec();
      return true;
    });
  }
  state.counters["overrun_ms_median"] = s.median() / 1000 - kPauseMs;
  state.counters["overrun_ms_p99"] = s.p99() / 1000 - kPauseMs;
}
BENCHMARK(BM_PauseOverrun)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

// The bare Comm of one item read, for comparison.
void BM_BareComm(benchmark::State& state) {
  sim::PtyPair pty;
  sim::Dlt645Meter meter;
  fillMeter(meter);
  sim::MeterOnFd peer(meter, pty.master());
  zr::com::ComPtr<kavlink::IZrCommDLT645> control;
  kavlink::CZrCommDLT645::createInstance(nullptr, kavlink::IZrCommDLT645::iid, control.putVoid());
  zr::com::ComPtr<kavlink::IZrSerial> serial;
  control->get_Serial(serial.put());
  serial->put_Port(zr::com::Bstr(zr::text::ansiToWide(pty.slavePath())).get());
  if (FAILED(serial->Open())) {
    state.SkipWithError("cannot open the pty");
    return;
  }
  zr::com::ComPtr<kavlink::IFrame645> request;
  control->GetNewIFrame645(request.put());
  request->put_Address(zr::com::Bstr(u"000000012345").get());
  request->put_CtrlWord(0x01);
  request->put_DLen(2);
  request->put_Data(0, 0x10);
  request->put_Data(1, 0x90);
  bench::alone(state, [&] {
    zr::com::ComPtr<kavlink::IFrame645> reply;
    control->Comm(request.get(), reply.put());
    return static_cast<bool>(reply);
  });
  serial->Close();
}
BENCHMARK(BM_BareComm)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
