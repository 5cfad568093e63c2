// Components through COM late binding: created by ProgID, used through
// IDispatch by member name, values passed as VARIANTs.
#include "platform/component.h"

#include <ole2.h>

#include <mutex>

#include "base/errors.h"

namespace nfy::platform::component {
namespace {

// The program's strings are in the ANSI code page; COM's are UTF-16.
std::wstring wide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string narrow(const wchar_t* w, size_t len) {
  if (!w || len == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}

std::string narrow(BSTR b) { return narrow(b, b ? SysStringLen(b) : 0); }

BSTR allocBstr(const std::string& s) {
  std::wstring w = wide(s);
  BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  if (!b) raiseError(err::kOutOfMemory);
  return b;
}

// The whole process is one single-threaded apartment, entered once.
void enterApartment() {
  static std::once_flag once;
  std::call_once(once, [] { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); });
}

// The system's text for a status, without its closing line break.
std::string statusText(HRESULT hr) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                           0, buf, sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s.empty() ? errorDescription(err::kAutomation) : s;
}

// A failed Invoke as a run-time error: the component's own error when it
// raised one, else the status as a signed 32-bit number.
[[noreturn]] void raiseInvokeFailure(HRESULT hr, EXCEPINFO& info) {
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    long number = info.wCode ? static_cast<long>(info.wCode) : static_cast<long>(static_cast<int32_t>(info.scode));
    std::string description = narrow(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if (description.empty()) {
      description = info.wCode ? errorDescription(number) : statusText(info.scode);
    }
    throw RuntimeError(number, description);
  }
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) raiseError(err::kNoSuchMember);
  if (hr == DISP_E_TYPEMISMATCH) raiseError(err::kTypeMismatch);
  if (hr == DISP_E_OVERFLOW) raiseError(err::kOverflow);
  if (hr == E_OUTOFMEMORY) raiseError(err::kOutOfMemory);
  throw RuntimeError(static_cast<long>(static_cast<int32_t>(hr)), statusText(hr));
}

// A VARIANT that clears itself.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

// Fills an empty VARIANT with a value passed by value.
void toVariant(const Value& value, VARIANT& out) {
  struct Visitor {
    VARIANT& out;
    void operator()(std::monostate) const { out.vt = VT_EMPTY; }
    void operator()(bool b) const {
      out.vt = VT_BOOL;
      out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void operator()(int16_t i) const {
      out.vt = VT_I2;
      out.iVal = i;
    }
    void operator()(int32_t i) const {
      out.vt = VT_I4;
      out.lVal = i;
    }
    void operator()(const std::string& s) const {
      out.bstrVal = allocBstr(s);
      out.vt = VT_BSTR;
    }
  };
  std::visit(Visitor{out}, value.v);
}

Value fromVariant(const VARIANT& in) {
  Variant direct;
  if (FAILED(VariantCopyInd(&direct.v, const_cast<VARIANT*>(&in)))) raiseError(err::kTypeMismatch);
  switch (direct.v.vt) {
    case VT_EMPTY:
    case VT_NULL: return Value();
    case VT_BOOL: return Value(direct.v.boolVal != VARIANT_FALSE);
    case VT_I2: return Value(static_cast<int16_t>(direct.v.iVal));
    case VT_I4: return Value(static_cast<int32_t>(direct.v.lVal));
    case VT_BSTR: return Value(narrow(direct.v.bstrVal));
    default: {
      Variant text;
      if (FAILED(VariantChangeType(&text.v, &direct.v, 0, VT_BSTR))) raiseError(err::kTypeMismatch);
      return Value(narrow(text.v.bstrVal));
    }
  }
}

class ComObject final : public Object {
 public:
  explicit ComObject(IDispatch* dispatch) : dispatch_(dispatch) {}
  ~ComObject() override { dispatch_->Release(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  Value call(const std::string& member, std::vector<Arg>& args) override {
    DISPID id = dispId(member);
    const size_t n = args.size();
    // DISPPARAMS holds the arguments last to first.
    std::vector<VARIANT> slots(n);
    std::vector<BSTR> refStrings(n, nullptr);
    for (auto& slot : slots) VariantInit(&slot);
    struct Cleanup {
      std::vector<VARIANT>& slots;
      std::vector<BSTR>& refStrings;
      ~Cleanup() {
        for (auto& slot : slots) VariantClear(&slot);  // by-reference slots own nothing
        for (BSTR b : refStrings) SysFreeString(b);
      }
    } cleanup{slots, refStrings};
    for (size_t i = 0; i < n; ++i) {
      VARIANT& slot = slots[n - 1 - i];
      if (args[i].ref) {
        refStrings[i] = allocBstr(*args[i].ref);
        slot.vt = VT_BYREF | VT_BSTR;
        slot.pbstrVal = &refStrings[i];
      } else {
        toVariant(args[i].value, slot);
      }
    }
    DISPPARAMS params{n ? slots.data() : nullptr, nullptr, static_cast<UINT>(n), 0};
    Variant result;
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr =
        dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v, &info, &argErr);
    // The member may have replaced the strings it was given by reference,
    // whether or not it then failed.
    for (size_t i = 0; i < n; ++i) {
      if (args[i].ref) *args[i].ref = narrow(refStrings[i]);
    }
    if (FAILED(hr)) raiseInvokeFailure(hr, info);
    return fromVariant(result.v);
  }

  void put(const std::string& property, const Value& value) override {
    DISPID id = dispId(property);
    Variant arg;
    toVariant(value, arg.v);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg.v, &named, 1, 1};
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr =
        dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, &info, &argErr);
    if (FAILED(hr)) raiseInvokeFailure(hr, info);
  }

  Value get(const std::string& property) override {
    DISPID id = dispId(property);
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    Variant result;
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr =
        dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, &result.v, &info, &argErr);
    if (FAILED(hr)) raiseInvokeFailure(hr, info);
    return fromVariant(result.v);
  }

 private:
  DISPID dispId(const std::string& name) {
    std::wstring w = wide(name);
    LPOLESTR names[1] = {w.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    // Only an unknown name means the member is missing. Any other status is
    // the component's trouble (a type library that is not registered answers
    // TYPE_E_LIBNOTREGISTERED here) and is raised as that status, so that the
    // callers can tell it apart and register the component.
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) raiseError(err::kNoSuchMember);
    if (FAILED(hr)) throw RuntimeError(static_cast<long>(static_cast<int32_t>(hr)), statusText(hr));
    return id;
  }

  IDispatch* dispatch_;
};

}  // namespace

std::unique_ptr<Object> createNative(const std::string& progId) {
  enterApartment();
  std::wstring w = wide(progId);
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(w.c_str(), &clsid))) raiseError(err::kCannotCreateObject);
  IDispatch* dispatch = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr) || !dispatch) raiseError(err::kCannotCreateObject);
  return std::make_unique<ComObject>(dispatch);
}

// Windows has no built-in components: they are the agent's COM servers.
std::optional<bool> builtInAvailableNative(const std::string&) { return std::nullopt; }

void prepareNative(const std::string&) {}

}  // namespace nfy::platform::component
