// Shared pieces of the settings-file, setup-dialog and about-box tests: a fresh directory
// per test, a serial port with a known port list, and the COM error a call left.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "channels/serial/zr_serial.h"
#include "com/com_ptr.h"
#include "text/ansi.h"

namespace kavlink::test {

using zr::com::Bstr;
using zr::com::ComPtr;

struct TempDir {
  std::filesystem::path path;

  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path = std::filesystem::temp_directory_path() /
           ("zr-serial-config-" + std::to_string(::getpid()) + "-" + info->name());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

inline std::string contentsOf(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

inline Bstr bstr(const std::string& utf8) { return Bstr(zr::text::utf8ToWide(utf8)); }

// A port object whose machine port list is the given names (devices of a fake sysfs).
inline ComPtr<CZrSerial> serialWithPorts(const TempDir& dir, std::initializer_list<const char*> names) {
  const auto sys = dir.path / "sys-class-tty";
  for (const char* name : names) std::filesystem::create_directories(sys / name / "device");
  ::setenv("ZR_SERIAL_PORT_DIR", sys.c_str(), 1);
  auto port = ComPtr<CZrSerial>::attach(CZrSerial::create());
  ::unsetenv("ZR_SERIAL_PORT_DIR");
  return port;
}

// The description and source of the COM error a failing call left ("" when it succeeded).
struct ComFailure {
  HRESULT code = S_OK;
  std::string text;
  std::string source;
};
inline ComFailure failureOf(HRESULT h) {
  ComFailure f{h, "", ""};
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(h) || GetErrorInfo(0, &info) != S_OK) return f;
  Bstr text, source;
  info->GetDescription(text.put());
  info->GetSource(source.put());
  info->Release();
  f.text = zr::text::wideToUtf8(text.view());
  f.source = zr::text::wideToUtf8(source.view());
  return f;
}

}  // namespace kavlink::test
