// Test host helpers: a private registration store and the component loaded from the build.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "com/com.h"

namespace testhost {

// Registers kavlink.so from the build's bin directory in a store of the tests' own, as a
// host that knows only the store would find it. The store the test runner names is kept
// (one per test program); without one, a file of this process serves and goes with it.
inline void* registerComponent() {
  static void* module = [] {
    if (const char* named = std::getenv("COM_REGISTRY_FILE"); !named || !*named) {
      static const std::string reg = "/tmp/zr-test-registry-" + std::to_string(::getpid());
      ::setenv("COM_REGISTRY_FILE", reg.c_str(), 1);
      std::atexit([] {
        ::unlink(reg.c_str());
        ::unlink((reg + ".lock").c_str());
      });
    }
    void* h = ::dlopen(ZR_TEST_BIN_DIR "/kavlink.so", RTLD_NOW | RTLD_LOCAL);
    if (!h) return h;
    auto reg_fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(h, "DllRegisterServer"));
    if (!reg_fn || FAILED(reg_fn())) return static_cast<void*>(nullptr);
    CoInitialize(nullptr);
    return h;
  }();
  return module;
}

inline HRESULT canUnloadNow() {
  auto fn = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(registerComponent(), "DllCanUnloadNow"));
  return fn ? fn() : E_FAIL;
}

}  // namespace testhost
