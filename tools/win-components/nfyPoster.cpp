// "nfyPoster.WebPost": posts an XML text to a URL over HTTP with WinHTTP.
// PostXMLString(data, async, url, user, password, reply, err1, err2, err3)
// answers a boolean success flag, the reply text in argument 6 and, on
// failure, printable details in arguments 7 to 9.
#include <windows.h>
#include <winhttp.h>

#include <cstdlib>
#include <new>
#include <string>

#include "com_server.h"

namespace nfy::testcom {
namespace {

constexpr DISPID kPostXMLString = 1;

// Where the arguments are in DISPPARAMS (stored last to first).
VARIANT& arg(DISPPARAMS& p, UINT number) { return p.rgvarg[p.cArgs - number]; }

struct Outcome {
  bool ok = false;
  std::wstring reply, err1, err2, err3;
};

struct Handle {
  HINTERNET h = nullptr;
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
};

Outcome failure(const wchar_t* step) {
  Outcome o;
  o.err1 = L"WinHTTP";
  o.err2 = step;
  o.err3 = std::to_wstring(GetLastError());
  return o;
}

// False when the URL cannot be understood.
bool post(const std::wstring& url, const std::string& body, Outcome& out) {
  URL_COMPONENTS uc{};
  uc.dwStructSize = sizeof uc;
  uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUrlPathLength = uc.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &uc) || uc.dwHostNameLength == 0) return false;
  std::wstring host(uc.lpszHostName, uc.dwHostNameLength);
  std::wstring path(uc.lpszUrlPath, uc.dwUrlPathLength);
  path.append(uc.lpszExtraInfo, uc.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  Handle session, connection, request;
  session.h =
      WinHttpOpen(L"nfyPoster", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session.h) return out = failure(L"open"), true;
  WinHttpSetTimeouts(session.h, 0, 10000, 30000, 30000);
  connection.h = WinHttpConnect(session.h, host.c_str(), uc.nPort, 0);
  if (!connection.h) return out = failure(L"connect"), true;
  request.h =
      WinHttpOpenRequest(connection.h, L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                         uc.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  if (!request.h) return out = failure(L"request"), true;
  const DWORD length = static_cast<DWORD>(body.size());
  if (!WinHttpSendRequest(request.h, L"Content-Type: text/xml\r\n", static_cast<DWORD>(-1),
                          const_cast<char*>(body.data()), length, length, 0)) {
    return out = failure(L"send"), true;
  }
  if (!WinHttpReceiveResponse(request.h, nullptr)) return out = failure(L"receive"), true;
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  std::string reply;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.h, &available)) return out = failure(L"read"), true;
    if (available == 0) break;
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!WinHttpReadData(request.h, chunk.data(), available, &got)) return out = failure(L"read"), true;
    reply.append(chunk.data(), got);
  }
  if (status != 200) {
    out.err1 = L"HTTP " + std::to_wstring(status);
    out.err2 = url;
    out.err3 = L"";
    return true;
  }
  out.ok = true;
  out.reply = fromUtf8(reply);
  return true;
}

// While the file named by NFY_POSTER_TYPELIB_FAILURES holds a count above 0,
// each name lookup counts it down and answers TYPE_E_LIBNOTREGISTERED, as a
// component whose type library is not registered does.
bool typeLibraryMissing() {
  std::wstring path;
  std::string text;
  if (!envVar(L"NFY_POSTER_TYPELIB_FAILURES", path) || !readFileBytes(path, text)) return false;
  int left = std::atoi(text.c_str());
  if (left <= 0) return false;
  DeleteFileW(path.c_str());
  appendFileBytes(path, std::to_string(left - 1));
  return true;
}

class Poster final : public DispatchObject {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    if (typeLibraryMissing()) return TYPE_E_LIBNOTREGISTERED;
    return DispatchObject::GetIDsOfNames(iid, names, count, lcid, ids);
  }

 protected:
  const std::vector<Member>& members() const override {
    static const std::vector<Member> m{{L"PostXMLString", kPostXMLString}};
    return m;
  }

  HRESULT invoke(DISPID id, WORD flags, DISPPARAMS& p, VARIANT* result, EXCEPINFO* info, UINT* argErr) override {
    if (id != kPostXMLString || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (p.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (p.cArgs != 9) return DISP_E_BADPARAMCOUNT;
    // The texts the caller gets back must come by reference; the flag and
    // the two unused texts by value.
    for (UINT n = 1; n <= 9; ++n) {
      VARTYPE want = VT_BYREF | VT_BSTR;
      if (n == 2) want = VT_BOOL;
      if (n == 4 || n == 5) want = VT_BSTR;
      if (arg(p, n).vt != want) {
        if (argErr) *argErr = p.cArgs - n;
        return DISP_E_TYPEMISMATCH;
      }
    }
    std::wstring data, url;
    argText(arg(p, 1), data);
    argText(arg(p, 3), url);
    Outcome out;
    if (!post(url, toUtf8(data), out)) return raise(info, 0, E_INVALIDARG, L"The URL is not valid: " + url);
    setRefText(arg(p, 6), out.reply);
    setRefText(arg(p, 7), out.err1);
    setRefText(arg(p, 8), out.err2);
    setRefText(arg(p, 9), out.err3);
    if (result) {
      result->vt = VT_BOOL;
      result->boolVal = out.ok ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }
};

}  // namespace

const ServerInfo& serverInfo() {
  // {D79A61AE-41F4-4A83-9376-FE2DEE4112DA}
  static const ServerInfo info{{0xd79a61ae, 0x41f4, 0x4a83, {0x93, 0x76, 0xfe, 0x2d, 0xee, 0x41, 0x12, 0xda}},
                               L"nfyPoster.WebPost",
                               L"nfyDesk test web poster"};
  return info;
}

IDispatch* createObject() { return new (std::nothrow) Poster; }

}  // namespace nfy::testcom
