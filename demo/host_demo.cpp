// A small host: registers kavlink.so found beside this program, creates a frame by ProgID
// and prints the read request a setup program would send for item 9010 of meter 12345.
#include <dlfcn.h>
#include <kavlink/frame645.h>

#include <cstdio>
#include <string>

#include "com/com_ptr.h"
#include "text/ansi.h"

using namespace zr::com;

int main(int, char** argv) {
  std::string dir = argv[0];
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  void* module = ::dlopen((dir + "kavlink.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "cannot load kavlink.so: %s\n", ::dlerror());
    return 1;
  }
  auto reg = reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
  if (!reg || FAILED(reg())) {
    std::fprintf(stderr, "kavlink.so did not register\n");
    return 1;
  }
  CoInitialize(nullptr);
  CLSID clsid{};
  ComPtr<kavlink::IFrame645> frame;
  if (FAILED(CLSIDFromProgID(u"kavlink.Frame645", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kavlink::IFrame645::iid, frame.putVoid()))) {
    std::fprintf(stderr, "cannot create kavlink.Frame645\n");
    return 1;
  }
  frame->put_Address(Bstr(u"12345").get());
  frame->put_CtrlWord(0x01);
  frame->put_DLen(2);
  frame->put_Data(0, 0x10);
  frame->put_Data(1, 0x90);
  frame->put_PrefixCharCount(4);
  Bstr text;
  frame->GetFrameString(text.put());
  std::printf("kavlink.Frame645 read request: %s\n", zr::text::wideToUtf8(text.view()).c_str());
  frame.reset();
  CoUninitialize();
  return 0;
}
