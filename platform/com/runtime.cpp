// Apartment initialisation and activation of registered classes from their modules.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "com/com.h"
#include "com/registry.h"
#include "text/ansi.h"

namespace {

thread_local int t_initCount = 0;

std::mutex g_modulesMutex;
std::map<std::string, void*>& modules() {
  static std::map<std::string, void*> m;
  return m;
}

// Modules stay loaded for the life of the process: objects they made may outlive any
// single activation, and an unload under a live object would crash its next call.
void* loadModule(const std::string& path) {
  std::lock_guard lock(g_modulesMutex);
  auto it = modules().find(path);
  if (it != modules().end()) return it->second;
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h) modules()[path] = h;
  return h;
}

}  // namespace

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(void*, DWORD) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_initCount > 0) --t_initCount;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (t_initCount == 0) return CO_E_NOTINITIALIZED;
  auto reg = zr::com::findClass(clsid);
  if (!reg) return REGDB_E_CLASSNOTREG;
  void* module = loadModule(reg->modulePath);
  if (!module) return CO_E_DLLNOTFOUND;
  auto fn = reinterpret_cast<DllGetClassObjectFn>(::dlsym(module, "DllGetClassObject"));
  if (!fn) return CO_E_ERRORINDLL;
  return fn(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT h = CoGetClassObject(clsid, context, nullptr, IClassFactory::iid, reinterpret_cast<void**>(&factory));
  if (FAILED(h)) return h;
  h = factory->CreateInstance(outer, riid, ppv);
  factory->Release();
  return h;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  auto reg = zr::com::findClassByProgId(zr::text::wideToAnsi(std::u16string_view(progId)));
  if (!reg) return CO_E_CLASSSTRING;
  *clsid = reg->clsid;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  auto reg = zr::com::findClass(clsid);
  if (!reg || reg->progId.empty()) return REGDB_E_CLASSNOTREG;
  std::u16string w = zr::text::ansiToWide(reg->progId);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
  *progId = out;
  return S_OK;
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
void CoTaskMemFree(void* p) { std::free(p); }
