// Test host helpers: a private registration store and the component loaded from the build.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "com/com.h"

namespace testhost {

// Points the registration store at a file of this test process and registers kavlink.so
// from the build's bin directory, as a host that knows only the store would find it.
inline void* registerComponent() {
  static void* module = [] {
    std::string reg = "/tmp/zr-test-registry-" + std::to_string(::getpid());
    ::setenv("COM_REGISTRY_FILE", reg.c_str(), 1);
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
