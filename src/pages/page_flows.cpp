#include "pages/page_flows.h"

#include "app/run_mode.h"
#include "billing/billing.h"
#include "install/process_helpers.h"
#include "net/servers.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "ui/center_form.h"

namespace lum {

const char kLoadingPage[] =
    "about:<html><body scroll=\"no\" style=\"background:ButtonFace;color:ButtonText;border:none;"
    "font-family:tahoma;font-size:8pt;\"><center>Загрузка...</center></body></html>";

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

void Navigate(CenterForm& form, const std::string& url) {
  // A failure of the control changes nothing; it never ends the program.
  if (form.PageHost) form.PageHost->Navigate(url);
}

// Writes the help file from the program's resource; false when no file is
// there afterwards.
bool WriteHelpFile(const std::string& chm) {
  Os().RemoveFile(chm);
  if (auto file = Os().CreateFileForWrite(chm)) {
    file->Write(Os().ProgramResource("CHM"));
    file->Close();
  }
  return FileExists(chm);
}

void StartMsHta(const char* path) {
  Os().WinExec("MsHta.exe \"" + ServerRoot(MakerServer()) + path + "\"", kShowNormal);
}

}  // namespace

std::string HelpFileUrl(const std::string& chm_path) {
  return "mk:@MSITStore:" + chm_path + "::/index.htm";
}

bool OpenStartPage(CenterForm& form) {
  Browser& host = Make<Browser>(*form.ClientPanel);
  form.PageHost = &host;
  host.SetEnabled(true);
  host.SetSilent(true);
  host.SetAlign(Align::Client);
  host.OnBeforeNavigate = Bind<DispatchLink>(form);
  // No page can be shown without the control: the start ends as it does
  // without the help file, silently.
  if (!host.HasControl()) return false;
  Navigate(form, kLoadingPage);
  std::string url = OwnFolder(OwnPath()) + "Html\\index.htm";
  if (!FileExists(url)) {
    const std::string chm = Os().TempFolder() + "Temp.chm";
    if (!WriteHelpFile(chm)) return false;
    url = HelpFileUrl(chm);
  }
  Navigate(form, url);
  return true;
}

void ReloadPage(CenterForm& form) {
  if (form.PageHost) Navigate(form, form.PageHost->LocationUrl());
}

void SetElementHtml(CenterForm& form, const std::string& id, const std::string& html) {
  if (form.PageHost) form.PageHost->SetElementHtml(id, html);
}

void RunStatusTool(CenterForm&, std::string& text) {
  if (RouterModelIndex == 0) {
    text = "spec:conf";
    return;
  }
  Os().SetCurrentFolder(OwnFolder(OwnPath()));
  Os().WinExec("\"..\\Quorvel\\Tarvik.exe\" /status", kShowNormal);
  Os().WinExec("\"Tarvik.exe\" /status", kShowNormal);
}

void ShowSettingsPage(CenterForm& form) {
  Panel& page = *form.SettingsPage;
  Size client = form.MainForm->ClientSize();
  page.Show();
  page.BringToFront();
  page.SetEdge(Panel::Edge::None);
  page.SetSize(client.width, client.height - 64);
  page.SetPosition(0, 64);
  form.LoginEdit->SetText(Login);
  form.PasswordEdit->SetText(Password);
  bool known = RouterModelIndex >= 0 && RouterModelIndex < 6;
  form.RouterModelCombo->SetItemIndex(known ? RouterModelIndex : -1);
  form.RouterPasswordEdit->SetText(RouterPassword);
  form.LoginEdit->SetFocus();
}

void OpenBillingHomePage(CenterForm& form) {
  ShellRun(BillingHomePageAddress(Login, Password), form.MainForm->Handle());
}

void DispatchLink(CenterForm& form, Browser&, const std::string& url, bool& cancel) {
  std::string text = url;
  if (StartsWith(text, "http://") || StartsWith(text, "ftp://")) {
    cancel = true;
    ShellRun(text, form.MainForm->Handle());
  }
  if (text == "spec:wizstat") RunStatusTool(form, text);
  if (text == "spec:stat") form.StatisticsTimer->Start();
  if (text == "spec:stat-site") OpenBillingHomePage(form);
  if (text == "spec:conf") ShowSettingsPage(form);
  if (text == "spec:radio") StartMsHta("/new/radio?hta");
  if (text == "spec:soft-intro") StartMsHta("/files/disk/soft-intro.htm");
  // "spec:modem" and anything else: the navigation just goes on.
}

void ShowAccountStatistics(CenterForm& form) {
  form.StatisticsTimer->Stop();
  AccountStatistics stats = FetchAccountStatistics(Login, Password);
  SetElementHtml(form, "stat-1", stats.tariff);
  SetElementHtml(form, "stat-2", stats.traffic);
}

}  // namespace lum
