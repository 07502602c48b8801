// The object base, the table-driven IDispatch and connection points, on a small class of
// the test's own.
#include <gtest/gtest.h>

#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "support/outer_object.h"

using namespace zr::com;

struct IGadget : IDispatch {
  ZR_IID("11111111-2222-3333-4444-555555555555");
  using Base = IDispatch;
  virtual HRESULT get_Level(LONG* v) = 0;
  virtual HRESULT put_Level(LONG v) = 0;
  virtual HRESULT get_Cell(LONG index, BYTE* v) = 0;
  virtual HRESULT put_Cell(LONG index, BYTE v) = 0;
  virtual HRESULT Describe(BSTR prefix, VARIANT_BOOL loud, BSTR* text) = 0;
  virtual HRESULT Split(LONG value, LONG* high, LONG* low) = 0;
  virtual HRESULT Explode() = 0;
  virtual HRESULT Refuse() = 0;
  virtual HRESULT Address(PTRBUF p, LONG* firstByte) = 0;
  virtual HRESULT Hold(IDispatch* d) = 0;
  virtual HRESULT Shout(LONG times, BSTR* text, LONG* length) = 0;  // text is in-out
};

struct IGadgetEvents : IDispatch {
  ZR_IID("11111111-2222-3333-4444-666666666666");
};

class Gadget final
    : public ComObject<Gadget, DispatchImpl<Gadget, IGadget>, ConnectionPointContainerImpl, SupportErrorInfoImpl> {
 public:
  static constexpr std::u16string_view kProgId = u"test.Gadget.1";
  static inline int alive = 0;
  Gadget() : events_(IGadgetEvents::iid, this, nullptr) {
    ++alive;
    addConnectionPoint(&events_);
  }
  ~Gadget() override { --alive; }
  HRESULT finalConstruct() override {
    events_.setOwner(controllingUnknown());
    return S_OK;
  }
  HRESULT get_Level(LONG* v) override {
    *v = level_;
    return S_OK;
  }
  HRESULT put_Level(LONG v) override {
    level_ = v;
    LONG changed = v;
    return events_.fireArgs(1, &changed);
  }
  HRESULT get_Cell(LONG index, BYTE* v) override {
    if (index < 0 || index > 3) return E_INVALIDARG;
    *v = cells_[index];
    return S_OK;
  }
  HRESULT put_Cell(LONG index, BYTE v) override {
    if (index < 0 || index > 3) return E_INVALIDARG;
    cells_[index] = v;
    return S_OK;
  }
  HRESULT Describe(BSTR prefix, VARIANT_BOOL loud, BSTR* text) override {
    std::u16string s(bstrView(prefix));
    s += loud ? u"!" : u".";
    *text = allocBstr(s);
    return S_OK;
  }
  HRESULT Split(LONG value, LONG* high, LONG* low) override {
    *high = value / 100;
    *low = value % 100;
    return S_OK;
  }
  HRESULT Explode() override {
    return guard([] { throw ComError("Devices is busy"); });
  }
  HRESULT Refuse() override { return E_INVALIDARG; }
  HRESULT Address(PTRBUF p, LONG* firstByte) override {
    *firstByte = *reinterpret_cast<const BYTE*>(p);
    return S_OK;
  }
  HRESULT Hold(IDispatch* d) override {
    held_ = d;
    return S_OK;
  }
  HRESULT Shout(LONG times, BSTR* text, LONG* length) override {
    if (times < 0) return E_INVALIDARG;
    std::u16string s(bstrView(*text));
    s.append(static_cast<size_t>(times), u'!');
    SysFreeString(*text);
    *text = allocBstr(s);
    *length = static_cast<LONG>(s.size());
    return S_OK;
  }

  ConnectionPoint events_;
  LONG level_ = 0;
  BYTE cells_[4] = {};
  ComPtr<IDispatch> held_;
};

template <>
const DispTable& zr::com::dispatchTable<IGadget>() {
  static const DispTable t{{
      propGet<&IGadget::get_Level>(u"Level", 1),
      propPut<&IGadget::put_Level>(u"Level", 1),
      propGet<&IGadget::get_Cell>(u"Cell", 2),
      propPut<&IGadget::put_Cell>(u"Cell", 2),
      method<&IGadget::Describe>(u"Describe", 3),
      method<&IGadget::Split>(u"Split", 4),
      method<&IGadget::Explode>(u"Explode", 5),
      method<&IGadget::Refuse>(u"Refuse", 6),
      method<&IGadget::Address>(u"Address", 7),
      method<&IGadget::Hold>(u"Hold", 8),
      method<&IGadget::Shout>(u"Shout", 9),
  }};
  return t;
}

// A sink that records the events it gets and may release the source from its handler.
class Sink final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IUnknown::iid || riid == IDispatch::iid) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    lastId = id;
    EXPECT_EQ(p->cArgs, 1u);
    EXPECT_EQ(p->rgvarg[0].vt, VT_I4 | VT_BYREF);
    lastValue = *p->rgvarg[0].plVal;
    *p->rgvarg[0].plVal = 0;  // sinks may change by-reference arguments
    if (releaseSource) std::exchange(releaseSource, nullptr)->Release();
    return S_OK;
  }
  ULONG refs = 1;
  DISPID lastId = 0;
  LONG lastValue = 0;
  IUnknown* releaseSource = nullptr;
};

ComPtr<IGadget> makeGadget() {
  ComPtr<IGadget> g;
  EXPECT_EQ(Gadget::createInstance(nullptr, IGadget::iid, g.putVoid()), S_OK);
  return g;
}

TEST(ComObject, QueryInterfaceIdentityAndLifetime) {
  {
    auto g = makeGadget();
    EXPECT_EQ(Gadget::alive, 1);
    ComPtr<IUnknown> u1 = g.as<IUnknown>();
    ComPtr<IDispatch> d = g.as<IDispatch>();
    ComPtr<IUnknown> u2 = d.as<IUnknown>();
    EXPECT_EQ(u1.get(), u2.get());
    EXPECT_EQ(static_cast<void*>(d.get()), static_cast<void*>(g.get()));
    EXPECT_FALSE(g.as<IStream>());
    EXPECT_TRUE(g.as<ISupportErrorInfo>());
  }
  EXPECT_EQ(Gadget::alive, 0);
}

// An outer object that aggregates a gadget: the gadget's interfaces answer for the
// outer identity and the outer's reference count.
struct Outer : testhost::OuterObject {
  Outer() { EXPECT_EQ(Gadget::createInstance(this, IUnknown::iid, reinterpret_cast<void**>(&inner)), S_OK); }
  ~Outer() { inner->Release(); }
};

TEST(ComObject, AggregationDelegatesToTheOuterObject) {
  Outer outer;
  ComPtr<IGadget> g;
  ASSERT_EQ(outer.QueryInterface(IGadget::iid, g.putVoid()), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  ComPtr<IUnknown> id = g.as<IUnknown>();
  EXPECT_EQ(id.get(), &outer);
  id.reset();
  g.reset();
  EXPECT_EQ(outer.refs, 1u);
  void* pv = nullptr;
  EXPECT_EQ(Gadget::createInstance(&outer, IGadget::iid, &pv), CLASS_E_NOAGGREGATION);
}

TEST(Dispatch, NamesAreCaseInsensitive) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  std::u16string n1 = u"dEsCrIbE", n2 = u"nothing";
  LPOLESTR names[] = {n1.data()};
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 3);
  names[0] = n2.data();
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST(Dispatch, PropertiesMethodsRetvalAndByRefOut) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  Variant r;
  ASSERT_EQ(invokeByName(d.get(), u"Level", DISPATCH_PROPERTYPUT, {varBstr(u"42")}, nullptr), S_OK);
  ASSERT_EQ(invokeByName(d.get(), u"level", DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 42);
  ASSERT_EQ(invokeById(d.get(), 2, DISPATCH_PROPERTYPUT, {varI4(1), varI4(200)}, nullptr), S_OK);
  ASSERT_EQ(invokeById(d.get(), 2, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {varI4(1)}, &r), S_OK);
  EXPECT_EQ(r.vt, VT_UI1);
  EXPECT_EQ(r.bVal, 200);
  ASSERT_EQ(invokeById(d.get(), 3, DISPATCH_METHOD, {varBstr(u"hi"), varBool(true)}, &r), S_OK);
  EXPECT_EQ(r.vt, VT_BSTR);
  EXPECT_EQ(bstrView(r.bstrVal), u"hi!");

  LONG high = 0;
  VARIANT out;
  VariantInit(&out);
  out.vt = VT_I4 | VT_BYREF;
  out.plVal = &high;
  ASSERT_EQ(invokeById(d.get(), 4, DISPATCH_METHOD, {varI4(1234), out}, &r), S_OK);
  EXPECT_EQ(high, 12);
  EXPECT_EQ(r.lVal, 34);

  BYTE buf[] = {0x5A};
  ASSERT_EQ(invokeById(d.get(), 7, DISPATCH_METHOD, {varPtr(buf)}, &r), S_OK);
  EXPECT_EQ(r.lVal, 0x5A);
}

TEST(Dispatch, ArgumentErrors) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  Variant r;
  EXPECT_EQ(invokeById(d.get(), 99, DISPATCH_METHOD, {}, &r), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invokeById(d.get(), 3, DISPATCH_METHOD, {varBstr(u"x")}, &r), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invokeById(d.get(), 2, DISPATCH_PROPERTYPUT, {varI4(0), varI4(300)}, nullptr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(invokeById(d.get(), 8, DISPATCH_METHOD, {varI4(5)}, nullptr), DISP_E_TYPEMISMATCH);
  // A buffer address passed by reference without its pointer is refused, whatever its type.
  for (VARTYPE vt : {VT_I4, VT_UI4, VT_I8, VT_UI8}) {
    VARIANT noAddress;
    VariantInit(&noAddress);
    noAddress.vt = static_cast<VARTYPE>(vt | VT_BYREF);
    EXPECT_EQ(invokeById(d.get(), 7, DISPATCH_METHOD, {noAddress}, &r), DISP_E_TYPEMISMATCH) << vt;
  }
  // A put without the named DISPID_PROPERTYPUT argument is not a put.
  VARIANT arg = varI4(5);
  DISPPARAMS dp{&arg, nullptr, 1, 0};
  EXPECT_EQ(d->Invoke(1, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr), DISP_E_PARAMNOTFOUND);
  // Only property put has a put form.
  EXPECT_EQ(invokeById(d.get(), 3, DISPATCH_PROPERTYPUT, {varI4(1)}, nullptr), DISP_E_MEMBERNOTFOUND);
}

VARIANT refTo(VARIANT* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}

// A reference to a VARIANT is followed one level: a reference to itself or a chain of
// them is refused, never walked until the stack runs out.
TEST(Dispatch, ReferencesToVariantsAreFollowedOneLevel) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  LONG target = 0;
  VARIANT plain = varI4(42), scalarRef, self, chainEnd = varI4(7), chainMid, chainTop;
  VariantInit(&scalarRef);
  scalarRef.vt = VT_BYREF | VT_I4;
  scalarRef.plVal = &target;
  self = refTo(&self);
  chainMid = refTo(&chainEnd);
  chainTop = refTo(&chainMid);
  struct Case {
    const char* name;
    VARIANT arg;
    HRESULT expected;
  };
  const Case cases[] = {
      {"to a value", refTo(&plain), S_OK},
      {"to a reference to a number", refTo(&scalarRef), S_OK},
      {"to itself", self, DISP_E_TYPEMISMATCH},
      {"through a chain", chainTop, DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target = 42;
    Variant r;
    EXPECT_EQ(invokeById(d.get(), 1, DISPATCH_PROPERTYPUT, {c.arg}, nullptr), c.expected);  // in-argument
    EXPECT_EQ(invokeById(d.get(), 4, DISPATCH_METHOD, {varI4(1), c.arg}, &r), c.expected);  // out-argument
  }
  Variant out;
  EXPECT_EQ(VariantChangeType(&out, &self, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &chainTop, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

// Scripting hosts pass out-arguments as references to VARIANTs of their own, whatever
// those hold; the VARIANT receives the value and the member sees what it held.
TEST(Dispatch, OutArgumentsByReferenceToAVariantReceiveTheValue) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  struct Case {
    const char* name;
    VARIANT held;
    std::u16string expected;
  };
  const Case cases[] = {
      {"text", varBstr(u"hi"), u"hi!!"},
      {"nothing", VARIANT{}, u"!!"},
      {"a number", varI4(5), u"5!!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VARIANT held = c.held;
    ASSERT_EQ(invokeById(d.get(), 9, DISPATCH_METHOD, {varI4(2), refTo(&held)}, nullptr), S_OK);
    ASSERT_EQ(held.vt, VT_BSTR);
    EXPECT_EQ(bstrView(held.bstrVal), c.expected);
    // A failing member leaves the caller's VARIANT as it was.
    EXPECT_EQ(invokeById(d.get(), 9, DISPATCH_METHOD, {varI4(-1), refTo(&held)}, nullptr), DISP_E_EXCEPTION);
    ASSERT_EQ(held.vt, VT_BSTR);
    EXPECT_EQ(bstrView(held.bstrVal), c.expected);
    VariantClear(&held);
  }
  VARIANT high = varBstr(u"old");
  Variant r;
  ASSERT_EQ(invokeById(d.get(), 4, DISPATCH_METHOD, {varI4(1234), refTo(&high)}, &r), S_OK);
  ASSERT_EQ(high.vt, VT_I4);
  EXPECT_EQ(high.lVal, 12);
  EXPECT_EQ(r.lVal, 34);
}

TEST(Dispatch, ComErrorsBecomeExceptionsWithSourceAndText) {
  auto g = makeGadget();
  ComPtr<IDispatch> d = g.as<IDispatch>();
  EXCEPINFO ei{};
  Variant r;
  ASSERT_EQ(invokeById(d.get(), 5, DISPATCH_METHOD, {}, &r, &ei), DISP_E_EXCEPTION);
  EXPECT_EQ(bstrView(ei.bstrSource), u"test.Gadget.1");
  EXPECT_EQ(bstrView(ei.bstrDescription), u"Devices is busy");
  EXPECT_EQ(ei.scode, DISP_E_EXCEPTION);
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  // Through the vtable the same call gives the code and leaves the error info.
  EXPECT_EQ(g->Explode(), DISP_E_EXCEPTION);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  // A bare failing code arrives as an exception carrying that code.
  EXCEPINFO ei2{};
  EXPECT_EQ(invokeById(d.get(), 6, DISPATCH_METHOD, {}, &r, &ei2), DISP_E_EXCEPTION);
  EXPECT_EQ(ei2.scode, E_INVALIDARG);
}

TEST(ConnectionPoint, FiresToEverySinkHoldingTheSourceAlive) {
  auto g = makeGadget();
  ComPtr<IConnectionPointContainer> cpc = g.as<IConnectionPointContainer>();
  ASSERT_TRUE(cpc);
  ComPtr<IConnectionPoint> cp;
  ASSERT_EQ(cpc->FindConnectionPoint(IGadgetEvents::iid, cp.put()), S_OK);
  EXPECT_EQ(cpc->FindConnectionPoint(IStream::iid, ComPtr<IConnectionPoint>().put()), CONNECT_E_NOCONNECTION);
  Sink a, b;
  DWORD ca = 0, cb = 0;
  ASSERT_EQ(cp->Advise(&a, &ca), S_OK);
  ASSERT_EQ(cp->Advise(&b, &cb), S_OK);
  EXPECT_NE(ca, cb);
  g->put_Level(7);
  EXPECT_EQ(a.lastValue, 7);
  EXPECT_EQ(b.lastValue, 0);  // the first sink's change to the by-reference value is seen by the next
  EXPECT_EQ(cp->Unadvise(cb), S_OK);
  EXPECT_EQ(cp->Unadvise(cb), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(b.refs, 1u);

  // The host drops its last reference from inside the handler: the object survives the
  // rest of the firing and goes away afterwards.
  cp.reset();
  cpc.reset();
  a.releaseSource = g.detach();
  static_cast<IGadget*>(static_cast<void*>(a.releaseSource))->put_Level(9);
  EXPECT_EQ(a.lastValue, 9);
  EXPECT_EQ(Gadget::alive, 0);
  EXPECT_EQ(a.refs, 1u);
}
