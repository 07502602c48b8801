#include "channels/serial/serial_setup_model.h"

#include <gtest/gtest.h>

#include <map>

#include "serial_config_support.h"

namespace kavlink::test {
namespace {

using M = SerialSetupModel;

// The dialog's controls in memory, with every call the model makes, in order. Lists start
// with the layout's items, as the window's do.
class FakeView final : public dialog::DialogView {
 public:
  explicit FakeView(const dialog::DialogLayout& layout) {
    for (const auto& c : layout.controls) {
      for (std::string_view item : c.items) items[c.id].emplace_back(item);
      selected[c.id] = -1;
    }
  }
  void setItems(int id, const std::vector<std::string>& list) override {
    calls.push_back("items " + std::to_string(id));
    items[id] = list;
  }
  void setText(int id, const std::string& text) override {
    calls.push_back("text " + std::to_string(id));
    texts[id] = text;
  }
  std::string text(int id) const override { return texts.count(id) ? texts.at(id) : ""; }
  void select(int id, int index) override {
    calls.push_back("select " + std::to_string(id));
    selected[id] = index >= 0 && static_cast<size_t>(index) < items[id].size() ? index : -1;
  }
  int selection(int id) const override { return selected.at(id); }
  void setChecked(int id, bool on) override {
    calls.push_back("check " + std::to_string(id));
    checks[id] = on;
  }
  bool checked(int id) const override { return checks.count(id) && checks.at(id); }

  // What the user does: pick an item (the model hears of it), type, tick.
  void pick(M& model, int id, int index) {
    selected[id] = index;
    model.selectionChanged(*this, id);
  }

  std::vector<std::string> calls;
  std::map<int, std::vector<std::string>> items;
  std::map<int, std::string> texts;
  std::map<int, int> selected;
  std::map<int, bool> checks;
};

TEST(SerialSetupModel, StartFillsTheControlsInOrder) {
  TempDir dir;
  auto port = serialWithPorts(dir, {"ttyUSB0", "ttyACM1"});
  M model(*port);
  FakeView view(model.layout());
  model.start(view);
  const std::vector<std::string> order = {
      "items 201",  "text 201",  "text 202",  "select 203", "select 204", "select 205", "select 206", "select 207",
      "select 208", "check 214", "check 215", "check 221",  "check 218",  "check 217",  "check 219",  "text 213",
      "text 220",   "check 216", "check 225", "text 222",   "text 223",   "text 224",
  };
  EXPECT_EQ(view.calls, order);
  // The machine's ports replace the list's COM1 to COM12.
  EXPECT_EQ(view.items[M::kPort], (std::vector<std::string>{"ttyACM1", "ttyUSB0"}));
  EXPECT_EQ(view.texts[M::kPort], "COM1");
  EXPECT_EQ(view.texts[M::kBaudRate], "br9600");
  EXPECT_EQ(view.texts[M::kXonChar], "17");
  EXPECT_EQ(view.texts[M::kXoffChar], "19");
  const std::pair<int, int> selections[] = {{M::kParityBits, 0},  {M::kDataBits, 3},   {M::kStopBits, 0},
                                            {M::kFlowControl, 0}, {M::kRtsControl, 0}, {M::kDtrControl, 0}};
  for (auto [id, index] : selections) EXPECT_EQ(view.selected[id], index) << id;
}

TEST(SerialSetupModel, StartShowsEachSettingAsItsControlHoldsIt) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  SerialConfig c;
  c.port = "/dev/ttyUSB0";
  c.baudRate = 12345;  // not in the list: still shown
  c.parityBits = 7;    // no such item: nothing selected
  c.dataBits = 5;
  c.stopBits = 2;
  c.rtsControl = 2;
  c.dtrControl = 1;
  c.outxCtsFlow = -1;
  c.txContinueOnXoff = 1;
  c.errChar = 0xFE;
  c.eofChar = 0x1A;
  c.eventChar = -3;
  c.useErrChar = 1;
  c.discardNull = -1;
  port->applyConfig(c);
  M model(*port);
  FakeView view(model.layout());
  model.start(view);
  EXPECT_EQ(view.texts[M::kPort], "/dev/ttyUSB0");
  EXPECT_EQ(view.texts[M::kBaudRate], "br12345");
  const std::pair<int, int> selections[] = {{M::kParityBits, -1}, {M::kDataBits, 0},   {M::kStopBits, 2},
                                            {M::kFlowControl, 3}, {M::kRtsControl, 2}, {M::kDtrControl, 1}};
  for (auto [id, index] : selections) EXPECT_EQ(view.selected[id], index) << id;
  const std::pair<int, bool> boxes[] = {{M::kOutxCtsFlow, true}, {M::kOutxDsrFlow, false}, {M::kTxContinueOnXoff, true},
                                        {M::kXonXoffIn, false},  {M::kUseErrChar, true},   {M::kDiscardNull, true}};
  for (auto [id, on] : boxes) EXPECT_EQ(view.checks[id], on) << id;
  EXPECT_EQ(view.texts[M::kErrChar], "-2");
  EXPECT_EQ(view.texts[M::kEofChar], "26");
  EXPECT_EQ(view.texts[M::kEventChar], "-3");
}

TEST(SerialSetupModel, PickingAFlowControlAppliesItsPresetAtOnce) {
  struct Case {
    int item;
    TFlow before;
    TFlow after;
  };
  const Case cases[] = {
      {1, fcNone, fcHardWare}, {2, fcHardWare, fcXonXoff}, {0, fcXonXoff, fcNone}, {3, fcHardWare, fcHardWare}};
  for (const Case& k : cases) {
    auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
    port->put_FlowControl(k.before);
    M model(*port);
    FakeView view(model.layout());
    model.start(view);
    view.calls.clear();
    view.pick(model, M::kFlowControl, k.item);
    // On the port before any OK: a Cancel now keeps it.
    TFlow now = fcCustom;
    port->get_FlowControl(&now);
    EXPECT_EQ(now, k.after) << k.item;
    // The flow fields show the port again, in their start order.
    const std::vector<std::string> shown = {"select 207", "select 208", "check 214", "check 215", "check 221",
                                            "check 218",  "check 217",  "check 219", "text 213",  "text 220"};
    EXPECT_EQ(view.calls, shown) << k.item;
    const SerialConfig c = port->config();
    EXPECT_EQ(view.selected[M::kRtsControl], c.rtsControl);
    EXPECT_EQ(view.checks[M::kOutxCtsFlow], c.outxCtsFlow != 0);
    EXPECT_EQ(view.checks[M::kXonXoffIn], c.xonXoffIn != 0);
  }
}

TEST(SerialSetupModel, OtherListsAndNoSelectionChangeNothingAtOnce) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  port->put_FlowControl(fcHardWare);
  M model(*port);
  FakeView view(model.layout());
  model.start(view);
  const SerialConfig before = port->config();
  view.pick(model, M::kParityBits, 2);
  view.pick(model, M::kFlowControl, -1);
  EXPECT_EQ(port->config(), before);
}

// What OK writes for what the user left in one control; every other control as shown.
TEST(SerialSetupModel, OkWritesEachControlBack) {
  using Edit = std::function<void(FakeView&)>;
  using Check = std::function<void(const SerialConfig&)>;
  auto text = [](int id, std::string t) { return Edit([=](FakeView& v) { v.texts[id] = t; }); };
  auto item = [](int id, int i) { return Edit([=](FakeView& v) { v.selected[id] = i; }); };
  struct Case {
    const char* what;
    Edit edit;
    Check check;
  };
  const Case cases[] = {
      {"br4800", text(M::kBaudRate, "br4800"), [](auto& c) { EXPECT_EQ(c.baudRate, 4800); }},
      {"no prefix", text(M::kBaudRate, "9600"), [](auto& c) { EXPECT_EQ(c.baudRate, 9600); }},
      {"prefix and blanks", text(M::kBaudRate, " br 19200x"), [](auto& c) { EXPECT_EQ(c.baudRate, 19200); }},
      {"short", text(M::kBaudRate, "b"), [](auto& c) { EXPECT_EQ(c.baudRate, 1200); }},
      {"no digits", text(M::kBaudRate, "fast"), [](auto& c) { EXPECT_EQ(c.baudRate, 1200); }},
      {"empty baud", text(M::kBaudRate, ""), [](auto& c) { EXPECT_EQ(c.baudRate, 1200); }},
      {"long port", text(M::kPort, "/dev/ttyUSB12"), [](auto& c) { EXPECT_EQ(c.port, "/dev/ttyUSB12"); }},
      {"picked port", text(M::kPort, "ttyACM0"), [](auto& c) { EXPECT_EQ(c.port, "ttyACM0"); }},
      {"parity", item(M::kParityBits, 3), [](auto& c) { EXPECT_EQ(c.parityBits, 3); }},
      {"data bits", item(M::kDataBits, 1), [](auto& c) { EXPECT_EQ(c.dataBits, 6); }},
      {"stop bits", item(M::kStopBits, 1), [](auto& c) { EXPECT_EQ(c.stopBits, 1); }},
      {"no parity item", item(M::kParityBits, -1), [](auto& c) { EXPECT_EQ(c.parityBits, 1); }},
      {"no data item", item(M::kDataBits, -1), [](auto& c) { EXPECT_EQ(c.dataBits, 7); }},
      {"no rts item", item(M::kRtsControl, -1), [](auto& c) { EXPECT_EQ(c.rtsControl, 2); }},
      {"dtr", item(M::kDtrControl, 2), [](auto& c) { EXPECT_EQ(c.dtrControl, 2); }},
      {"xon wraps", text(M::kXonChar, "300"), [](auto& c) { EXPECT_EQ(c.xonChar, 44); }},
      {"xoff signed", text(M::kXoffChar, "-2"), [](auto& c) { EXPECT_EQ(c.xoffChar, 0xFE); }},
      {"err char C rules", text(M::kErrChar, "  +17abc"), [](auto& c) { EXPECT_EQ(c.errChar, 17); }},
      {"eof no digits", text(M::kEofChar, "x1"), [](auto& c) { EXPECT_EQ(c.eofChar, 0); }},
      {"event char", text(M::kEventChar, "200"), [](auto& c) { EXPECT_EQ(c.eventChar, -56); }},
      {"unchecked", [](FakeView& v) { v.checks[M::kDiscardNull] = false; },
       [](auto& c) { EXPECT_EQ(c.discardNull, 0); }},
      {"checked", [](FakeView& v) { v.checks[M::kXonXoffIn] = true; }, [](auto& c) { EXPECT_EQ(c.xonXoffIn, 1); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
    SerialConfig c;
    c.baudRate = 1200, c.parityBits = 1, c.dataBits = 7, c.rtsControl = 2, c.discardNull = -1;
    port->applyConfig(c);
    M model(*port);
    FakeView view(model.layout());
    model.start(view);
    k.edit(view);
    model.accept(view);
    k.check(port->config());
  }
}

TEST(SerialSetupModel, OkWithNothingChangedKeepsEverySetting) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  SerialConfig c;
  c.port = "ttyUSB1", c.baudRate = 57600, c.parityBits = 2, c.dataBits = 7, c.stopBits = 2;
  c.rtsControl = 1, c.dtrControl = 2, c.dsrSensitivity = 1, c.outxDsrFlow = 1, c.xonXoffOut = 1;
  c.xonChar = 0x81, c.xoffChar = 3, c.useErrChar = 1, c.discardNull = 1, c.errChar = 0xFE, c.eofChar = 4;
  c.eventChar = -1;
  port->applyConfig(c);
  M model(*port);
  FakeView view(model.layout());
  model.start(view);
  model.accept(view);
  EXPECT_EQ(port->config(), c);
}

TEST(SerialSetupModel, FlowFieldsWrittenAfterThePresetWin) {
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  M model(*port);
  FakeView view(model.layout());
  model.start(view);
  view.pick(model, M::kFlowControl, 1);  // fcHardware: CTS on, DTR enable, RTS handshake
  view.checks[M::kOutxCtsFlow] = false;
  view.checks[M::kTxContinueOnXoff] = true;
  model.accept(view);
  const SerialConfig c = port->config();
  EXPECT_EQ(c.outxCtsFlow, 0);
  EXPECT_EQ(c.txContinueOnXoff, 1);
  EXPECT_EQ(c.dtrControl, 1);
  EXPECT_EQ(c.rtsControl, 2);
  TFlow flow = fcNone;
  port->get_FlowControl(&flow);
  EXPECT_EQ(flow, fcCustom);
}

}  // namespace
}  // namespace kavlink::test
