#include "com_server.h"

#include <olectl.h>

#include <cwctype>

namespace nfy::testcom {

std::atomic<long> g_moduleRefs{0};

namespace {

HMODULE g_module = nullptr;

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is a static object; only the module count matters.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IDispatch* object = createObject();
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_moduleRefs;
    } else {
      --g_moduleRefs;
    }
    return S_OK;
  }
};

ClassFactory g_factory;

std::wstring clsidText() {
  wchar_t text[64] = {};
  StringFromGUID2(serverInfo().clsid, text, 64);
  return text;
}

bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != 0) {
    return false;
  }
  LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == 0;
}

}  // namespace

HRESULT DispatchObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG DispatchObject::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    // Only the first name is a member; the others would be argument names.
    if (i == 0) {
      for (const Member& m : members()) {
        if (_wcsicmp(m.name, names[0]) == 0) ids[0] = m.id;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* info, UINT* argErr) {
  if (!params) return E_POINTER;
  if (result) VariantInit(result);
  return invoke(id, flags, *params, result, info, argErr);
}

HRESULT raise(EXCEPINFO* info, WORD code, HRESULT scode, const std::wstring& description) {
  if (info) {
    *info = EXCEPINFO{};
    info->wCode = code;
    info->scode = code ? 0 : scode;
    info->bstrSource = SysAllocString(serverInfo().progId);
    info->bstrDescription = bstr(description);
  }
  return DISP_E_EXCEPTION;
}

bool argText(const VARIANT& arg, std::wstring& text) {
  VARIANT direct, converted;
  VariantInit(&direct);
  VariantInit(&converted);
  bool ok = SUCCEEDED(VariantCopyInd(&direct, const_cast<VARIANT*>(&arg))) &&
            SUCCEEDED(VariantChangeType(&converted, &direct, 0, VT_BSTR));
  if (ok) text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
  VariantClear(&direct);
  VariantClear(&converted);
  return ok;
}

void setRefText(VARIANT& arg, const std::wstring& text) {
  if (arg.vt != (VT_BYREF | VT_BSTR) || !arg.pbstrVal) return;
  SysFreeString(*arg.pbstrVal);
  *arg.pbstrVal = bstr(text);
}

BSTR bstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

std::wstring fromUtf8(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string toUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool envVar(const wchar_t* name, std::wstring& value) {
  DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return false;
  value.assign(n, L'\0');
  n = GetEnvironmentVariableW(name, value.data(), n);
  value.resize(n);
  return true;
}

bool readFileBytes(const std::wstring& path, std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buf[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr)) && got > 0) bytes.append(buf, got);
  CloseHandle(h);
  return ok;
}

bool appendFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(h);
  return ok;
}

}  // namespace nfy::testcom

using namespace nfy::testcom;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, serverInfo().clsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_moduleRefs == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  if (!GetModuleFileNameW(g_module, path, MAX_PATH)) return SELFREG_E_CLASS;
  const ServerInfo& s = serverInfo();
  std::wstring clsidKey = L"CLSID\\" + clsidText();
  // The ProgID's CLSID goes last: whoever finds the ProgID finds a complete
  // class (the program may create the class while regsvr32 is still busy).
  bool ok = setValue(clsidKey, nullptr, s.description) && setValue(clsidKey + L"\\ProgID", nullptr, s.progId) &&
            setValue(clsidKey + L"\\InprocServer32", nullptr, path) &&
            setValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            setValue(s.progId, nullptr, s.description) &&
            setValue(std::wstring(s.progId) + L"\\CLSID", nullptr, clsidText());
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, serverInfo().progId);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsidText()).c_str());
  return S_OK;
}
