// "nfyToast.Display": a popup that shows nothing. It keeps the eight
// properties it is given; Popup appends them to the file named by
// NFY_TOAST_RECORD_FILE, one line of Name=value fields separated by tabs
// (values that are not strings carry their VARIANT type: "Icon=6 (VT_I4)";
// backslash, tab, CR and LF written as \\, \t, \r, \n), and answers with the
// text of the file named by NFY_TOAST_ANSWER_FILE ("AUTOCLOSE" when there is
// none), which ClosedBy then returns.
#include <new>

#include "com_server.h"

namespace nfy::testcom {
namespace {

constexpr DISPID kPopup = 100;
constexpr DISPID kClosedBy = 101;
constexpr int kProperties = 8;
const wchar_t* const kPropertyNames[kProperties] = {
    L"Icon",     L"Header", L"Body", L"DisplayTimeSeconds", L"PopupHeight", L"PopupWidth", L"TransparencyLevel",
    L"ModalForm"};

const wchar_t* typeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: return L"VT_EMPTY";
    case VT_NULL: return L"VT_NULL";
    case VT_I2: return L"VT_I2";
    case VT_I4: return L"VT_I4";
    case VT_R4: return L"VT_R4";
    case VT_R8: return L"VT_R8";
    case VT_BSTR: return L"VT_BSTR";
    case VT_BOOL: return L"VT_BOOL";
    case VT_UI1: return L"VT_UI1";
    case VT_I8: return L"VT_I8";
    default: return L"VT_OTHER";
  }
}

std::wstring escaped(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\t': out += L"\\t"; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      default: out += c;
    }
  }
  return out;
}

class Toast final : public DispatchObject {
 public:
  Toast() {
    for (auto& v : properties_) VariantInit(&v);
  }
  ~Toast() override {
    for (auto& v : properties_) VariantClear(&v);
  }

 protected:
  const std::vector<Member>& members() const override {
    static const std::vector<Member> m = [] {
      std::vector<Member> all;
      for (int i = 0; i < kProperties; ++i) all.push_back({kPropertyNames[i], i + 1});
      all.push_back({L"Popup", kPopup});
      all.push_back({L"ClosedBy", kClosedBy});
      return all;
    }();
    return m;
  }

  HRESULT invoke(DISPID id, WORD flags, DISPPARAMS& p, VARIANT* result, EXCEPINFO* info, UINT*) override {
    if (id >= 1 && id <= kProperties) {
      VARIANT& slot = properties_[id - 1];
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VariantClear(&slot);
        return VariantCopyInd(&slot, &p.rgvarg[0]);
      }
      if (flags & DISPATCH_PROPERTYGET) return result ? VariantCopy(result, &slot) : S_OK;
      return DISP_E_MEMBERNOTFOUND;
    }
    if (id == kPopup && (flags & DISPATCH_METHOD)) {
      if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
      HRESULT hr = popup(info);
      if (SUCCEEDED(hr) && result) {
        result->vt = VT_BSTR;
        result->bstrVal = bstr(closedBy_);
      }
      return hr;
    }
    if (id == kClosedBy && (flags & DISPATCH_PROPERTYGET)) {
      if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
      if (result) {
        result->vt = VT_BSTR;
        result->bstrVal = bstr(closedBy_);
      }
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  HRESULT popup(EXCEPINFO* info) {
    std::wstring recordFile;
    if (envVar(L"NFY_TOAST_RECORD_FILE", recordFile) && !recordFile.empty()) {
      std::wstring line;
      for (int i = 0; i < kProperties; ++i) {
        if (i) line += L'\t';
        line += kPropertyNames[i];
        line += L'=';
        std::wstring text;
        argText(properties_[i], text);
        line += escaped(text);
        if (properties_[i].vt != VT_BSTR) line += std::wstring(L" (") + typeName(properties_[i].vt) + L")";
      }
      if (!appendFileBytes(recordFile, toUtf8(line) + "\n")) {
        return raise(info, 75, 0, L"Cannot write the record file " + recordFile);
      }
    }
    closedBy_ = L"AUTOCLOSE";
    std::wstring answerFile;
    std::string answer;
    if (envVar(L"NFY_TOAST_ANSWER_FILE", answerFile) && readFileBytes(answerFile, answer)) {
      while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
      closedBy_ = fromUtf8(answer);
    }
    return S_OK;
  }

  VARIANT properties_[kProperties];
  std::wstring closedBy_;
};

}  // namespace

const ServerInfo& serverInfo() {
  // {7E2E3DA2-2982-4337-B85D-FC819C886E31}
  static const ServerInfo info{{0x7e2e3da2, 0x2982, 0x4337, {0xb8, 0x5d, 0xfc, 0x81, 0x9c, 0x88, 0x6e, 0x31}},
                               L"nfyToast.Display",
                               L"nfyDesk test popup"};
  return info;
}

IDispatch* createObject() { return new (std::nothrow) Toast; }

}  // namespace nfy::testcom
