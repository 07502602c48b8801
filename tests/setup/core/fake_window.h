// The window and the meter link as the item tab sees them, recorded for the tests.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/form_fields.h"
#include "core/meter_exchange.h"
#include "core/page_fields.h"
#include "core/ui_port.h"

namespace zr::setup {

struct FakeForm : FormFields {
  std::string password = "318204";
  std::string meterId = "000000000001";
  std::string port = "/dev/ttyFAKE";
  bool local = true;

  std::string passwordText() const override { return password; }
  std::string meterIdText() const override { return meterId; }
  std::string portText() const override { return port; }
  bool isLocalChannel() const override { return local; }
};

// Every call, in order, as one line.
struct FakeUi : UiPort {
  std::vector<std::string> events;

  void showMessage(const std::string& text) override { events.push_back("message " + text); }
  void showWarning(const std::string& text) override { events.push_back("warning " + text); }
  void appendLog(const std::string& line) override { events.push_back("log " + line); }
  std::function<void()> onPause;  // runs inside a pause, as window events do
  void pause(int ms) override {
    events.push_back("pause " + std::to_string(ms));
    if (onPause) onPause();
  }
  void setControlEnabled(std::string_view name, bool enabled) override {
    events.push_back(std::string(enabled ? "enable " : "disable ") + std::string(name));
  }

  // The texts of the events of one kind ("message", "log" ...), in order.
  std::vector<std::string> only(std::string_view kind) const {
    std::vector<std::string> out;
    const std::string prefix = std::string(kind) + " ";
    for (const std::string& e : events)
      if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    return out;
  }
};

// The page controls by name; Edit1 is the form's meter ID.
struct FakePage : PageFields {
  explicit FakePage(FakeForm& f) : form(f) {}
  FakeForm& form;
  std::map<std::string, std::string, std::less<>> texts;
  std::map<std::string, bool, std::less<>> boxes;

  std::string text(std::string_view name) const override {
    if (name == "Edit1") return form.meterId;
    auto t = texts.find(name);
    return t == texts.end() ? std::string() : t->second;
  }
  void setText(std::string_view name, const std::string& text) override {
    if (name == "Edit1") {
      form.meterId = text;
    } else {
      texts[std::string(name)] = text;
    }
  }
  bool isChecked(std::string_view name) const override {
    auto b = boxes.find(name);
    return b != boxes.end() && b->second;
  }
  void setChecked(std::string_view name, bool checked) override { boxes[std::string(name)] = checked; }
};

struct FakeMeter : MeterExchange {
  struct Reply {
    bool ok;
    std::string value;
  };
  bool openFails = false;
  std::deque<Reply> replies;
  std::function<void()> duringRead;  // runs inside the exchange, as window events do
  std::vector<std::string> calls;

  void openSerialPort(const std::string& name) override {
    calls.push_back("open " + name);
    if (openFails) throw std::runtime_error("port held");
  }
  void closeSerialPort() override { calls.push_back("close"); }
  bool ReadDataItem(const std::string& meterId, const std::string& di1, std::string& value,
                    const std::string& di0) override {
    calls.push_back("read " + meterId + " " + di1 + di0);
    if (duringRead) duringRead();
    const Reply reply = replies.empty() ? Reply{false, "Return null!"} : replies.front();
    if (!replies.empty()) replies.pop_front();
    if (reply.ok) {
      value += reply.value;
    } else {
      value = reply.value;
    }
    return reply.ok;
  }
  // The item tab never sends frames of its own.
  std::string prepareRequest(const FrameRequest&, bool) override { return {}; }
  std::optional<FrameReply> exchangeRequest() override { return std::nullopt; }
};

}  // namespace zr::setup
