// Hosting the system's browser control in plain C++: one object is the
// control's client site, in-place site and frame, its UI handler and its
// event sink. The control is reached through IWebBrowser2 for navigating
// and through its automation interface, by DISPID or by name, for
// everything else.
//
// The page is the program's own window, not a browser: the UI handler and
// the message filter keep the browser's own commands (its menu, history,
// reload, new windows, printing, finding, zoom, dropped files) away from it.
#include "toolkit/win32/browser_host.h"

#include <ole2.h>
#include <ocidl.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <urlmon.h>

#include "toolkit/browser.h"

namespace lum {

namespace {

constexpr UINT kCodePage = 1251;

const CLSID kClsidWebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const IID kIidWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID kDiidWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
const IID kNoIid = {};

// Members of the control's automation interface.
constexpr DISPID kDispidBeforeNavigate2 = 250;
constexpr DISPID kDispidNewWindow2 = 251;
constexpr DISPID kDispidNewWindow3 = 273;
constexpr DISPID kDispidLocationUrl = 211;
constexpr DISPID kDispidDocument = 203;
constexpr DISPID kDispidSilent = 551;

std::wstring Widen(UINT code_page, const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(UINT code_page, const wchar_t* wide, int length) {
  if (!wide || length <= 0) return {};
  int n = WideCharToMultiByte(code_page, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(n, '\0');
  WideCharToMultiByte(code_page, 0, wide, length, text.data(), n, nullptr, nullptr);
  return text;
}

// Null only when out of memory; an empty text gives an empty string.
BSTR ToBstr(const std::wstring& wide) {
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

BSTR ToBstr(const std::string& text) { return ToBstr(Widen(kCodePage, text)); }

std::string UrlFromBstr(BSTR b) {
  return BrowserUrlFromWide(b, b ? static_cast<int>(SysStringLen(b)) : 0);
}

// The URL argument of an event: a string, or a variant or a string by
// reference, as the control chooses to pass it.
std::string VariantUrl(const VARIANT& v) {
  const VARIANT* p = &v;
  if (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
  if (p->vt == VT_BSTR) return UrlFromBstr(p->bstrVal);
  if (p->vt == (VT_BYREF | VT_BSTR) && p->pbstrVal) return UrlFromBstr(*p->pbstrVal);
  return {};
}

HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT& result) {
  DISPPARAMS none = {};
  VariantInit(&result);
  return object->Invoke(id, kNoIid, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                        nullptr, nullptr);
}

HRESULT PutProperty(IDispatch* object, DISPID id, VARIANT& value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  return object->Invoke(id, kNoIid, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, nullptr);
}

bool IdOfName(IDispatch* object, const wchar_t* name, DISPID& id) {
  LPOLESTR names = const_cast<LPOLESTR>(name);
  return SUCCEEDED(object->GetIDsOfNames(kNoIid, &names, 1, LOCALE_USER_DEFAULT, &id));
}

// The automation object in a result, or null; the result is cleared.
IDispatch* TakeObject(VARIANT& v) {
  IDispatch* object = nullptr;
  if (v.vt == VT_DISPATCH && v.pdispVal) {
    object = v.pdispVal;
    object->AddRef();
  }
  VariantClear(&v);
  return object;
}

bool IsAboutUrl(const wchar_t* url, int length) {
  return length >= 6 && _wcsnicmp(url, L"about:", 6) == 0;
}

// A property read by name; an empty result when there is none.
void GetNamed(IDispatch* object, const wchar_t* name, VARIANT& result) {
  DISPID id;
  VariantInit(&result);
  if (object && IdOfName(object, name, id)) GetProperty(object, id, result);
}

// Whether the page's focused element takes typed text, where Backspace
// deletes rather than going back.
bool FocusInTextField(IWebBrowser2* web) {
  if (!web) return false;
  VARIANT v;
  if (FAILED(GetProperty(web, kDispidDocument, v))) return false;
  IDispatch* document = TakeObject(v);
  GetNamed(document, L"activeElement", v);
  IDispatch* element = TakeObject(v);
  if (document) document->Release();
  if (!element) return false;
  bool text = false;
  GetNamed(element, L"isContentEditable", v);
  if (v.vt == VT_BOOL && v.boolVal) text = true;
  VariantClear(&v);
  GetNamed(element, L"tagName", v);
  if (v.vt == VT_BSTR && v.bstrVal) {
    if (_wcsicmp(v.bstrVal, L"TEXTAREA") == 0) {
      text = true;
    } else if (_wcsicmp(v.bstrVal, L"INPUT") == 0) {
      VARIANT type;
      GetNamed(element, L"type", type);
      const wchar_t* t = type.vt == VT_BSTR && type.bstrVal ? type.bstrVal : L"text";
      for (const wchar_t* kind : {L"text", L"password", L"search", L"email", L"url", L"tel",
                                  L"number", L""})
        if (_wcsicmp(t, kind) == 0) text = true;
      VariantClear(&type);
    }
  }
  VariantClear(&v);
  element->Release();
  return text;
}

bool IsKeyMessage(UINT message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
         message == WM_SYSKEYUP;
}

// The browser's own keyboard commands: history, reload, find, open, print,
// new window, address, zoom. Ctrl with Alt is AltGr, which types characters
// on many layouts and is left alone. `in_text` is asked only for Backspace.
template <class InText>
bool IsBrowserCommandKey(const MSG& m, InText in_text) {
  if (!IsKeyMessage(m.message)) return false;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = GetKeyState(VK_MENU) < 0 ||
                   ((m.message == WM_SYSKEYDOWN || m.message == WM_SYSKEYUP) &&
                    (m.lParam & (1 << 29)));
  const WPARAM key = m.wParam;
  if (key >= VK_BROWSER_BACK && key <= VK_BROWSER_HOME) return true;
  if (key == VK_F5 || key == VK_F3) return true;
  if (key == VK_BACK) return !in_text();
  if (alt && !ctrl) return key == VK_LEFT || key == VK_RIGHT || key == VK_HOME;
  if (ctrl && !alt) {
    switch (key) {
      case 'R': case 'N': case 'O': case 'P': case 'F': case 'L':
      case VK_OEM_PLUS: case VK_ADD: case VK_OEM_MINUS: case VK_SUBTRACT:
      case '0': case VK_NUMPAD0:
        return true;
      default:
        break;
    }
  }
  return false;
}

// The mouse's history buttons, and the wheel with Ctrl, which zooms the
// fixed-size page out of its window.
bool IsBrowserCommandMouse(const MSG& m) {
  if (m.message == WM_XBUTTONDOWN || m.message == WM_XBUTTONUP ||
      m.message == WM_XBUTTONDBLCLK)
    return true;
  return m.message == WM_MOUSEWHEEL && (GET_KEYSTATE_WPARAM(m.wParam) & MK_CONTROL);
}

}  // namespace

std::wstring BrowserUrlToWide(const std::string& url) {
  bool about = url.size() >= 6 && _strnicmp(url.c_str(), "about:", 6) == 0;
  return Widen(about ? kCodePage : CP_ACP, url);
}

std::string BrowserUrlFromWide(const wchar_t* url, int length) {
  return Narrow(IsAboutUrl(url, length) ? kCodePage : CP_ACP, url, length);
}

class BrowserHost final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public IDropTarget,
                          public IDispatch {
 public:
  BrowserHost(HWND container, Browser& browser) : container_(container), browser_(&browser) {}
  BrowserHost(const BrowserHost&) = delete;
  BrowserHost& operator=(const BrowserHost&) = delete;

  IOleObject* ole = nullptr;
  IWebBrowser2* web = nullptr;
  IConnectionPoint* events = nullptr;
  DWORD cookie = 0;

  void Detach() { browser_ = nullptr; }

  // IUnknown: one identity for every interface of the site.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDocHostUIHandler)
      *out = static_cast<IDocHostUIHandler*>(this);
    else if (iid == IID_IDropTarget)
      *out = static_cast<IDropTarget*>(this);
    else if (iid == IID_IDispatch || iid == kDiidWebBrowserEvents2)
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }

  // IOleClientSite: no storage, no container document.
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, for both the site and the frame: the container window.
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = container_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite: the control always fills the container.
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = this;
    AddRef();
    *document = nullptr;
    GetClientRect(container_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(container_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceFrame: no menus, toolbars or status bar to share.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: the page keeps its keys and its look; the browser
  // around it shows nothing of its own.
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return S_OK;  // shown by us, that is: no menu at all
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    // No flags: the control keeps its edge, which lies outside the window.
    info->dwFlags = 0;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;  // no menus or toolbars to show
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID*, DWORD) override {
    if (!message) return S_FALSE;
    return IsBrowserCommandKey(*message, [&] { return FocusInTextField(web); }) ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key) *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
    if (!out) return E_POINTER;
    *out = static_cast<IDropTarget*>(this);  // one that takes nothing
    AddRef();
    return S_OK;
  }
  STDMETHODIMP GetExternal(IDispatch** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }

  // IDropTarget: a file or link dropped on the window would replace the
  // start page.
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override { return S_OK; }
  STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }

  // IDispatch: the control's events, and its questions for ambient
  // properties, which all keep their defaults.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    // No new browser windows: (ppDisp, Cancel) and (ppDisp, Cancel, Flags,
    // UrlContext, Url), last first.
    if (id == kDispidNewWindow2 || id == kDispidNewWindow3) {
      UINT cancel = id == kDispidNewWindow2 ? 0 : 3;
      if (params && params->cArgs > cancel) {
        VARIANT& flag = params->rgvarg[cancel];
        if (flag.vt == (VT_BYREF | VT_BOOL) && flag.pboolVal) *flag.pboolVal = VARIANT_TRUE;
      }
      return S_OK;
    }
    if (id != kDispidBeforeNavigate2) return DISP_E_MEMBERNOTFOUND;
    // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel),
    // last first.
    if (!params || params->cArgs < 7 || !browser_) return S_OK;
    AddRef();  // the handler may free the browser, and with it our hold
    try {
      std::string url = VariantUrl(params->rgvarg[5]);
      bool cancel = false;
      browser_->DoBeforeNavigate(url, cancel);
      VARIANT& flag = params->rgvarg[0];
      if (cancel && flag.vt == (VT_BYREF | VT_BOOL) && flag.pboolVal)
        *flag.pboolVal = VARIANT_TRUE;
    } catch (...) {
    }
    Release();
    return S_OK;
  }

 private:
  ~BrowserHost() = default;

  ULONG refs_ = 1;
  HWND container_;
  Browser* browser_;  // null once the browser is going
};

namespace {

// The control is an apartment object: OLE once on the thread that makes it.
void InitializeOle() {
  static thread_local bool done = false;
  if (!done) OleInitialize(nullptr);
  done = true;
}

bool ConnectEvents(BrowserHost& host) {
  IConnectionPointContainer* points = nullptr;
  if (FAILED(host.web->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&points))))
    return false;
  HRESULT hr = points->FindConnectionPoint(kDiidWebBrowserEvents2, &host.events);
  points->Release();
  if (FAILED(hr) || !host.events) return false;
  return SUCCEEDED(host.events->Advise(static_cast<IDispatch*>(&host), &host.cookie));
}

// Each navigation would play the system's click, and the pages send one
// into their hidden frame for every action they ask for. The setting lives
// in urlmon for the life of the process, so the library stays loaded; it is
// looked up when a control is made, which the agent never does.
void DisableNavigationSounds() {
  using SetFeature = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD, BOOL);
  static SetFeature set = [] {
    HMODULE urlmon = LoadLibraryW(L"urlmon.dll");
    return urlmon ? reinterpret_cast<SetFeature>(
                        reinterpret_cast<void*>(GetProcAddress(urlmon, "CoInternetSetFeatureEnabled")))
                  : nullptr;
  }();
  if (set) set(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, TRUE);
}

HRESULT MakeSystemControl(IOleObject** control) {
  return CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                          reinterpret_cast<void**>(control));
}

BrowserControlMaker g_make_control = MakeSystemControl;

}  // namespace

BrowserControlMaker SetBrowserControlMaker(BrowserControlMaker maker) {
  BrowserControlMaker old = g_make_control;
  g_make_control = maker ? maker : MakeSystemControl;
  return old;
}

BrowserHost* BrowserHostCreate(HWND container, Browser& browser) {
  InitializeOle();
  DisableNavigationSounds();
  IOleObject* ole = nullptr;
  if (FAILED(g_make_control(&ole)) || !ole) return nullptr;
  auto* host = new BrowserHost(container, browser);
  host->ole = ole;
  // The control wants its site before it is initialised.
  ole->SetClientSite(host);
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(ole->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    persist->InitNew();
    persist->Release();
  }
  // Without its events the program would not see where the control goes:
  // no control is better than one that bypasses the handler.
  if (FAILED(ole->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&host->web))) ||
      !ConnectEvents(*host)) {
    BrowserHostDestroy(host);
    return nullptr;
  }
  // Dropped files and links would replace the page.
  host->web->put_RegisterAsDropTarget(VARIANT_FALSE);
  RECT rc;
  GetClientRect(container, &rc);
  ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, host, 0, container, &rc);
  return host;
}

void BrowserHostActivate(BrowserHost* host) {
  if (!host || !host->ole) return;
  HWND container = nullptr;
  host->GetWindow(&container);
  RECT rc;
  GetClientRect(container, &rc);
  host->ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, host, 0, container, &rc);
  // A control that was in-place active already may leave the focus where it
  // was: then it goes to the control's window, which hands it to the page.
  HWND focus = GetFocus();
  if (!focus || !IsChild(container, focus))
    if (HWND inner = GetWindow(container, GW_CHILD)) SetFocus(inner);
}

void BrowserHostDestroy(BrowserHost* host) {
  if (!host) return;
  host->Detach();  // no events from here on
  if (host->events) {
    if (host->cookie) host->events->Unadvise(host->cookie);
    host->events->Release();
    host->events = nullptr;
  }
  if (host->web) {
    host->web->Release();
    host->web = nullptr;
  }
  if (IOleObject* ole = host->ole) {
    host->ole = nullptr;
    IOleInPlaceObject* inplace = nullptr;
    if (SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inplace)))) {
      inplace->InPlaceDeactivate();
      inplace->Release();
    }
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  host->Release();
}

void BrowserHostResize(BrowserHost* host, int width, int height) {
  if (!host || !host->ole) return;
  IOleInPlaceObject* inplace = nullptr;
  if (FAILED(host->ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inplace))))
    return;
  RECT rc = {0, 0, width, height};
  inplace->SetObjectRects(&rc, &rc);
  inplace->Release();
}

bool BrowserHostMessage(BrowserHost* host, MSG& message) {
  if (!host || !host->web) return false;
  if (IsBrowserCommandMouse(message)) return true;
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  // Dropped before the control sees them, whether or not it asks the UI
  // handler about them.
  if (IsBrowserCommandKey(message, [&] { return FocusInTextField(host->web); })) return true;
  IOleInPlaceActiveObject* active = nullptr;
  if (FAILED(host->web->QueryInterface(IID_IOleInPlaceActiveObject,
                                       reinterpret_cast<void**>(&active))))
    return false;
  bool taken = active->TranslateAccelerator(&message) == S_OK;
  active->Release();
  return taken;
}

void BrowserHostSetSilent(BrowserHost* host, bool silent) {
  if (!host || !host->web) return;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = silent ? VARIANT_TRUE : VARIANT_FALSE;
  PutProperty(host->web, kDispidSilent, value);
}

bool BrowserHostNavigate(BrowserHost* host, const std::string& url) {
  if (!host || !host->web) return false;
  BSTR target = ToBstr(BrowserUrlToWide(url));
  if (!target) return false;
  VARIANT flags, frame, post_data, headers;  // all left out
  VariantInit(&flags);
  VariantInit(&frame);
  VariantInit(&post_data);
  VariantInit(&headers);
  IWebBrowser2* web = host->web;
  web->AddRef();  // the event handler may free the browser meanwhile
  HRESULT hr = web->Navigate(target, &flags, &frame, &post_data, &headers);
  web->Release();
  SysFreeString(target);
  return SUCCEEDED(hr);
}

std::string BrowserHostLocation(BrowserHost* host) {
  if (!host || !host->web) return {};
  VARIANT value;
  if (FAILED(GetProperty(host->web, kDispidLocationUrl, value))) return {};
  std::string url = value.vt == VT_BSTR ? UrlFromBstr(value.bstrVal) : std::string();
  VariantClear(&value);
  return url;
}

bool BrowserHostSetElementHtml(BrowserHost* host, const std::string& id,
                               const std::string& html) {
  if (!host || !host->web) return false;
  VARIANT result;
  if (FAILED(GetProperty(host->web, kDispidDocument, result))) return false;
  IDispatch* document = TakeObject(result);
  if (!document) return false;

  IDispatch* element = nullptr;
  DISPID get_element;
  if (IdOfName(document, L"getElementById", get_element)) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = ToBstr(id);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VariantInit(&result);
    if (arg.bstrVal && SUCCEEDED(document->Invoke(get_element, kNoIid, LOCALE_USER_DEFAULT,
                                                  DISPATCH_METHOD, &params, &result, nullptr,
                                                  nullptr)))
      element = TakeObject(result);
    VariantClear(&arg);
  }
  document->Release();
  if (!element) return false;

  bool done = false;
  DISPID inner_html;
  if (IdOfName(element, L"innerHTML", inner_html)) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = ToBstr(html);
    done = value.bstrVal && SUCCEEDED(PutProperty(element, inner_html, value));
    VariantClear(&value);
  }
  element->Release();
  return done;
}

}  // namespace lum
