#include "module/dialog_host.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "com/object.h"
#include "module/window_system.h"

namespace kavlink::dialog {
namespace {

constexpr const char* kModuleName = "kavlink_dialogs.so";
constexpr const char* kComponentVersion = "1.0";

[[noreturn]] void noWindowSystem(const std::string& why = {}) {
  throw zr::com::ComError(why.empty() ? std::string(kNoWindowSystem) : std::string(kNoWindowSystem) + " (" + why + ")");
}

// The directory of the file this code was loaded from: kavlink.so, or a program that
// links the component's objects.
std::string ownDirectory() {
  Dl_info info{};
  std::string file;
  if (dladdr(reinterpret_cast<void*>(&ownDirectory), &info) && info.dli_fname && *info.dli_fname) {
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) file = resolved;
  }
  if (file.empty()) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) file.assign(exe, static_cast<size_t>(n));
  }
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "." : file.substr(0, slash);
}

struct Module {
  HasApplicationFn hasApplication = nullptr;
  StartApplicationFn startApplication = nullptr;
  RunDialogFn runDialog = nullptr;
  ShowMessageFn showMessage = nullptr;
};

template <class F>
F symbol(void* handle, const char* name) {
  return reinterpret_cast<F>(dlsym(handle, name));
}

// Loaded once and kept: Qt cannot be unloaded from a running process.
const Module& loadModule() {
  static std::mutex mutex;
  static Module module;
  static std::string failure;
  std::lock_guard lock(mutex);
  if (module.runDialog) return module;
  if (!failure.empty()) noWindowSystem(failure);
  const std::string path = ownDirectory() + "/" + kModuleName;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = dlerror();
    failure = e ? e : path;
    noWindowSystem(failure);
  }
  auto abi = symbol<DialogAbiFn>(handle, kDialogAbiSymbol);
  Module m{symbol<HasApplicationFn>(handle, kHasApplicationSymbol),
           symbol<StartApplicationFn>(handle, kStartApplicationSymbol), symbol<RunDialogFn>(handle, kRunDialogSymbol),
           symbol<ShowMessageFn>(handle, kShowMessageSymbol)};
  if (!abi || abi() != kDialogAbi || !m.hasApplication || !m.startApplication || !m.runDialog || !m.showMessage) {
    failure = path + " does not match this component";
    noWindowSystem(failure);
  }
  module = m;
  return module;
}

bool qtWidgetsInProcess() {
  void* h = dlopen("libQt6Widgets.so.6", RTLD_NOLOAD | RTLD_LAZY);
  if (h) dlclose(h);
  return h != nullptr;
}

// The module, with an application to show windows in.
const Module& windowModule() {
  // A Qt host may run its application without any server (offscreen), so ask it first;
  // only a process without Qt is probed before Qt is brought in.
  if (qtWidgetsInProcess()) {
    const Module& m = loadModule();
    if (m.hasApplication()) return m;
  }
  std::optional<std::string> platform = reachableWindowSystem();
  if (!platform) noWindowSystem();
  const Module& m = loadModule();
  std::string error;
  if (!m.hasApplication() && !m.startApplication(platform->c_str(), &error)) noWindowSystem(error);
  return m;
}

}  // namespace

int runDialog(DialogModel& model) {
  const Module& m = windowModule();
  std::string error;
  const int result = m.runDialog(&model, &error);
  if (result == 0) throw zr::com::ComError(error.empty() ? std::string(kNoWindowSystem) : error);
  return result;
}

void showAboutBox(std::string_view className) {
  const Module& m = windowModule();
  const std::string name(className);
  const std::string title = "About " + name;
  const std::string text = name + "\nkavlink component, version " + kComponentVersion;
  std::string error;
  if (!m.showMessage(title.c_str(), text.c_str(), &error))
    throw zr::com::ComError(error.empty() ? std::string(kNoWindowSystem) : error);
}

}  // namespace kavlink::dialog
