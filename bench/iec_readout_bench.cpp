// IEC 62056-21 readout: a whole mode C readout of 200 data sets through the control against
// the simulated meter on a pseudo-terminal (the meter's speed is the terminal's), next to
// the engine receiving the same message from memory; and PickDataMsg on a large readout
// text, next to the plain splitting functions it is built on.
//
// The switch-baud pause is set to 0 so the figure is the exchange, not a fixed sleep.
#include <benchmark/benchmark.h>

#include "com/com_ptr.h"
#include "iec62056/data_sets.h"
#include "iec62056/iec_link.h"
#include "iec62056/zr_iec62056_21.h"
#include "sim/iec_meter.h"
#include "sim/pty_pair.h"
#include "support/scripted_channel.h"
#include "text/ansi.h"

using namespace kavlink;
using zr::com::Bstr;
using zr::com::ComPtr;

namespace {

std::vector<std::string> dataSets(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("1.8." + std::to_string(i) + "(" + std::to_string(100000 + i) + ".5*kWh)");
  return v;
}

void ModeCReadout200(benchmark::State& state) {
  sim::PtyPair pty;
  sim::IecMeter meter("12345678", '5');
  meter.setReadout(dataSets(200));
  sim::IecMeterOnFd peer(meter, pty.master());
  ComPtr<IZrIEC62056_21> control;
  CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, control.putVoid());
  ComPtr<IZrSerial> serial;
  control->get_Serial(serial.put());
  serial->put_Port(Bstr(zr::text::ansiToWide(pty.slavePath())).get());
  control->put_SwitchBaudDelay(0);
  control->put_MsgNotify(0);
  for (auto _ : state) {
    Bstr msg;
    VARIANT_BOOL ok = 0;
    control->DataReadout(msg.put(), &ok);
    if (!ok) state.SkipWithError("readout failed");
  }
  state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(ModeCReadout200)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same readout message received by the engine from memory, in 256-byte reads.
void EngineReceive200FromMemory(benchmark::State& state) {
  const sim::IecBytes wire = sim::IecMeter::readoutMessage(dataSets(200));
  const std::string msg(wire.begin(), wire.end());
  iec::LinkSettings settings;
  settings.msgNotify = 0;
  testhost::ScriptedChannel channel;
  iec::IecLink link(channel, settings, nullptr);
  link.setBusy(true);
  std::vector<std::string> chunks;
  for (size_t at = 0; at < msg.size(); at += 256) chunks.push_back(msg.substr(at, 256));
  for (auto _ : state) {
    channel.waits.clear();
    channel.preload(chunks);
    std::string out;
    if (!link.receiveReadout(65536, out)) state.SkipWithError("receive failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(EngineReceive200FromMemory);

std::string largeReadout(int n) {
  std::string text = "\x02";
  for (const std::string& d : dataSets(n)) text += d + "\r\n";
  return text + "!\r\n\x03";
}

void PickDataMsgLarge(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Bstr text(zr::text::ansiToWide(largeReadout(n)));
  ComPtr<IZrIEC62056_21> control;
  CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, control.putVoid());
  for (auto _ : state) {
    ComPtr<IDataMsg> dm;
    control->PickDataMsg(text.get(), dm.put());
    if (!dm) state.SkipWithError("no data message");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(PickDataMsgLarge)->Arg(10000);

// Baseline: the splitting functions alone, without the text conversion and the object.
void SplitLinesLarge(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string text = largeReadout(n);
  for (auto _ : state) {
    iec::DataSets sets;
    iec::forEachReadoutLine(text, [&](std::string_view line) { return iec::splitDataSets(line, sets); });
    benchmark::DoNotOptimize(sets);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(SplitLinesLarge)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
