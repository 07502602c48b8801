// IDispatch::Invoke of every class of the component, made through its class factory, with
// fuzzer-chosen members, flags and arguments of any type: numbers, texts, interfaces, safe
// arrays, references, references to VARIANTs (nested, chained, referring to themselves).
// Buffer addresses are never made up: a member that takes one gets a real buffer or, as a
// careless host passes, the address 0, and its length argument stays inside the buffer. A
// serial port works on a pseudo-terminal opened for it, with bytes already waiting on the
// line. Members that open devices or sockets, show dialogs, touch files, resolve names or
// wait are left out, but for a wait kept to a few milliseconds.
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <vector>

#include "com/dispatch.h"
#include "fuzz_check.h"
#include "fuzz_objects.h"
#include "kavlink/frame645.h"
#include "kavlink/zr_comm_dlt645.h"
#include "kavlink/zr_serial.h"
#include "kavlink/zr_socket.h"
#include "kavlink/zr_sts.h"
#include "kavlink/zr_tools.h"
#include "platform/serial/pty_pair.h"

using namespace kavlink;
using zr::com::ComPtr;
using zr::com::DispTable;

namespace {

constexpr size_t kBufferSize = 8192;
constexpr int kMaxLength = 4096;  // a length argument is at most this, so it fits the buffer
constexpr int kMaxWaitMs = 3;

// A member with a buffer address: the argument positions (in call order) of the address, of
// its length and of a time-out to keep short (-1: none).
struct BufferMember {
  DISPID id;
  int ptrAt;
  int lenAt;
  int waitAt = -1;
};

struct ClassUnderTest {
  CLSID clsid;
  const DispTable& (*table)();
  std::set<DISPID> skipped;
  std::vector<BufferMember> buffers;
  std::set<DISPID> smallNumbers;  // members whose number arguments are sizes to allocate
};

const std::vector<ClassUnderTest>& classes() {
  static const std::vector<ClassUnderTest> all = {
      {CLSID_Frame645, &zr::com::dispatchTable<IFrame645>, {}, {{13, 0, 1}, {14, 0, -1}}, {}},
      {CLSID_ZrSerial,
       &zr::com::dispatchTable<IZrSerial>,
       // Open, WaitForData, ShowSetupDlg, SaveConfig, LoadConfig, AboutBox
       {6, 18, 34, 35, 36, -552},
       {{9, 0, 1}, {11, 0, 1}, {20, 0, 1, 2}},
       {}},
      {CLSID_ZrSocket,
       &zr::com::dispatchTable<IZrSocket>,
       // Connect, Listen, PostSendTo, SendTo, Recv, RecvFrom, WaitForData, GetLocalIP,
       // GetLocalHost, GetHostByIP, GetIPByHost, AboutBox
       {10, 11, 14, 16, 17, 18, 19, 25, 29, 30, 31, -552},
       {{13, 1, 2}, {15, 0, 1}},
       {}},
      {CLSID_ZrCommDLT645, &zr::com::dispatchTable<IZrCommDLT645>, {6, 7, -552}, {}, {}},  // Recv, Comm
      {CLSID_ZrSTS, &zr::com::dispatchTable<IZrSTS>, {}, {}, {}},
      {CLSID_ZrTools, &zr::com::dispatchTable<IZrTools>, {}, {{2, 0, 1}, {3, 0, 1}, {4, 1, -1}}, {1}},
      {CLSID_ZrList, &zr::com::dispatchTable<IZrList>, {}, {}, {}},
  };
  return all;
}

// Storage behind by-reference arguments; stays put while the call runs, and frees what the
// member left in it afterwards.
class Arena {
 public:
  ~Arena() {
    for (VARIANT& v : variants_) VariantClear(&v);
    for (BSTR s : bstrs_) SysFreeString(s);
    for (IUnknown* p : interfaces_)
      if (p) p->Release();
    for (SAFEARRAY* a : arrays_) SafeArrayDestroy(a);
  }
  VARIANT& variant() {
    variants_.emplace_back();
    VariantInit(&variants_.back());
    return variants_.back();
  }
  BSTR& bstr(BSTR s) { return bstrs_.emplace_back(s); }
  IUnknown*& iface() { return interfaces_.emplace_back(nullptr); }
  SAFEARRAY*& array(SAFEARRAY* a) { return arrays_.emplace_back(a); }
  // Plain storage for a by-reference number (16 bytes covers every number type).
  void* scalar() { return scalars_.emplace_back().data(); }

 private:
  std::deque<VARIANT> variants_;
  std::deque<BSTR> bstrs_;
  std::deque<IUnknown*> interfaces_;
  std::deque<SAFEARRAY*> arrays_;
  std::deque<std::array<uint64_t, 2>> scalars_;
};

// The far end of the pseudo-terminal a serial port object is opened on. What the port
// writes is taken off the line after every call, so a write never waits for room.
class SerialLine {
 public:
  SerialLine(IDispatch* object, const std::vector<uint8_t>& waiting) {
    ComPtr<IZrSerial> port;
    FUZZ_CHECK(object->QueryInterface(IZrSerial::iid, port.putVoid()) == S_OK);
    const std::u16string name(pty_.slaveName().begin(), pty_.slaveName().end());
    BSTR text = zr::com::allocBstr(name);
    port->put_Port(text);
    SysFreeString(text);
    port->put_AutoEvent(VARIANT_FALSE);
    FUZZ_CHECK(port->Open() == S_OK);
    if (waiting.empty()) return;
    pty_.send(std::string(waiting.begin(), waiting.end()));
    LONG count = 0;
    port->WaitForData(1000, &count);
  }
  void drain() const { pty_.receive(1 << 16, 0); }

 private:
  zr::test::PtyPair pty_;
};

class ArgMaker {
 public:
  ArgMaker(FuzzedDataProvider& in, Arena& arena, IDispatch* helper) : in_(in), arena_(arena), helper_(helper) {}

  VARIANT make(int depth = 0) {
    VARIANT v;
    VariantInit(&v);
    const int kind = in_.ConsumeIntegralInRange(0, 24);
    switch (kind) {
      case 0:
        break;
      case 1:
        v.vt = VT_NULL;
        break;
      case 2:
        v.vt = VT_I1;
        v.cVal = in_.ConsumeIntegral<char>();
        break;
      case 3:
        v.vt = VT_UI1;
        v.bVal = in_.ConsumeIntegral<BYTE>();
        break;
      case 4:
        v.vt = in_.ConsumeBool() ? VT_I2 : VT_UI2;
        v.iVal = in_.ConsumeIntegral<SHORT>();
        break;
      case 5:
        v.vt = in_.PickValueInArray({VT_I4, VT_UI4, VT_INT, VT_UINT, VT_ERROR});
        v.lVal = in_.ConsumeIntegral<LONG>();
        break;
      case 6:
        v.vt = in_.ConsumeBool() ? VT_I8 : VT_UI8;
        v.llVal = in_.ConsumeIntegral<LONGLONG>();
        break;
      case 7: {
        v.vt = VT_R4;
        const auto bits = in_.ConsumeIntegral<uint32_t>();
        std::memcpy(&v.fltVal, &bits, 4);
        break;
      }
      case 8: {
        v.vt = VT_R8;
        const auto bits = in_.ConsumeIntegral<uint64_t>();
        std::memcpy(&v.dblVal, &bits, 8);
        break;
      }
      case 9:
        v.vt = VT_BOOL;
        v.boolVal = in_.ConsumeIntegral<SHORT>();
        break;
      case 10:
      case 11:
        v.vt = VT_BSTR;
        v.bstrVal = in_.ConsumeBool() ? zr::com::allocBstr(fuzzsupport::consumeWide(in_, 256))
                                      : zr::com::allocBstr(asWide(in_.ConsumeRandomLengthString(64)));
        break;
      case 12:
        v.vt = in_.ConsumeBool() ? VT_DISPATCH : VT_UNKNOWN;
        v.pdispVal = in_.ConsumeBool() ? helper_ : nullptr;
        if (v.pdispVal) v.pdispVal->AddRef();
        break;
      case 13:
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = byteArray();
        break;
      case 14: {
        const VARTYPE et = in_.PickValueInArray({VT_BSTR, VT_VARIANT, VT_I4});
        v.vt = VT_ARRAY | et;
        v.parray =
            SafeArrayCreateVector(et, in_.ConsumeIntegralInRange<LONG>(-2, 2), in_.ConsumeIntegralInRange<ULONG>(0, 4));
        if (et == VT_BSTR && v.parray && v.parray->rgsabound[0].cElements)
          static_cast<BSTR*>(v.parray->pvData)[0] = zr::com::allocBstr(fuzzsupport::consumeWide(in_, 8));
        break;
      }
      case 15:
      case 16:
      case 17: {
        // A reference to a number, a text, an interface or an array.
        const int what = in_.ConsumeIntegralInRange(0, 5);
        if (what == 0) {
          v.vt = VT_BYREF | VT_BSTR;
          v.pbstrVal = &arena_.bstr(zr::com::allocBstr(fuzzsupport::consumeWide(in_, 32)));
        } else if (what == 1) {
          v.vt = VT_BYREF | (in_.ConsumeBool() ? VT_DISPATCH : VT_UNKNOWN);
          v.ppunkVal = &arena_.iface();
        } else if (what == 2) {
          v.vt = VT_BYREF | VT_ARRAY | VT_UI1;
          v.pparray = &arena_.array(byteArray());
        } else {
          v.vt = VT_BYREF | in_.PickValueInArray({VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8,
                                                  VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_ERROR});
          auto* p = static_cast<uint64_t*>(arena_.scalar());
          p[0] = in_.ConsumeIntegral<uint64_t>();
          v.byref = p;
        }
        break;
      }
      case 18: {
        // A reference with no storage behind it.
        v.vt = static_cast<VARTYPE>(VT_BYREF | in_.PickValueInArray({VT_I4, VT_BSTR, VT_VARIANT, VT_DISPATCH, VT_UI1}));
        break;
      }
      case 19:
      case 20:
      case 21: {
        // A reference to a VARIANT holding anything, references included.
        VARIANT& target = arena_.variant();
        if (depth < 4) target = make(depth + 1);
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &target;
        break;
      }
      case 22: {
        // A VARIANT reference that refers to itself, or two that refer to each other.
        VARIANT& a = arena_.variant();
        a.vt = VT_BYREF | VT_VARIANT;
        a.pvarVal = &a;
        if (in_.ConsumeBool()) {
          VARIANT& b = arena_.variant();
          b.vt = VT_BYREF | VT_VARIANT;
          b.pvarVal = &a;
          a.pvarVal = &b;
        }
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &a;
        break;
      }
      default:
        // A type without a value of its own kind (the value bits stay zero).
        v.vt = static_cast<VARTYPE>(in_.ConsumeIntegral<uint16_t>() & ~(VT_BYREF | VT_ARRAY));
        if (v.vt == VT_BSTR || v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) v.vt = VT_EMPTY;
        break;
    }
    return v;
  }

 private:
  static std::u16string asWide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  SAFEARRAY* byteArray() {
    const std::vector<uint8_t> bytes = in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange<size_t>(0, 64));
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (a && !bytes.empty()) std::memcpy(a->pvData, bytes.data(), bytes.size());
    return a;
  }

  FuzzedDataProvider& in_;
  Arena& arena_;
  IDispatch* helper_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  FuzzedDataProvider in(data, size);
  const ClassUnderTest& c = classes()[in.ConsumeIntegralInRange<size_t>(0, classes().size() - 1)];
  ComPtr<IDispatch> object = fuzzsupport::createObject<IDispatch>(c.clsid);
  FUZZ_CHECK(object);
  // Interface arguments are another object, never the one called: a host that hands an
  // object to itself makes a cycle of its own.
  ComPtr<IDispatch> helper = fuzzsupport::createObject<IDispatch>(CLSID_Frame645);
  FUZZ_CHECK(helper);
  const std::vector<DispTable::Member>& members = c.table().members();
  std::vector<uint8_t> buffer(kBufferSize);
  std::optional<SerialLine> line;
  if (c.clsid == CLSID_ZrSerial) line.emplace(object.get(), in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64)));

  for (int call = 0; call < 8 && in.remaining_bytes() > 0; ++call) {
    DISPID id = members[in.ConsumeIntegralInRange<size_t>(0, members.size() - 1)].id;
    if (in.ConsumeIntegralInRange(0, 15) == 0) id = in.ConsumeIntegral<DISPID>();
    if (c.skipped.count(id)) continue;
    WORD flags =
        in.PickValueInArray<WORD>({DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                   DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0});
    if (in.ConsumeIntegralInRange(0, 15) == 0) flags = in.ConsumeIntegral<WORD>();

    Arena arena;
    ArgMaker maker(in, arena, helper.get());
    std::vector<VARIANT> args(in.ConsumeIntegralInRange<size_t>(0, 13));  // in call order
    for (VARIANT& a : args) a = maker.make();
    for (const BufferMember& b : c.buffers) {
      if (b.id != id) continue;
      for (size_t k = 0; k < args.size(); ++k) {
        const int at = static_cast<int>(k);
        if (at != b.ptrAt && at != b.lenAt && at != b.waitAt) continue;
        VariantClear(&args[k]);
        if (at == b.ptrAt) {
          args[k] = zr::com::varPtr(in.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : buffer.data());
        } else {
          args[k] = zr::com::varI4(at == b.lenAt ? in.ConsumeIntegralInRange(-4, kMaxLength)
                                                 : in.ConsumeIntegralInRange(-1, kMaxWaitMs));
        }
      }
    }
    if (c.smallNumbers.count(id)) {
      for (VARIANT& a : args) {
        VariantClear(&a);
        a = zr::com::varI4(in.ConsumeIntegralInRange(-4, kMaxLength));
      }
    }
    std::reverse(args.begin(), args.end());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS dp{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && in.ConsumeIntegralInRange(0, 7) != 0) {
      dp.rgdispidNamedArgs = &named;
      dp.cNamedArgs = 1;
    }
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    const bool wantResult = in.ConsumeIntegralInRange(0, 7) != 0;
    const HRESULT h = object->Invoke(id, GUID_NULL, 0, flags, &dp, wantResult ? &result : nullptr, &excep, &argErr);
    if (h == DISP_E_TYPEMISMATCH && !args.empty()) FUZZ_CHECK(argErr < args.size());
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    for (VARIANT& a : args) VariantClear(&a);
    if (line) line->drain();
  }
  return 0;
}
