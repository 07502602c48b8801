// The COM object model on Linux: the vocabulary hosts and the component speak.
//
// Values and layouts follow the Windows definitions where callers can see them (HRESULT
// codes, GUID, VARIANT type tags, BSTR layout); everything is implemented here. Interfaces
// are pure abstract classes in vtable order, without data or virtual destructors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ---- basic types ------------------------------------------------------------------------
using HRESULT = int32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using CHAR = char;
using LONGLONG = long long;
using ULONGLONG = unsigned long long;
using BOOL = int32_t;
using VARIANT_BOOL = int16_t;
using DISPID = int32_t;
using MEMBERID = DISPID;
using LCID = uint32_t;
using UINT = uint32_t;
using VARTYPE = uint16_t;
using SCODE = int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using DATE = double;
// A raw buffer address crossing an interface: pointer-sized (see design notes on ptrBuf).
using PTRBUF = uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---- HRESULT ----------------------------------------------------------------------------
constexpr HRESULT hr(uint32_t v) { return static_cast<HRESULT>(v); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_ABORT = hr(0x80004004);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hr(0x80070005);
constexpr HRESULT E_HANDLE = hr(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hr(0x80040154);
constexpr HRESULT REGDB_E_WRITEREGDB = hr(0x80040151);
constexpr HRESULT CO_E_CLASSSTRING = hr(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = hr(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = hr(0x800401F9);
constexpr HRESULT CO_E_NOTINITIALIZED = hr(0x800401F0);
constexpr HRESULT CONNECT_E_NOCONNECTION = hr(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = hr(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = hr(0x80040202);
constexpr HRESULT CONNECT_E_OVERRIDDEN = hr(0x80040203);
constexpr HRESULT STG_E_INVALIDFUNCTION = hr(0x80030001);
constexpr HRESULT STG_E_READFAULT = hr(0x8003001E);
constexpr HRESULT STG_E_MEDIUMFULL = hr(0x80030070);
constexpr HRESULT STG_E_INVALIDPOINTER = hr(0x80030009);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hr(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = hr(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = hr(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = hr(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = hr(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = hr(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = hr(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = hr(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = hr(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = hr(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = hr(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hr(0x8002000F);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hr(0x8002802B);

constexpr bool SUCCEEDED(HRESULT h) { return h >= 0; }
constexpr bool FAILED(HRESULT h) { return h < 0; }

// ---- GUID -------------------------------------------------------------------------------
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace zr::com {

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, any case).
bool parseGuid(std::string_view text, GUID& out);

// Compile-time parsing for interface and class identifiers written as text.
constexpr GUID guid(const char (&s)[37]) {
  auto hex = [](char c) -> uint32_t {
    return (c >= '0' && c <= '9')   ? static_cast<uint32_t>(c - '0')
           : (c >= 'a' && c <= 'f') ? static_cast<uint32_t>(c - 'a' + 10)
                                    : static_cast<uint32_t>(c - 'A' + 10);
  };
  auto read = [&](int pos, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = (v << 4) | hex(s[pos + i]);
    return v;
  };
  GUID g{read(0, 8), static_cast<uint16_t>(read(9, 4)), static_cast<uint16_t>(read(14, 4)), {}};
  g.Data4[0] = static_cast<uint8_t>(read(19, 2));
  g.Data4[1] = static_cast<uint8_t>(read(21, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(read(24 + 2 * i, 2));
  return g;
}

}  // namespace zr::com

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry writes it.
std::string GuidToString(REFGUID g);
int StringFromGUID2(REFGUID g, LPOLESTR buffer, int cchMax);
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* out);
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

// Every interface names its identifier as `static constexpr IID iid`.
#define ZR_IID(text) static constexpr IID iid = zr::com::guid(text)
template <class I>
constexpr const IID& iidOf() {
  return I::iid;
}
#define __uuidof(I) iidOf<I>()

// ---- BSTR -------------------------------------------------------------------------------
// Length-prefixed UTF-16: a 4-byte byte count before the text, a zero character after it.
// A null BSTR is distinct from an empty one; embedded zero characters are kept.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);
int SysReAllocStringLen(BSTR* s, const OLECHAR* text, UINT length);

namespace zr::com {
BSTR allocBstr(std::u16string_view text);
// Narrow (code page) text as a new BSTR, as every text the component hands out is made;
// nullptr when memory runs out.
BSTR narrowBstr(std::string_view narrow);
inline std::u16string_view bstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}
}  // namespace zr::com

// ---- SAFEARRAY (one dimension is all the component uses) --------------------------------
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

// ---- VARIANT ----------------------------------------------------------------------------
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct IUnknown;
struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1, wReserved2, wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    BYTE bVal;
    CHAR cVal;
    SHORT iVal;
    USHORT uiVal;
    int intVal;
    unsigned int uintVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    BYTE* pbVal;
    CHAR* pcVal;
    SHORT* piVal;
    USHORT* puiVal;
    LONG* plVal;
    ULONG* pulVal;
    LONGLONG* pllVal;
    ULONGLONG* pullVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecVal;  // unused; keeps the Windows size of 24 bytes on 64-bit
  };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == 24);

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Coerces src (following VT_BYREF) into dest of type vt. Integer conversions that do not
// fit give DISP_E_OVERFLOW; unsupported pairs DISP_E_TYPEMISMATCH. dest may equal src.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD flags, VARTYPE vt);

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* sa);
HRESULT SafeArrayCopy(SAFEARRAY* sa, SAFEARRAY** out);
HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* sa);
HRESULT SafeArrayGetLBound(SAFEARRAY* sa, UINT dim, LONG* out);
HRESULT SafeArrayGetUBound(SAFEARRAY* sa, UINT dim, LONG* out);
UINT SafeArrayGetDim(SAFEARRAY* sa);
UINT SafeArrayGetElemsize(SAFEARRAY* sa);
HRESULT SafeArrayGetVartype(SAFEARRAY* sa, VARTYPE* vt);

// ---- IDispatch types --------------------------------------------------------------------
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

struct ITypeInfo;  // type information is not provided: GetTypeInfo answers E_NOTIMPL

// ---- interfaces -------------------------------------------------------------------------
struct IUnknown {
  ZR_IID("00000000-0000-0000-C000-000000000046");
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IDispatch : IUnknown {
  ZR_IID("00020400-0000-0000-C000-000000000046");
  using Base = IUnknown;
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT* argErr) = 0;
};

struct IClassFactory : IUnknown {
  ZR_IID("00000001-0000-0000-C000-000000000046");
  using Base = IUnknown;
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

struct IErrorInfo : IUnknown {
  ZR_IID("1CF2B120-547D-101B-8E65-08002B2BD119");
  using Base = IUnknown;
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* context) = 0;
};

struct ISupportErrorInfo : IUnknown {
  ZR_IID("DF0B3D60-548F-101B-8E65-08002B2BD119");
  using Base = IUnknown;
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IConnectionPointContainer;
struct IConnectionPoint : IUnknown {
  ZR_IID("B196B286-BAB4-101A-B69C-00AA00341D07");
  using Base = IUnknown;
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** cpc) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(void** enumerator) = 0;  // not provided: E_NOTIMPL
};

struct IConnectionPointContainer : IUnknown {
  ZR_IID("B196B284-BAB4-101A-B69C-00AA00341D07");
  using Base = IUnknown;
  virtual HRESULT EnumConnectionPoints(void** enumerator) = 0;  // not provided: E_NOTIMPL
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** cp) = 0;
};

enum STREAM_SEEK : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
struct STATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULONGLONG cbSize;
};

struct ISequentialStream : IUnknown {
  ZR_IID("0C733A30-2A1C-11CE-ADE5-00AA0044773D");
  using Base = IUnknown;
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  ZR_IID("0000000C-0000-0000-C000-000000000046");
  using Base = ISequentialStream;
  virtual HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) = 0;
  virtual HRESULT SetSize(ULONGLONG size) = 0;
  virtual HRESULT CopyTo(IStream* dest, ULONGLONG size, ULONGLONG* read, ULONGLONG* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULONGLONG offset, ULONGLONG size, DWORD type) = 0;
  virtual HRESULT UnlockRegion(ULONGLONG offset, ULONGLONG size, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;
};

struct IPersist : IUnknown {
  ZR_IID("0000010C-0000-0000-C000-000000000046");
  using Base = IUnknown;
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

struct IPersistStreamInit : IPersist {
  ZR_IID("7FD52380-4E07-101B-AE2D-08002B2EC713");
  using Base = IPersist;
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
  virtual HRESULT GetSizeMax(ULONGLONG* size) = 0;
  virtual HRESULT InitNew() = 0;
};

// ---- error info -------------------------------------------------------------------------
// Per thread, as on Windows: SetErrorInfo replaces it, GetErrorInfo hands it over and
// clears it (S_FALSE and nullptr when there is none).
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
// Makes an error object with the given description and source, interface id null.
IErrorInfo* CreateSimpleErrorInfo(std::u16string_view description, std::u16string_view source, REFGUID iid = GUID_NULL);

// ---- memory stream ----------------------------------------------------------------------
// A growable in-memory IStream (as a stream on global memory); one reference for the caller.
HRESULT CreateMemoryStream(IStream** stream);

// ---- runtime, registration and activation ----------------------------------------------
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** ppv);
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// The caller frees *progId with CoTaskMemFree.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* p);

// The signatures of a module's exports.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
