// The plumbing shared by the test components: a late-bound object with a
// table of member names, the class factory, self-registration, and the text
// and file helpers both need.
#pragma once

#include <ole2.h>

#include <atomic>
#include <string>
#include <vector>

namespace nfy::testcom {

// What each component provides to the shared plumbing.
struct ServerInfo {
  CLSID clsid;
  const wchar_t* progId;
  const wchar_t* description;
};
const ServerInfo& serverInfo();
IDispatch* createObject();  // a new object with one reference

// Objects alive plus factory locks; the DLL may unload at zero.
extern std::atomic<long> g_moduleRefs;

// IDispatch without a type library: names are looked up (without regard to
// case) in members(), and Invoke goes to invoke().
class DispatchObject : public IDispatch {
 public:
  struct Member {
    const wchar_t* name;
    DISPID id;
  };

  DispatchObject() { ++g_moduleRefs; }
  virtual ~DispatchObject() { --g_moduleRefs; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT* argErr) override;

 protected:
  virtual const std::vector<Member>& members() const = 0;
  virtual HRESULT invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, EXCEPINFO* info, UINT* argErr) = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

// Fills EXCEPINFO and answers DISP_E_EXCEPTION, the way a component raises
// its own error.
HRESULT raise(EXCEPINFO* info, WORD code, HRESULT scode, const std::wstring& description);

// The text of an argument (by value or by reference); false when it is not
// convertible to a string.
bool argText(const VARIANT& arg, std::wstring& text);
// Replaces the string behind a VT_BYREF | VT_BSTR argument.
void setRefText(VARIANT& arg, const std::wstring& text);
BSTR bstr(const std::wstring& text);

std::wstring fromUtf8(const std::string& s);
std::string toUtf8(const std::wstring& w);
// An environment variable; false when it is not set.
bool envVar(const wchar_t* name, std::wstring& value);
// Whole-file read and line append; false on failure.
bool readFileBytes(const std::wstring& path, std::string& bytes);
bool appendFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace nfy::testcom
