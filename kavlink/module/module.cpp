// The module's exports: self-registration, class objects and unload check.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "com/registry.h"
#include "module/class_table.h"
#include "text/ansi.h"

namespace kavlink {

std::vector<ClassEntry>& classTable() {
  static std::vector<ClassEntry> table;
  return table;
}

const ClassEntry* findClassEntry(REFCLSID clsid) {
  for (const ClassEntry& e : classTable())
    if (e.clsid == clsid) return &e;
  return nullptr;
}

namespace {

std::string modulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || !info.dli_fname) return {};
  char resolved[4096];
  if (::realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

HRESULT registerAll() {
  std::string path = modulePath();
  if (path.empty()) return E_UNEXPECTED;
  for (const ClassEntry& e : classTable()) {
    zr::com::ClassRegistration r;
    r.clsid = e.clsid;
    r.modulePath = path;
    r.progId = zr::text::wideToAnsi(e.progId);
    r.viProgId = zr::text::wideToAnsi(e.viProgId);
    r.description = e.description;
    r.threadingModel = "Apartment";
    HRESULT h = zr::com::registerClass(r);
    if (FAILED(h)) return h;
  }
  return zr::com::registerTypeLib({kLibId, "1.0", "kavlinkLib", path});
}

HRESULT unregisterAll() {
  HRESULT result = S_OK;
  for (const ClassEntry& e : classTable()) {
    HRESULT h = zr::com::unregisterClass(e.clsid);
    if (FAILED(h)) result = h;
  }
  HRESULT h = zr::com::unregisterTypeLib(kLibId);
  return FAILED(h) ? h : result;
}

}  // namespace
}  // namespace kavlink

#define KAVLINK_EXPORT extern "C" __attribute__((visibility("default")))

KAVLINK_EXPORT HRESULT DllRegisterServer() { return kavlink::registerAll(); }

KAVLINK_EXPORT HRESULT DllUnregisterServer() { return kavlink::unregisterAll(); }

// "user" asks for per-user registration; the store is always per user here, so both
// forms register into the same store.
KAVLINK_EXPORT HRESULT DllInstall(BOOL install, LPCOLESTR cmdLine) {
  if (cmdLine) {
    std::u16string_view arg(cmdLine);
    if (!arg.empty() && zr::text::wideToAnsi(arg) != "user" && zr::text::wideToAnsi(arg) != "USER") return E_INVALIDARG;
  }
  return install ? kavlink::registerAll() : kavlink::unregisterAll();
}

KAVLINK_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const kavlink::ClassEntry* e = kavlink::findClassEntry(clsid);
  if (!e) return CLASS_E_CLASSNOTAVAILABLE;
  return e->getClassObject(riid, ppv);
}

KAVLINK_EXPORT HRESULT DllCanUnloadNow() { return zr::com::liveObjects().load() == 0 ? S_OK : S_FALSE; }
