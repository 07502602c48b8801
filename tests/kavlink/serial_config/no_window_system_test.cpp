// A host without a display (a server, a CI job): the dialogs and about boxes fail with a
// readable COM error, the process goes on, and nothing of Qt is ever loaded.
#include <gtest/gtest.h>
#include <link.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "channels/socket/zr_socket.h"
#include "com/dispatch.h"
#include "dlt645/zr_comm_dlt645.h"
#include "module/window_system.h"
#include "serial_config_support.h"
#include "support/module_host.h"

namespace kavlink::test {
namespace {

bool qtLoaded() {
  bool found = false;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "libQt6")) *static_cast<bool*>(data) = true;
        return 0;
      },
      &found);
  return found;
}

// The environment of a host with no window system, for the length of a test.
class NoDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) value ? (void)::setenv(name, value->c_str(), 1) : (void)::unsetenv(name);
  }
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

template <class T>
ComPtr<T> make() {
  return ComPtr<T>::attach(T::create());
}

TEST_F(NoDisplay, DialogsAndAboutBoxesFailReadably) {
  TempDir dir;
  auto serial = make<CZrSerial>();
  ASSERT_EQ(serial->SaveConfig(bstr(dir.file("s.ini")).get()), S_OK);
  auto dlt645 = make<CZrCommDLT645>();
  auto socket = make<CZrSocket>();
  struct Case {
    const char* what;
    std::function<HRESULT()> call;
    const char* source;
  };
  const Case cases[] = {
      {"serial setup", [&] { return serial->ShowSetupDlg(); }, "kavlink.ZrSerial.1"},
      {"serial about", [&] { return serial->AboutBox(); }, "kavlink.ZrSerial.1"},
      {"dlt645 about", [&] { return dlt645->AboutBox(); }, "kavlink.ZrCommDLT645.1"},
      {"socket about", [&] { return socket->AboutBox(); }, "kavlink.ZrSocket.1"},
  };
  // Twice each: a failed attempt leaves nothing behind that changes the next one.
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      ComFailure f = failureOf(c.call());
      EXPECT_EQ(f.code, DISP_E_EXCEPTION) << c.what;
      EXPECT_EQ(f.text, "No window system is available") << c.what;
      EXPECT_EQ(f.source, c.source) << c.what;
    }
  }
  // A display named but not answering is no window system either.
  ::setenv("DISPLAY", ":987", 1);
  ::setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-9", 1);
  EXPECT_EQ(failureOf(serial->ShowSetupDlg()).text, "No window system is available");
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  EXPECT_EQ(failureOf(serial->AboutBox()).text, "No window system is available");
  // The port still works as before.
  TBaudRate baud = br300;
  serial->put_BaudRate(br4800);
  serial->get_BaudRate(&baud);
  EXPECT_EQ(baud, 4800);
  EXPECT_FALSE(qtLoaded());
}

TEST_F(NoDisplay, HostsReachTheFailureThroughDispatch) {
  ASSERT_NE(testhost::registerComponent(), nullptr);
  for (const char16_t* progId : {u"kavlink.ZrSerial", u"kavlink.ZrCommDLT645", u"kavlink.ZrSocket"}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    ComPtr<IDispatch> d;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, d.putVoid()), S_OK);
    EXCEPINFO info{};
    EXPECT_EQ(zr::com::invokeByName(d.get(), u"AboutBox", DISPATCH_METHOD, {}, nullptr, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(zr::com::bstrView(info.bstrDescription), u"No window system is available");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
  }
  // kavlink.so itself never brings Qt in.
  EXPECT_FALSE(qtLoaded());
}

// A listening socket standing in for a display server.
struct FakeServer {
  int fd = -1;
  FakeServer(const std::string& path, bool abstract) {
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), len), 0) << path;
    EXPECT_EQ(listen(fd, 4), 0);
  }
  ~FakeServer() { close(fd); }
};

TEST_F(NoDisplay, WindowSystemIsFoundOnlyWhereAServerAnswers) {
  TempDir dir;
  // An X display number nobody uses, served on the abstract socket as the X server does.
  const std::string number = std::to_string(5000 + ::getpid() % 4000);
  FakeServer x("/tmp/.X11-unix/X" + number, true);
  FakeServer wayland(dir.file("wayland-test"), false);
  struct Case {
    const char* qpa;
    std::string display;
    std::string waylandDisplay;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {nullptr, "", "", std::nullopt},
      {nullptr, ":" + number, "", "xcb"},
      {nullptr, "unix:" + number + ".0", "", "xcb"},
      {nullptr, ":987", "", std::nullopt},
      {nullptr, "", dir.file("wayland-test"), "wayland"},
      {nullptr, ":987", "wayland-test", "wayland"},  // relative to XDG_RUNTIME_DIR
      {nullptr, ":" + number, "wayland-test", "xcb"},
      {"offscreen", "", "", ""},
      {"xcb", ":" + number, "", ""},
      {"xcb", "", dir.file("wayland-test"), std::nullopt},
      {"wayland;xcb", "", "wayland-test", ""},
      {"wayland", ":" + number, "", std::nullopt},
  };
  ::setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
  for (const Case& c : cases) {
    c.qpa ? (void)::setenv("QT_QPA_PLATFORM", c.qpa, 1) : (void)::unsetenv("QT_QPA_PLATFORM");
    ::setenv("DISPLAY", c.display.c_str(), 1);
    ::setenv("WAYLAND_DISPLAY", c.waylandDisplay.c_str(), 1);
    EXPECT_EQ(dialog::reachableWindowSystem(), c.expected)
        << (c.qpa ? c.qpa : "-") << " " << c.display << " " << c.waylandDisplay;
  }
  EXPECT_FALSE(qtLoaded());
}

}  // namespace
}  // namespace kavlink::test
