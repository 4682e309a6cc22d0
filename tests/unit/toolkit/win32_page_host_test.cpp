// The page host as the control sees it: the site's interfaces called as the
// control calls them, the verbs it is sent, and what of the user's input
// reaches it. The control is Wine's, wrapped in a recorder that keeps the
// site it is given and the verbs it is sent.
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/toolkit.h"
#include "toolkit/win32/browser_host.h"
#include "win32_test_support.h"

namespace lum {
namespace {

struct ControlRecord {
  int made = 0;
  std::vector<bool> sounds_off_when_made;
  std::vector<LONG> verbs;
  std::vector<bool> shown_at_verb;  // whether the top window was visible then
  IOleClientSite* site = nullptr;   // held
};
ControlRecord g_record;

bool NavigationSoundsOff() {
  return CoInternetIsFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS,
                                    GET_FEATURE_FROM_PROCESS) == S_OK;
}

// Wine's control behind an IOleObject that records; every other interface
// is the control's own.
class RecordingControl final : public IOleObject {
 public:
  explicit RecordingControl(IOleObject* real) : real_(real) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
      AddRef();
      return S_OK;
    }
    return real_->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (!left) {
      real_->Release();
      delete this;
    }
    return left;
  }

  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    if (site && !g_record.site) {
      g_record.site = site;
      site->AddRef();
    }
    return real_->SetClientSite(site);
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT rect) override {
    g_record.verbs.push_back(verb);
    g_record.shown_at_verb.push_back(IsWindowVisible(GetAncestor(parent, GA_ROOT)) != FALSE);
    return real_->DoVerb(verb, msg, site, index, parent, rect);
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override { return real_->GetClientSite(site); }
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override {
    return real_->SetHostNames(app, object);
  }
  STDMETHODIMP Close(DWORD option) override { return real_->Close(option); }
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override {
    return real_->SetMoniker(which, moniker);
  }
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override {
    return real_->GetMoniker(assign, which, moniker);
  }
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override {
    return real_->InitFromData(data, creation, reserved);
  }
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override {
    return real_->GetClipboardData(reserved, data);
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override { return real_->EnumVerbs(verbs); }
  STDMETHODIMP Update() override { return real_->Update(); }
  STDMETHODIMP IsUpToDate() override { return real_->IsUpToDate(); }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return real_->GetUserClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override {
    return real_->GetUserType(form, type);
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    return real_->SetExtent(aspect, size);
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    return real_->GetExtent(aspect, size);
  }
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override {
    return real_->Advise(sink, connection);
  }
  STDMETHODIMP Unadvise(DWORD connection) override { return real_->Unadvise(connection); }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override { return real_->EnumAdvise(advise); }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
    return real_->GetMiscStatus(aspect, status);
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override {
    return real_->SetColorScheme(palette);
  }

 private:
  ~RecordingControl() = default;
  ULONG refs_ = 1;
  IOleObject* real_;
};

HRESULT MakeRecordingControl(IOleObject** out) {
  ++g_record.made;
  g_record.sounds_off_when_made.push_back(NavigationSoundsOff());
  IOleObject* real = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&real));
  if (FAILED(hr)) return hr;
  *out = new RecordingControl(real);
  return S_OK;
}

HWND Hwnd(const Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

// What reaches the control's own window.
std::vector<UINT> g_arrived;
WNDPROC g_inner_proc = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if ((msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || msg == WM_MOUSEWHEEL ||
      (msg >= WM_XBUTTONDOWN && msg <= WM_XBUTTONDBLCLK))
    g_arrived.push_back(msg == WM_MOUSEWHEEL ? (GET_KEYSTATE_WPARAM(wp) & MK_CONTROL ? 1 : 0)
                                             : static_cast<UINT>(wp));
  return CallWindowProcW(g_inner_proc, hwnd, msg, wp, lp);
}

// The modifier keys as the thread sees them, for the messages that follow.
void HoldKeys(bool ctrl, bool alt) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
  keys[VK_MENU] = keys[VK_LMENU] = alt ? 0x80 : 0;
  SetKeyboardState(keys);
}

void Clicked(int& clicks) { ++clicks; }

class PageHostWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    LUM_NEED_WINDOWS();
    g_record = ControlRecord{};
    old_maker_ = SetBrowserControlMaker(MakeRecordingControl);
    // The setting is the process's: off, so that only the host can turn it on.
    CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, FALSE);
    form.SetBounds(40, 40, 420, 320);
    panel = &Make<Panel>(form);
    panel->SetAlign(Align::Client);
    panel->SetMargin(-2);
    browser = &Make<Browser>(*panel);
    browser->SetAlign(Align::Client);
  }
  void TearDown() override {
    HoldKeys(false, false);
    if (old_maker_) SetBrowserControlMaker(old_maker_);
    if (g_record.site) g_record.site->Release();
    g_record.site = nullptr;
  }
  // The site's UI handler, asked for as the control asks for it.
  IDocHostUIHandler* UiHandler() {
    form.CreateHandle();
    if (!g_record.site) return nullptr;
    IDocHostUIHandler* handler = nullptr;
    g_record.site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler));
    return handler;
  }

  Form form;
  Panel* panel = nullptr;
  Browser* browser = nullptr;
  BrowserControlMaker old_maker_ = nullptr;
};

TEST_F(PageHostWin32, NavigationSoundsAreOffBeforeTheControlIsMade) {
  ASSERT_FALSE(NavigationSoundsOff());
  form.CreateHandle();
  ASSERT_EQ(g_record.made, 1);
  EXPECT_TRUE(g_record.sounds_off_when_made[0]);
}

TEST_F(PageHostWin32, ShowingTheFormGivesThePageTheKeyboard) {
  int clicks = 0;
  Button& ok = Make<Button>(*panel);
  ok.SetBounds(300, 250, 75, 24);
  ok.Hide();
  ok.OnClick = Bind<Clicked>(clicks);
  form.SetDefaultButton(&ok);

  form.CreateHandle();
  ASSERT_NE(g_record.site, nullptr) << "the browser control was not created";
  for (LONG verb : g_record.verbs) EXPECT_NE(verb, OLEIVERB_UIACTIVATE) << "while hidden";

  form.Show();
  bool ui_activated_shown = false;
  for (size_t i = 0; i < g_record.verbs.size(); ++i)
    if (g_record.verbs[i] == OLEIVERB_UIACTIVATE && g_record.shown_at_verb[i])
      ui_activated_shown = true;
  EXPECT_TRUE(ui_activated_shown);
  HWND focus = GetFocus();
  EXPECT_TRUE(focus && IsChild(Hwnd(*browser), focus));

  // Enter where the focus now is belongs to the page, not to the hidden
  // default button.
  PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0);
  ProcessMessages();
  EXPECT_EQ(clicks, 0);

  // A page of controls over it takes the keyboard and, once hidden, gives
  // it back to the page rather than leave it where no key does anything.
  Panel& over = Make<Panel>(*panel);
  over.SetBounds(0, 60, 300, 200);
  Edit& edit = Make<Edit>(over);
  edit.SetBounds(10, 10, 100, 22);
  edit.SetFocus();
  ASSERT_EQ(GetFocus(), Hwnd(edit));
  over.Hide();
  focus = GetFocus();
  EXPECT_TRUE(focus && IsChild(Hwnd(*browser), focus));
}

TEST_F(PageHostWin32, TheSiteShowsNoneOfTheBrowsersOwnUi) {
  IDocHostUIHandler* handler = UiHandler();
  ASSERT_NE(handler, nullptr);

  POINT at = {10, 10};
  EXPECT_EQ(handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), S_OK);
  EXPECT_EQ(handler->ShowContextMenu(CONTEXT_MENU_ANCHOR, &at, nullptr, nullptr), S_OK);

  DOCHOSTUIINFO info = {};
  info.cbSize = sizeof info;
  ASSERT_EQ(handler->GetHostInfo(&info), S_OK);
  // The control's edge stays: the panel's margin puts it outside the window.
  EXPECT_EQ(info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER, 0u);

  // Whatever the control would accept a drop with, the host's target takes
  // nothing.
  IDropTarget* target = nullptr;
  ASSERT_EQ(handler->GetDropTarget(nullptr, &target), S_OK);
  ASSERT_NE(target, nullptr);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  EXPECT_EQ(target->DragEnter(nullptr, 0, POINTL{5, 5}, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  target->DragOver(0, POINTL{6, 6}, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  target->Drop(nullptr, 0, POINTL{6, 6}, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  target->Release();

  wchar_t url[] = L"spec:conf";
  LPWSTR changed = url;
  EXPECT_EQ(handler->TranslateUrl(0, url, &changed), S_FALSE);
  EXPECT_EQ(changed, nullptr);
  handler->Release();

  // New windows (Ctrl+N, Shift+click) are refused as the events come.
  IDispatch* events = nullptr;
  ASSERT_EQ(g_record.site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)), S_OK);
  for (DISPID id : {251, 273}) {  // NewWindow2, NewWindow3
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    for (VARIANT& a : args) VariantInit(&a);
    UINT cancel_at = id == 251 ? 0 : 3;
    args[cancel_at].vt = VT_BYREF | VT_BOOL;
    args[cancel_at].pboolVal = &cancel;
    DISPPARAMS params = {args, nullptr, id == 251 ? 2u : 5u, 0};
    events->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                   nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE) << "event " << id;
  }
  events->Release();
}

struct KeyCase {
  const char* name;
  UINT message;
  WPARAM key;
  bool ctrl, alt;
  bool swallowed;
};

TEST_F(PageHostWin32, TheUiHandlerKeepsThePagesKeysAndSwallowsTheBrowsers) {
  IDocHostUIHandler* handler = UiHandler();
  ASSERT_NE(handler, nullptr);
  const KeyCase cases[] = {
      {"Tab", WM_KEYDOWN, VK_TAB, false, false, false},
      {"Down", WM_KEYDOWN, VK_DOWN, false, false, false},
      {"Left", WM_KEYDOWN, VK_LEFT, false, false, false},
      {"Page Down", WM_KEYDOWN, VK_NEXT, false, false, false},
      {"Enter", WM_KEYDOWN, VK_RETURN, false, false, false},
      {"Space", WM_KEYDOWN, VK_SPACE, false, false, false},
      {"Ctrl+C", WM_KEYDOWN, 'C', true, false, false},
      {"Ctrl+A", WM_KEYDOWN, 'A', true, false, false},
      {"AltGr+N", WM_KEYDOWN, 'N', true, true, false},
      {"AltGr+0", WM_KEYDOWN, '0', true, true, false},
      {"Backspace", WM_KEYDOWN, VK_BACK, false, false, true},
      {"Alt+Left", WM_SYSKEYDOWN, VK_LEFT, false, true, true},
      {"Alt+Right", WM_SYSKEYDOWN, VK_RIGHT, false, true, true},
      {"Alt+Home", WM_SYSKEYDOWN, VK_HOME, false, true, true},
      {"Browser Back", WM_KEYDOWN, VK_BROWSER_BACK, false, false, true},
      {"Browser Forward", WM_KEYDOWN, VK_BROWSER_FORWARD, false, false, true},
      {"Browser Refresh", WM_KEYDOWN, VK_BROWSER_REFRESH, false, false, true},
      {"Browser Home", WM_KEYDOWN, VK_BROWSER_HOME, false, false, true},
      {"F5", WM_KEYDOWN, VK_F5, false, false, true},
      {"Ctrl+F5", WM_KEYDOWN, VK_F5, true, false, true},
      {"F3", WM_KEYDOWN, VK_F3, false, false, true},
      {"Ctrl+R", WM_KEYDOWN, 'R', true, false, true},
      {"Ctrl+N", WM_KEYDOWN, 'N', true, false, true},
      {"Ctrl+O", WM_KEYDOWN, 'O', true, false, true},
      {"Ctrl+P", WM_KEYDOWN, 'P', true, false, true},
      {"Ctrl+F", WM_KEYDOWN, 'F', true, false, true},
      {"Ctrl+L", WM_KEYDOWN, 'L', true, false, true},
      {"Ctrl+plus", WM_KEYDOWN, VK_OEM_PLUS, true, false, true},
      {"Ctrl+keypad plus", WM_KEYDOWN, VK_ADD, true, false, true},
      {"Ctrl+minus", WM_KEYDOWN, VK_OEM_MINUS, true, false, true},
      {"Ctrl+keypad minus", WM_KEYDOWN, VK_SUBTRACT, true, false, true},
      {"Ctrl+0", WM_KEYDOWN, '0', true, false, true},
  };
  HWND inner = GetWindow(Hwnd(*browser), GW_CHILD);
  for (const KeyCase& c : cases) {
    HoldKeys(c.ctrl, c.alt);
    MSG msg = {};
    msg.hwnd = inner;
    msg.message = c.message;
    msg.wParam = c.key;
    msg.lParam = 1 | (c.message == WM_SYSKEYDOWN ? (1 << 29) : 0);
    HRESULT hr = handler->TranslateAccelerator(&msg, nullptr, 0);
    EXPECT_EQ(hr, c.swallowed ? S_OK : S_FALSE) << c.name;
  }
  handler->Release();
}

TEST_F(PageHostWin32, TheBrowsersCommandsNeverReachThePage) {
  form.Show();
  HWND inner = GetWindow(Hwnd(*browser), GW_CHILD);
  ASSERT_NE(inner, nullptr);
  g_inner_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
  g_arrived.clear();

  PostMessageW(inner, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), MAKELPARAM(60, 60));
  PostMessageW(inner, WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(60, 60));
  PostMessageW(inner, WM_XBUTTONUP, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(60, 60));
  PostMessageW(inner, WM_XBUTTONUP, MAKEWPARAM(0, XBUTTON2), MAKELPARAM(60, 60));
  PostMessageW(inner, WM_KEYDOWN, VK_F5, 1);
  PostMessageW(inner, WM_KEYDOWN, VK_BACK, 1);
  PostMessageW(inner, WM_KEYDOWN, VK_BROWSER_BACK, 1);
  PostMessageW(inner, WM_SYSKEYDOWN, VK_LEFT, 1 | (1 << 29));
  ProcessMessages();
  EXPECT_TRUE(g_arrived.empty()) << g_arrived.size() << " arrived, the first " << g_arrived[0];

  // The page's own keys and plain scrolling still come through.
  PostMessageW(inner, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(60, 60));
  PostMessageW(inner, WM_KEYDOWN, VK_DOWN, 1);
  ProcessMessages();
  EXPECT_EQ(g_arrived, (std::vector<UINT>{0, VK_DOWN}));
  SetWindowLongPtrW(inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_inner_proc));
}

}  // namespace
}  // namespace lum
