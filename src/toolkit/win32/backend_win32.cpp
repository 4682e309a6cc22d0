// The win32 backend: real windows and standard child controls (STATIC,
// EDIT, COMBOBOX, BUTTON), so screen readers and test probes see them; the
// browser control lives in a window of ours (browser_win32.cpp).
// Texts are Windows-1251 in the objects; they cross to the system through an
// explicit 1251 <-> UTF-16 conversion and the wide functions, so Russian
// shows whatever the system's ANSI code page is.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/backend.h"
#include "toolkit/win32/browser_host.h"

namespace lum {

struct Peer {
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  HBRUSH brush = nullptr;  // only for RGB colours; system ones are shared
  HICON icon_big = nullptr;
  HICON icon_small = nullptr;  // forms, tray icons
  std::string icon_name;       // what icon_small was loaded from
  UINT_PTR timer = 0;
  UINT tray_id = 0;
  bool tray_added = false;
  bool tray_asked = false;     // an add went out, whatever the answer
  bool tray_retrying = false;  // a window timer asks again
  HWND last_focus = nullptr;  // a form's focused control when it lost activation
  BrowserHost* browser = nullptr;  // null also when the control is missing
};

namespace {

constexpr UINT kCodePage = 1251;
constexpr UINT kTrayMessage = WM_APP + 1;
const wchar_t kControlProp[] = L"LumControl";
const wchar_t kPanelClass[] = L"LumPanel";
const wchar_t kPaintBoxClass[] = L"LumPaintBox";
const wchar_t kBrowserClass[] = L"LumBrowser";

// While we move, resize or retitle windows ourselves, the notifications
// that come back must not be taken for the user's doing.
int g_echo_off = 0;
struct EchoOff {
  EchoOff() { ++g_echo_off; }
  ~EchoOff() { --g_echo_off; }
};

std::vector<std::pair<UINT_PTR, Timer*>> g_timers;
std::vector<TrayIcon*> g_trays;
UINT g_taskbar_created = 0;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* wide, int length) {
  if (length <= 0) return {};
  int n = WideCharToMultiByte(kCodePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(n, '\0');
  WideCharToMultiByte(kCodePage, 0, wide, length, text.data(), n, nullptr, nullptr);
  return text;
}

std::string WindowText(HWND hwnd) {
  std::wstring wide(GetWindowTextLengthW(hwnd) + 1, L'\0');
  int n = GetWindowTextW(hwnd, wide.data(), static_cast<int>(wide.size()));
  return Narrow(wide.data(), n);
}

HWND Hwnd(const Control& control) { return control.peer_ ? control.peer_->hwnd : nullptr; }

Control* FromHwnd(HWND hwnd) { return static_cast<Control*>(GetPropW(hwnd, kControlProp)); }

// The object a window belongs to: itself, or the nearest parent that is
// ours (a hosted control's inner windows).
Control* OwnerControl(HWND hwnd) {
  for (; hwnd; hwnd = GetParent(hwnd)) {
    if (Control* c = FromHwnd(hwnd)) return c;
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) break;
  }
  return nullptr;
}

COLORREF ColorRef(Color color) {
  return IsSysColor(color) ? GetSysColor(SysColorIndex(color)) : color;
}

HBRUSH OwnBrush(Control& control) {
  Color color = control.GetColor();
  if (IsSysColor(color)) return GetSysColorBrush(SysColorIndex(color));
  Peer& p = *control.peer_;
  if (!p.brush) p.brush = CreateSolidBrush(color);
  return p.brush;
}

// A transparent control shows its parent's colour behind it.
HBRUSH BackBrush(Control& control) {
  Control* c = &control;
  while (c->Transparent() && c->Parent() && c->Parent()->peer_) c = c->Parent();
  return OwnBrush(*c);
}

HFONT MakeFont(const Font& font) {
  LOGFONTW lf{};
  lf.lfHeight = -font.height;
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  // A symbol font has no Cyrillic: asked for with the default character set
  // on a Russian system, the font mapper may pick another face instead.
  lf.lfCharSet = font.face == "Marlett" ? SYMBOL_CHARSET : DEFAULT_CHARSET;
  std::wstring face = Wide(font.face);
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return CreateFontIndirectW(&lf);
}

HICON LoadIconResource(const std::string& name, int width, int height, UINT flags) {
  if (name.empty()) return nullptr;
  return static_cast<HICON>(
      LoadImageW(Instance(), Wide(name).c_str(), IMAGE_ICON, width, height, flags));
}

DWORD FormStyle(const Form& form) {
  DWORD style = WS_CLIPCHILDREN;
  if (!form.Caption()) return style | WS_POPUP;
  style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
  if (form.MaximizeBox()) style |= WS_MAXIMIZEBOX;
  return style;
}

DWORD FormExStyle(const Form& form) {
  DWORD ex = 0;
  if (form.ToolWindow()) ex |= WS_EX_TOOLWINDOW;
  if (form.Topmost()) ex |= WS_EX_TOPMOST;
  return ex;
}

void GreySizeCommand(const Form& form, HWND hwnd) {
  if (form.FixedSize())
    EnableMenuItem(GetSystemMenu(hwnd, FALSE), SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
}

// A drop-down list's window also holds its opened list: the field keeps the
// object's height and the list gets room for its entries below.
int DropHeight(ComboBox& combo) {
  int rows = static_cast<int>(combo.Items().size());
  rows = rows < 1 ? 1 : (rows > 12 ? 12 : rows);
  int item = static_cast<int>(SendMessageW(Hwnd(combo), CB_GETITEMHEIGHT, 0, 0));
  return rows * (item > 0 ? item : 16) + 2;
}

void PlaceWindow(Control& control) {
  EchoOff quiet;
  const Rect& b = control.Bounds();
  int height = b.Height();
  if (control.Kind() == ControlKind::ComboBox) {
    if (height > 6)  // the field's frame takes 3 pixels above and below
      SendMessageW(Hwnd(control), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - 6);
    height += DropHeight(static_cast<ComboBox&>(control));
  }
  SetWindowPos(Hwnd(control), nullptr, b.left, b.top, b.Width(), height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyFont(Control& control) {
  Peer& p = *control.peer_;
  HFONT old = p.font;
  p.font = MakeFont(control.GetFont());
  SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(p.font), TRUE);
  if (old) DeleteObject(old);
}

void ApplyItems(ComboBox& combo) {
  HWND hwnd = Hwnd(combo);
  SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : combo.Items())
    SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
}

void ApplyIcon(Form& form) {
  Peer& p = *form.peer_;
  HICON big = p.icon_big, small = p.icon_small;
  p.icon_big = LoadIconResource(form.Icon(), GetSystemMetrics(SM_CXICON),
                                GetSystemMetrics(SM_CYICON), 0);
  p.icon_small = LoadIconResource(form.Icon(), GetSystemMetrics(SM_CXSMICON),
                                  GetSystemMetrics(SM_CYSMICON), 0);
  SendMessageW(p.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(p.icon_big));
  SendMessageW(p.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(p.icon_small));
  if (big) DestroyIcon(big);
  if (small) DestroyIcon(small);
}

void ApplyRegion(Form& form) {
  const Form::RoundRegion* r = form.Region();
  if (!r) return;
  HRGN region = CreateRoundRectRgn(r->rect.left, r->rect.top, r->rect.right, r->rect.bottom,
                                   r->corner_width, r->corner_height);
  SetWindowRgn(Hwnd(form), region, TRUE);  // the system owns the region now
}

void ApplyStyle(Form& form) {
  HWND hwnd = Hwnd(form);
  EchoOff quiet;
  LONG_PTR keep = GetWindowLongPtrW(hwnd, GWL_STYLE) &
                  (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
  bool was_topmost = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  SetWindowLongPtrW(hwnd, GWL_STYLE, keep | FormStyle(form));
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, FormExStyle(form));
  // Topmost is a place in the z-order, not a style bit alone; other style
  // changes leave the window where it is among the others.
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED;
  if (was_topmost == form.Topmost()) flags |= SWP_NOZORDER;
  SetWindowPos(hwnd, form.Topmost() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, flags);
  GreySizeCommand(form, hwnd);
}

// Siblings in the objects' order, front first.
void ApplyZOrder(Control& parent) {
  HWND after = HWND_TOP;
  for (Control* c : parent.ZOrder()) {
    if (!Hwnd(*c)) continue;
    SetWindowPos(Hwnd(*c), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = Hwnd(*c);
  }
}

void ChildCommand(Control& child, WORD code) {
  HWND hwnd = Hwnd(child);
  switch (child.Kind()) {
    case ControlKind::Label:
      // The second press of a double-click comes as STN_DBLCLK after the
      // first one's STN_CLICKED: that is one click of the user's, and its
      // link opens once.
      if (code == STN_CLICKED) static_cast<Label&>(child).DoClick();
      break;
    case ControlKind::Button:
      if (code == BN_CLICKED) static_cast<Button&>(child).DoClick();
      break;
    case ControlKind::Edit:
      if (code == EN_CHANGE && !g_echo_off)
        static_cast<Edit&>(child).PeerTextChanged(WindowText(hwnd));
      break;
    case ControlKind::ComboBox:
      if (code == CBN_SELCHANGE)
        static_cast<ComboBox&>(child).PeerItemChosen(
            static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0)));
      break;
    default:
      break;
  }
}

LRESULT ChildColors(HDC dc, Control& child) {
  SetTextColor(dc, ColorRef(child.FontColor()));
  if (child.Transparent() || child.Kind() == ControlKind::Button) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(BackBrush(child.Kind() == ControlKind::Button
                                                   ? *child.Parent() : child));
  }
  SetBkColor(dc, ColorRef(child.GetColor()));
  return reinterpret_cast<LRESULT>(OwnBrush(child));
}

void FillBackground(Control& control, HDC dc) {
  RECT rc;
  GetClientRect(Hwnd(control), &rc);
  FillRect(dc, &rc, BackBrush(control));
}

// Messages of our own window classes. True when answered in `result`.
bool HandleMessage(Control& c, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  result = 0;
  bool is_form = c.Kind() == ControlKind::Form;
  switch (msg) {
    case WM_ERASEBKGND:
      FillBackground(c, reinterpret_cast<HDC>(wp));
      result = 1;
      return true;
    case WM_PAINT: {
      if (is_form) return false;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (c.Kind() == ControlKind::PaintBox) {
        Canvas canvas(dc);
        static_cast<PaintBox&>(c).DoPaint(canvas);
      } else if (c.Kind() == ControlKind::Panel &&
                 static_cast<Panel&>(c).GetEdge() == Panel::Edge::Raised) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        DrawEdge(dc, &rc, EDGE_RAISED, BF_RECT);
      }
      EndPaint(hwnd, &ps);
      return true;
    }
    case WM_COMMAND:
      if (Control* child = lp ? FromHwnd(reinterpret_cast<HWND>(lp)) : nullptr)
        ChildCommand(*child, HIWORD(wp));
      return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      if (Control* child = FromHwnd(reinterpret_cast<HWND>(lp))) {
        result = ChildColors(reinterpret_cast<HDC>(wp), *child);
        return true;
      }
      return false;
    case WM_SETCURSOR: {
      Control* target = FromHwnd(reinterpret_cast<HWND>(wp));
      if (!target || target->GetCursor() != Cursor::Hand || LOWORD(lp) != HTCLIENT) return false;
      SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
      result = TRUE;
      return true;
    }
    case WM_SIZE:
      if (c.Kind() != ControlKind::Browser || !c.peer_) return false;
      BrowserHostResize(c.peer_->browser, LOWORD(lp), HIWORD(lp));
      return true;
    default:
      break;
  }
  if (!is_form) return false;
  auto& form = static_cast<Form&>(c);
  switch (msg) {
    case WM_CLOSE:
      form.DoCloseRequest();  // never DefWindowProc: the objects decide
      return true;
    // As dialog windows do: the control that had the focus when the window
    // lost activation gets it back when the window is activated again.
    // Otherwise the focus sits on the window itself, and Enter and the
    // page's keys go nowhere.
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) c.peer_->last_focus = focus;
        return false;
      }
      if (HIWORD(wp)) return false;  // activated while minimised
      [[fallthrough]];
    case WM_SETFOCUS: {
      HWND last = c.peer_->last_focus;
      if (!last || !IsWindow(last) || !IsChild(hwnd, last) || !IsWindowVisible(last) ||
          !IsWindowEnabled(last))
        return false;
      SetFocus(last);
      return true;
    }
    case WM_WINDOWPOSCHANGED:
      if (!g_echo_off && !IsIconic(hwnd)) {
        RECT r;
        GetWindowRect(hwnd, &r);
        form.PeerBoundsChanged(Rect{r.left, r.top, r.right, r.bottom});
      }
      return false;
    case WM_GETMINMAXINFO:
      if (form.FixedSize()) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize = POINT{form.Width(), form.Height()};
        info->ptMaxTrackSize = info->ptMinTrackSize;
        return true;
      }
      return false;
    case WM_NCHITTEST:
      result = DefWindowProcW(hwnd, msg, wp, lp);
      if (form.FixedSize() && result >= HTLEFT && result <= HTBOTTOMRIGHT) result = HTNOWHERE;
      return true;
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
      result = DefWindowProcW(hwnd, msg, wp, lp);
      GreySizeCommand(form, hwnd);
      return true;
    case WM_SYSCOMMAND:
      return form.FixedSize() && (wp & 0xFFF0) == SC_SIZE;
    case kTrayMessage:
      for (TrayIcon* icon : g_trays)
        if (&icon->OwnerForm() == &form && icon->peer_->tray_id == wp) {
          icon->DoMouse(LOWORD(lp));
          break;
        }
      return true;
    default:
      break;
  }
  if (msg == g_taskbar_created && msg != 0) {
    std::vector<TrayIcon*> icons = g_trays;
    for (TrayIcon* icon : icons)
      if (&icon->OwnerForm() == &form) icon->DoTaskbarCreated();
    return true;
  }
  return false;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* c = static_cast<Control*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetPropW(hwnd, kControlProp, c);
    c->peer_->hwnd = hwnd;
  }
  Control* c = FromHwnd(hwnd);
  if (msg == WM_NCDESTROY) {
    RemovePropW(hwnd, kControlProp);
    if (c && c->peer_) c->peer_->hwnd = nullptr;
    c = nullptr;
  }
  if (c) {
    try {
      LRESULT result;
      if (HandleMessage(*c, hwnd, msg, wp, lp, result)) return result;
    } catch (...) {
      return 0;  // nothing crosses into the system
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterOnce(const wchar_t* name) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(Instance(), name, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = name;
  if (!g_taskbar_created) g_taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
  return RegisterClassExW(&wc) != 0;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  Timer* timer = nullptr;
  for (auto& [timer_id, t] : g_timers)
    if (timer_id == id) timer = t;
  if (!timer) return;  // a tick queued before the timer stopped
  try {
    timer->DoTick();
  } catch (...) {
  }
}

// Enter and Tab go to the objects before the focused window sees them;
// in a page they are the page's, for its links and fields.
// The wheel and the mouse's extra buttons go to the page's filter too.
bool PreTranslate(MSG& m) {
  const bool key = m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST;
  const bool mouse = m.message == WM_MOUSEWHEEL ||
                     (m.message >= WM_XBUTTONDOWN && m.message <= WM_XBUTTONDBLCLK);
  if (!key && !mouse) return false;
  Control* c = OwnerControl(m.hwnd);
  if (!c) return false;
  if (c->Kind() == ControlKind::Browser)
    return c->peer_ && BrowserHostMessage(c->peer_->browser, m);
  if (m.message != WM_KEYDOWN || (m.wParam != VK_RETURN && m.wParam != VK_TAB)) return false;
  if (m.wParam == VK_RETURN && c->Kind() == ControlKind::ComboBox &&
      SendMessageW(Hwnd(*c), CB_GETDROPPEDSTATE, 0, 0))
    return false;  // Enter closes the opened list
  try {
    return c->TopForm().HandleKey(*c, m.wParam == VK_RETURN ? Key::Enter : Key::Tab,
                                  GetKeyState(VK_SHIFT) < 0);
  } catch (...) {
    return true;
  }
}

// The first shown page of a form, if it has one.
Browser* ShownPage(Control& parent) {
  for (Control* child : parent.Children()) {
    if (!child->Visible()) continue;
    if (child->Kind() == ControlKind::Browser) return static_cast<Browser*>(child);
    if (Browser* page = ShownPage(*child)) return page;
  }
  return nullptr;
}

// A form that shows a page gives it the keyboard when it is shown, so that
// Tab, the arrows and Enter work in it before any click; a control that has
// the focus already keeps it.
void ActivatePage(Form& form, bool even_if_focused = false) {
  HWND hwnd = Hwnd(form), focus = GetFocus();
  if (!even_if_focused && focus && focus != hwnd && IsChild(hwnd, focus)) return;
  Browser* page = ShownPage(form);
  if (page && page->peer_) BrowserHostActivate(page->peer_->browser);
}

void Dispatch(MSG& m) {
  if (PreTranslate(m)) return;
  TranslateMessage(&m);
  DispatchMessageW(&m);
}

}  // namespace

namespace backend {

void CreatePeer(Control& control) {
  control.peer_ = new Peer;
  const Rect& b = control.Bounds();
  HWND parent = control.Parent() ? Hwnd(*control.Parent()) : nullptr;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS, ex = 0;
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  std::wstring class_name;
  const wchar_t* cls = nullptr;
  switch (control.Kind()) {
    case ControlKind::Form: {
      auto& form = static_cast<Form&>(control);
      class_name = Wide(form.ClassName());
      cls = class_name.c_str();
      RegisterOnce(cls);
      style = FormStyle(form);  // made hidden; showing is a step of its own
      ex = FormExStyle(form);
      break;
    }
    case ControlKind::Panel:
      RegisterOnce(kPanelClass);
      cls = kPanelClass;
      style |= WS_CLIPCHILDREN;
      break;
    case ControlKind::PaintBox:
      RegisterOnce(kPaintBoxClass);
      cls = kPaintBoxClass;
      break;
    case ControlKind::Browser:
      RegisterOnce(kBrowserClass);
      cls = kBrowserClass;
      style |= WS_CLIPCHILDREN;  // no border: the page reaches the edges
      break;
    case ControlKind::Label:
      cls = L"STATIC";
      style |= SS_NOTIFY | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case ControlKind::Edit: {
      auto& edit = static_cast<Edit&>(control);
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_LEFT | (edit.HorizontalScroll() ? ES_AUTOHSCROLL : 0) |
               (edit.Masked() ? ES_PASSWORD : 0);
      ex = WS_EX_CLIENTEDGE;
      break;
    }
    case ControlKind::ComboBox:
      cls = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST |
               (static_cast<ComboBox&>(control).IntegralHeight() ? 0 : CBS_NOINTEGRALHEIGHT);
      break;
    case ControlKind::Button:
      cls = L"BUTTON";
      style |= WS_TABSTOP |
               (static_cast<Button&>(control).IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
  }
  HWND hwnd = CreateWindowExW(ex, cls, Wide(control.Text()).c_str(), style, b.left, b.top,
                              b.Width(), b.Height(), parent, nullptr, Instance(), &control);
  if (!hwnd) return;  // no window: the object keeps working without one
  if (!control.peer_->hwnd) {  // a system class: no WM_NCCREATE of ours
    control.peer_->hwnd = hwnd;
    SetPropW(hwnd, kControlProp, &control);
  }
  switch (control.Kind()) {
    case ControlKind::Form: {
      auto& form = static_cast<Form&>(control);
      ApplyIcon(form);
      ApplyRegion(form);
      GreySizeCommand(form, hwnd);
      break;
    }
    case ControlKind::Label:
    case ControlKind::Edit:
    case ControlKind::Button:
      ApplyFont(control);
      break;
    case ControlKind::ComboBox:
      ApplyFont(control);
      ApplyItems(static_cast<ComboBox&>(control));
      PlaceWindow(control);
      break;
    case ControlKind::Browser: {
      // Without the control the window stays, empty; the object reports
      // failures from then on.
      auto& browser = static_cast<Browser&>(control);
      control.peer_->browser = BrowserHostCreate(hwnd, browser);
      if (browser.Silent()) BrowserHostSetSilent(control.peer_->browser, true);
      break;
    }
    default:
      break;
  }
}

void DestroyPeer(Control& control) {
  Peer* p = control.peer_;
  BrowserHostDestroy(p->browser);  // while its window is still there
  if (p->hwnd) {
    RemovePropW(p->hwnd, kControlProp);
    DestroyWindow(p->hwnd);
  }
  if (p->font) DeleteObject(p->font);
  if (p->brush) DeleteObject(p->brush);
  if (p->icon_big) DestroyIcon(p->icon_big);
  if (p->icon_small) DestroyIcon(p->icon_small);
  delete p;
  control.peer_ = nullptr;
}

void Sync(Control& control, Change what) {
  HWND hwnd = Hwnd(control);
  if (!hwnd) return;
  bool is_form = control.Kind() == ControlKind::Form;
  switch (what) {
    case Change::Bounds:
      PlaceWindow(control);
      break;
    case Change::Visible: {
      HWND focus = GetFocus();
      bool had_focus = focus && (focus == hwnd || IsChild(hwnd, focus));
      ShowWindow(hwnd, !control.Visible() ? SW_HIDE : is_form ? SW_SHOW : SW_SHOWNA);
      if (is_form && control.Visible()) {
        ActivatePage(static_cast<Form&>(control));
      } else if (!is_form && had_focus && !control.Visible() &&
                 IsWindowVisible(Hwnd(control.TopForm()))) {
        // The focus went to the parent panel, where no key does anything:
        // a page goes back to being the keyboard's.
        ActivatePage(control.TopForm(), true);
      }
      break;
    }
    case Change::Enabled:
      EnableWindow(hwnd, control.Enabled());
      break;
    case Change::Text: {
      EchoOff quiet;
      // A browser's text is the URL it was sent to, in the system's terms.
      std::wstring text = control.Kind() == ControlKind::Browser ? BrowserUrlToWide(control.Text())
                                                                 : Wide(control.Text());
      SetWindowTextW(hwnd, text.c_str());
      break;
    }
    case Change::Font:
      if (!is_form && control.Kind() != ControlKind::Panel &&
          control.Kind() != ControlKind::PaintBox && control.Kind() != ControlKind::Browser)
        ApplyFont(control);
      break;
    case Change::Colors:
      if (control.peer_->brush) DeleteObject(control.peer_->brush);
      control.peer_->brush = nullptr;
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case Change::ZOrder:
      if (control.Parent()) ApplyZOrder(*control.Parent());
      break;
    case Change::Style:
      if (is_form)
        ApplyStyle(static_cast<Form&>(control));
      else
        InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case Change::Icon:
      ApplyIcon(static_cast<Form&>(control));
      break;
    case Change::Region:
      ApplyRegion(static_cast<Form&>(control));
      break;
    case Change::Items:
      ApplyItems(static_cast<ComboBox&>(control));
      PlaceWindow(control);
      break;
    case Change::ItemIndex:
      SendMessageW(hwnd, CB_SETCURSEL,
                   static_cast<WPARAM>(static_cast<ComboBox&>(control).ItemIndex()), 0);
      break;
    case Change::Masked:
      SendMessageW(hwnd, EM_SETPASSWORDCHAR, static_cast<Edit&>(control).Masked() ? L'*' : 0, 0);
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case Change::Default:
      SendMessageW(hwnd, BM_SETSTYLE,
                   static_cast<Button&>(control).IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                   TRUE);
      break;
    case Change::Cursor:
      break;  // asked for at each WM_SETCURSOR
  }
}

WindowHandle HandleOf(const Control& control) {
  return reinterpret_cast<WindowHandle>(Hwnd(control));
}

Size MeasureText(const Font& font, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HFONT hfont = MakeFont(font);
  HGDIOBJ old = SelectObject(dc, hfont);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SIZE size{0, tm.tmHeight};
  std::wstring wide = Wide(text);
  if (!wide.empty()) GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc, old);
  DeleteObject(hfont);
  ReleaseDC(nullptr, dc);
  return {size.cx, size.cy};
}

Rect FrameInsets(const Form& form) {
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, FormStyle(form), FALSE, FormExStyle(form));
  return {-r.left, -r.top, r.right, r.bottom};
}

void Focus(Control& control) { SetFocus(Hwnd(control)); }

bool HasFocus(const Control& control) { return Hwnd(control) && GetFocus() == Hwnd(control); }

void RaiseNoActivate(Form& form) {
  EchoOff quiet;
  SetWindowPos(Hwnd(form), HWND_TOP, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

void PostClose(Form& form) { PostMessageW(Hwnd(form), WM_CLOSE, 0, 0); }

void Invalidate(Control& control) { InvalidateRect(Hwnd(control), nullptr, TRUE); }

void DrawIconResource(Canvas& canvas, const std::string& resource, int load_width,
                      int load_height, int x, int y) {
  HICON icon = LoadIconResource(resource, load_width, load_height, LR_DEFAULTSIZE);
  if (!icon) return;
  DrawIconEx(static_cast<HDC>(canvas.Context()), x, y, icon, 0, 0, 0, nullptr,
             DI_NORMAL | DI_COMPAT);
  DestroyIcon(icon);
}

void TimerArm(Timer& timer) {
  TimerDisarm(timer);
  timer.peer_ = new Peer;
  timer.peer_->timer = SetTimer(nullptr, 0, timer.Interval(), TimerProc);
  g_timers.push_back({timer.peer_->timer, &timer});
}

void TimerDisarm(Timer& timer) {
  if (!timer.peer_) return;
  UINT_PTR id = timer.peer_->timer;
  KillTimer(nullptr, id);
  for (size_t i = 0; i < g_timers.size(); ++i)
    if (g_timers[i].first == id) g_timers.erase(g_timers.begin() + i--);
  delete timer.peer_;
  timer.peer_ = nullptr;
}

namespace {

// Window timers of the icons' owner forms, one per icon, that add an icon
// again while the taskbar does not take it.
constexpr UINT_PTR kTrayRetryTimer = 0x7A00;
constexpr UINT kTrayRetryMs = 1000;

void CALLBACK TrayRetryTick(HWND hwnd, UINT, UINT_PTR id, DWORD) {
  for (TrayIcon* icon : g_trays)
    if (Hwnd(icon->OwnerForm()) == hwnd && kTrayRetryTimer + icon->peer_->tray_id == id) {
      backend::TraySync(*icon);
      return;
    }
  KillTimer(hwnd, id);  // its icon is gone
}

void TrayRetry(TrayIcon& icon, bool on) {
  Peer& p = *icon.peer_;
  HWND owner = Hwnd(icon.OwnerForm());
  if (on == p.tray_retrying || !owner) return;
  if (on)
    SetTimer(owner, kTrayRetryTimer + p.tray_id, kTrayRetryMs, TrayRetryTick);
  else
    KillTimer(owner, kTrayRetryTimer + p.tray_id);
  p.tray_retrying = on;
}

NOTIFYICONDATAW TrayData(TrayIcon& icon) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = Hwnd(icon.OwnerForm());
  data.uID = icon.peer_->tray_id;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon.peer_->icon_small;
  Wide(icon.Tip()).copy(data.szTip, sizeof data.szTip / sizeof data.szTip[0] - 1);
  return data;
}

}  // namespace

void TraySync(TrayIcon& icon) {
  static UINT next_id = 1;
  if (!icon.peer_) {
    icon.peer_ = new Peer;
    icon.peer_->tray_id = next_id++;
    g_trays.push_back(&icon);
  }
  Peer& p = *icon.peer_;
  if (p.icon_name != icon.Icon()) {
    if (p.icon_small) DestroyIcon(p.icon_small);
    p.icon_small = LoadIconResource(icon.Icon(), 16, 16, 0);
    p.icon_name = icon.Icon();
  }
  NOTIFYICONDATAW data = TrayData(icon);
  if (icon.Active() && p.icon_small && data.hWnd) {
    bool shown = p.tray_added && Shell_NotifyIconW(NIM_MODIFY, &data);
    if (!shown) {
      // At logon the agent may start before the taskbar is ready: an add
      // fails, or times out and is taken all the same. An icon that is there
      // answers a change; one that is not is asked for again until the
      // taskbar takes it.
      p.tray_asked = true;
      shown = Shell_NotifyIconW(NIM_ADD, &data) || Shell_NotifyIconW(NIM_MODIFY, &data);
    }
    p.tray_added = shown;
    TrayRetry(icon, !shown);
  } else {
    TrayRetry(icon, false);
    if (p.tray_added || p.tray_asked) Shell_NotifyIconW(NIM_DELETE, &data);
    p.tray_added = p.tray_asked = false;
  }
}

void TrayRemove(TrayIcon& icon) {
  if (!icon.peer_) return;
  TrayRetry(icon, false);
  // Also after an add that seemed to fail: it may have been taken late, and
  // an icon left behind stays in the taskbar until the mouse passes over it.
  if (icon.peer_->tray_added || icon.peer_->tray_asked) {
    NOTIFYICONDATAW data = TrayData(icon);
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  for (size_t i = 0; i < g_trays.size(); ++i)
    if (g_trays[i] == &icon) g_trays.erase(g_trays.begin() + i--);
  if (icon.peer_->icon_small) DestroyIcon(icon.peer_->icon_small);
  delete icon.peer_;
  icon.peer_ = nullptr;
}

void TrayLost(TrayIcon& icon) {
  if (icon.peer_) icon.peer_->tray_added = false;
}

bool BrowserHasControl(const Browser& browser) { return browser.peer_->browser != nullptr; }

void BrowserSetSilent(Browser& browser) {
  BrowserHostSetSilent(browser.peer_->browser, browser.Silent());
}

bool BrowserNavigate(Browser& browser, const std::string& url) {
  return BrowserHostNavigate(browser.peer_->browser, url);
}

std::string BrowserLocation(const Browser& browser) {
  return BrowserHostLocation(browser.peer_->browser);
}

bool BrowserSetElementHtml(Browser& browser, const std::string& id, const std::string& html) {
  return BrowserHostSetElementHtml(browser.peer_->browser, id, html);
}

int MenuTrack(PopupMenu& menu, Point at) {
  HWND owner = Hwnd(menu.OwnerForm());
  if (!owner) return -1;
  HMENU hmenu = CreatePopupMenu();
  const std::vector<MenuItem>& items = menu.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].IsSeparator())
      AppendMenuW(hmenu, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuW(hmenu, MF_STRING, i + 1, Wide(items[i].text).c_str());
    if (items[i].is_default) SetMenuDefaultItem(hmenu, static_cast<UINT>(i), TRUE);
  }
  // The menu closes on a click elsewhere only while its owner is the
  // foreground window, and a hidden window cannot be that: show it out of
  // sight for the menu's time.
  bool hidden = !IsWindowVisible(owner);
  RECT saved;
  GetWindowRect(owner, &saved);
  if (hidden) {
    EchoOff quiet;
    SetWindowPos(owner, nullptr, -32000, -32000, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  ::SetForegroundWindow(owner);
  int chosen = TrackPopupMenu(hmenu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y,
                              0, owner, nullptr);
  PostMessageW(owner, WM_NULL, 0, 0);  // so that the next menu opens and closes properly
  // Timers tick inside the menu's loop: the news may have shown the window
  // meanwhile, and then it stays where the news put it.
  if (hidden && !menu.OwnerForm().Visible()) {
    EchoOff quiet;
    SetWindowPos(owner, nullptr, saved.left, saved.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  }
  DestroyMenu(hmenu);
  return chosen - 1;
}

}  // namespace backend

void RunMessageLoop() {
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) Dispatch(m);
}

void ProcessMessages() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));  // for the loop that waits for it
      return;
    }
    Dispatch(m);
  }
}

void PostQuit(int exit_code) { PostQuitMessage(exit_code); }

Size ScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

// The primary monitor's corner is the origin of the desktop's coordinates.
Point ScreenOrigin() { return {0, 0}; }

Rect WorkArea() {
  RECT r{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return {r.left, r.top, r.right, r.bottom};
}

Point CursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

void ReleaseMouseCapture() { ReleaseCapture(); }

WindowHandle ForegroundWindow() { return reinterpret_cast<WindowHandle>(GetForegroundWindow()); }

void SetForegroundWindow(WindowHandle window) {
  ::SetForegroundWindow(reinterpret_cast<HWND>(window));
}

WindowHandle FindTopLevelWindow(const std::string& class_name) {
  return reinterpret_cast<WindowHandle>(FindWindowA(class_name.c_str(), nullptr));
}

std::uint32_t SystemColorRgb(int index) { return GetSysColor(index); }

}  // namespace lum
