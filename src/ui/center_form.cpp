#include "ui/center_form.h"

#include "app/run_mode.h"
#include "install/installer.h"
#include "install/process_helpers.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"
#include "ui/news_popup.h"
#include "pages/page_flows.h"

namespace lum {

namespace {

Label& MakeLabel(Control& parent, int left, int top, const std::string& text) {
  Label& label = Make<Label>(parent);
  label.SetPosition(left, top);
  label.SetText(text);
  return label;
}

Edit& MakeEdit(Control& parent, int left, int top, int width, bool masked) {
  Edit& edit = Make<Edit>(parent);
  edit.SetBounds(left, top, width, 22);
  edit.SetMasked(masked);
  return edit;
}

void BuildSettingsPage(CenterForm& form) {
  Panel& page = Make<Panel>(*form.ClientPanel);
  form.SettingsPage = &page;
  page.SetEdge(Panel::Edge::Raised);
  page.SetBounds(8, 8, 553, 345);
  page.SetMargin(0);
  page.Hide();

  Font heading = page.GetFont();
  heading.bold = true;
  heading.height = 12;
  form.CredentialsHeading = &MakeLabel(page, 53, 21, "Имя пользователя и пароль для услуги Lumora");
  form.CredentialsHeading->SetFont(heading);
  form.LoginLabel = &MakeLabel(page, 53, 61, " Имя пользователя:");
  form.PasswordLabel = &MakeLabel(page, 53, 90, " Пароль:");
  form.PasswordHint = &MakeLabel(page, 317, 208, "по умолчанию пароль \"tokra\"");
  form.RouterHeading = &MakeLabel(page, 53, 141, "Модель и пароль роутера");
  form.RouterHeading->SetFont(heading);
  form.RouterModelLabel = &MakeLabel(page, 53, 181, "Модель роутера:");
  form.RouterPasswordLabel = &MakeLabel(page, 53, 208, "Пароль роутера:");

  form.LoginEdit = &MakeEdit(page, 165, 58, 297, false);
  form.LoginEdit->SetHorizontalScroll(true);
  form.PasswordEdit = &MakeEdit(page, 165, 87, 297, true);
  ComboBox& combo = Make<ComboBox>(page);
  combo.SetBounds(165, 178, 305, 22);
  combo.SetIntegralHeight(false);
  for (const char* model : RouterModels) combo.AddItem(model);
  combo.SetItemIndex(0);
  form.RouterModelCombo = &combo;
  form.RouterPasswordEdit = &MakeEdit(page, 165, 205, 145, true);
  form.RouterPasswordEdit->SetText(kDefaultRouterPassword);

  Button& ok = Make<Button>(page);
  ok.SetBounds(465, 309, 75, 24);
  ok.SetText("OK");
  form.OkButton = &ok;
}

}  // namespace

bool SingleInstanceCheck(CenterForm& form) {
  const bool agent = IsAgent(OwnFirstArgument());
  const char* window_class = agent ? kAgentWindowClass : kMainWindowClass;
  if (!agent && !FindTopLevelWindow(kAgentWindowClass)) {
    // Quoted: the installed path holds a blank ("Program Files").
    Os().WinExec(QuotedOwnPath() + " " + kAgentArgument, kShowNormal);
  }
  if (FindTopLevelWindow(window_class)) {
    RaiseTopLevelWindow(window_class);
    return false;
  }
  form.MainForm->SetClassName(window_class);
  LoadCredentials();
  return true;
}

void FormClosing(CenterForm& form, Form&, bool& accept) {
  if (!IsAgent(OwnFirstArgument())) {
    // The help protocol keeps the file open while the page host shows a page
    // of it, and the delete would fail: the page host goes first.
    delete form.PageHost;
    form.PageHost = nullptr;
    Os().RemoveFile(Os().TempFolder() + "Temp.chm");
  }
  accept = true;
}

CenterForm* BuildWindows() {
  auto* form = new CenterForm;
  Form* main = new Form(nullptr);
  form->MainForm = main;
  main->Adopt(form);
  main->SetText("...");
  main->SetPosition(196, 111);
  if (!SingleInstanceCheck(*form)) {
    delete main;
    return nullptr;
  }
  SetMainForm(main);
  main->SetMaximizeBox(false);
  main->SetClientSize(611, 432);
  main->SetIcon("APPICON");
  main->SetFont(Font{"MS Shell Dlg 2", 11, false});
  main->SetMargin(0);
  main->OnClose = Bind<FormClosing>(*form);

  form->StatisticsTimer = &Make<Timer>(*main, 100u);
  form->StatisticsTimer->OnTick = Bind<ShowAccountStatistics>(*form);
  form->TrayIcon = &Make<TrayIcon>(*main);
  form->TrayIcon->OnMouse = Bind<TrayMouse>(*form);
  form->NewsTimer = &Make<Timer>(*main, 5000u);
  form->NewsTimer->OnTick = Bind<NewsPoll>(*form);
  form->TrayMenu = &Make<PopupMenu>(*main);
  form->TrayMenu->Add("Открыть", Bind<OpenCentreFromMenu>(*form), true);
  form->TrayMenu->Add("Новости", Bind<ShowLatestNews>(*form));
  form->TrayMenu->Add("-");
  form->TrayMenu->Add("Выход", Bind<ExitAgent>(*form));

  form->ClientPanel = &Make<Panel>(*main);
  form->ClientPanel->SetAlign(Align::Client);
  form->ClientPanel->SetMargin(-2);

  BuildNewsPanel(*form);
  BuildSettingsPage(*form);

  for (Edit* edit : {form->LoginEdit, form->PasswordEdit, form->RouterPasswordEdit}) {
    edit->SetColor(SysColor(kColorWindow));
  }
  form->RouterModelCombo->SetColor(SysColor(kColorWindow));
  form->OkButton->OnClick = Bind<SaveCredentials>(*form);
  main->SetDefaultButton(form->OkButton);

  main->CenterOnScreen();
  main->Hide();
  main->CreateHandle();
  if (!ApplyRunMode(*form)) {
    delete main;
    return nullptr;
  }
  return form;
}

bool ApplyRunMode(CenterForm& form) {
  if (IsAgent(OwnFirstArgument())) {
    ApplyAgentMode(form);
    return true;
  }
  Form& main = *form.MainForm;
  main.Hide();
  main.SetClientSize(552, 404);
  main.SetFixedSize(true);
  if (!OpenStartPage(form)) return false;
  main.SetText(kCentreTitle);
  main.Show();
  main.CenterOnScreen();
  return true;
}

void ApplyAgentMode(CenterForm& form) {
  Form& main = *form.MainForm;
  main.Hide();
  main.SetTopmost(true);
  main.SetToolWindow(true);
  main.SetCaption(false);
  form.ClientPanel->SetColor(SysColor(kColor3DDkShadow));
  form.NewsPanel->Show();
  form.NewsPanel->SetPosition(1, 1);
  main.SetSize(form.NewsPanel->Width() + 2, form.NewsPanel->Height() + 2);
  main.SetRoundRegion(Rect{0, 0, main.Width() + 1, main.Height() + 1}, 3, 3);
  form.TrayIcon->SetIcon("RSSICON");
  form.TrayIcon->SetActive(true);
  form.TrayIcon->SetTip(kCentreTitle);
  LoadLastLink();
  form.NewsTimer->Start();
}

void TrayMouse(CenterForm& form, TrayIcon&, int message) {
  if (message == kMouseRightUp) {
    form.TrayMenu->Popup(CursorPos());
  } else if (message == kMouseLeftDoubleClick) {
    ReleaseMouseCapture();
    OpenCentre();
  }
}

void ExitAgent(CenterForm& form) { form.MainForm->PostClose(); }

void PaintNewsIcon(CenterForm&, PaintBox&, Canvas& canvas) {
  canvas.DrawIconResource("RSSICON", 48, 48, 0, 0);
}

void SaveCredentials(CenterForm& form) {
  StoreCredentials(form.RouterModelCombo->ItemIndex(), form.RouterPasswordEdit->Text(),
                   form.LoginEdit->Text(), form.PasswordEdit->Text());
  form.SettingsPage->Hide();
  ReloadPage(form);
}

int RunWindows() {
  Os().SetCurrentFolder(OwnFolder(OwnPath()));
  CenterForm* form = BuildWindows();
  if (!form) return 0;
  RunMessageLoop();
  delete form->MainForm;
  // The help protocol may hold the file a while after the page host has gone,
  // and then the delete at the close failed. Once more, now that nothing of
  // the window set is left.
  if (!IsAgent(OwnFirstArgument())) Os().RemoveFile(Os().TempFolder() + "Temp.chm");
  return 0;
}

}  // namespace lum
