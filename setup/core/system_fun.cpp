#include "core/system_fun.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>

#include "com/com_ptr.h"
#include "core/setup_error.h"
#include "kavlink/zr_serial.h"
#include "text/ansi.h"
#include "text/trim.h"

namespace zr::setup {

int32_t IntegerPower(int32_t base, int32_t exp) {
  // Unsigned arithmetic gives the 32-bit wrap without undefined behaviour.
  uint32_t result = 1;
  for (int32_t i = 0; i < exp; ++i) result *= static_cast<uint32_t>(base);
  return static_cast<int32_t>(result);
}

int32_t HexTextToInt(std::string_view text) {
  const auto len = static_cast<int32_t>(text.size());
  uint32_t result = 0;
  for (int32_t i = 0; i < len; ++i) {
    char c = text[static_cast<size_t>(i)];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return 0;
    }
    result += digit * static_cast<uint32_t>(IntegerPower(16, len - i - 1));
  }
  return static_cast<int32_t>(result);
}

std::string ByteToBinaryText(uint8_t b) {
  static constexpr std::array<uint8_t, 8> kMasks = {1, 2, 4, 8, 16, 32, 64, 128};
  std::string bits(8, '0');
  for (size_t k = 0; k < kMasks.size(); ++k) {
    if (b & kMasks[k]) bits[7 - k] = '1';
  }
  return bits;
}

std::string FitTextToWidth(std::string_view text, char fill, int width) {
  if (width <= 0) return {};
  const auto w = static_cast<size_t>(width);
  if (text.size() < w) return std::string(w - text.size(), fill) + std::string(text);
  return std::string(text.substr(0, w));
}

std::vector<std::string> GetSerialPortNames() {
  std::vector<std::string> names;
  zr::com::ComPtr<kavlink::IZrSerial> serial;
  if (FAILED(CoCreateInstance(kavlink::CLSID_ZrSerial, nullptr, CLSCTX_INPROC_SERVER, kavlink::IZrSerial::iid,
                              serial.putVoid())) ||
      !serial) {
    return names;
  }
  LONG count = 0;
  if (FAILED(serial->GetPortCount(&count))) return names;
  for (LONG i = 0; i < count; ++i) {
    zr::com::Bstr name;
    if (SUCCEEDED(serial->GetPortName(i, name.put()))) names.push_back(zr::text::wideToAnsi(name.view()));
  }
  return names;
}

void RegisterComServerFile(const std::string& path) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = ::dlerror();
    throw SetupError("The communication component cannot be loaded: " + std::string(why ? why : path));
  }
  struct Unload {
    void* module;
    ~Unload() { ::dlclose(module); }
  } unload{module};
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
  if (!registerServer)
    throw SetupError("The communication component cannot be registered: " + path + " has no DllRegisterServer");
  const HRESULT result = registerServer();
  if (FAILED(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result));
    throw SetupError("The communication component cannot be registered: DllRegisterServer of " + path + " failed (0x" +
                     code + ")");
  }
}

std::string trimText(std::string_view text) {
  static constexpr auto kUpToSpace = [] {
    std::array<char, ' ' + 1> blanks{};
    for (size_t c = 0; c < blanks.size(); ++c) blanks[c] = static_cast<char>(c);
    return blanks;
  }();
  return std::string(zr::text::trim(text, {kUpToSpace.data(), kUpToSpace.size()}));
}

}  // namespace zr::setup
