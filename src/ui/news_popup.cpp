#include "ui/news_popup.h"

#include "install/process_helpers.h"
#include "news/news_feed.h"
#include "platform/os.h"
#include "settings/settings_file.h"
#include "ui/center_form.h"

namespace lum {

std::string LastLink;
std::string StoredLastLink;
std::string ChannelLink;
std::string SecondItemLink;

namespace {

Label& PopupLabel(CenterForm& form, int left, int top, const std::string& text) {
  Label& label = Make<Label>(*form.NewsPanel);
  label.SetPosition(left, top);
  label.SetText(text);
  label.SetCursor(Cursor::Hand);
  label.OnClick = Bind<NewsPopupClick>(form);
  return label;
}

void PlayNotification() {
  const std::string windows = Os().WindowsFolder();
  for (const char* name : {"\\Media\\Notify.wav", "\\Media\\Уведомление.wav"}) {
    if (FileExists(windows + name)) {
      Os().PlaySoundFile(windows + name);
      return;
    }
  }
}

void Announce(CenterForm& form, const std::string& link) {
  LastLink = link;
  StoredLastLink = IniValueAsRead(link);
  WindowHandle had_focus = ForegroundWindow();
  Form& popup = *form.MainForm;
  Rect area = WorkArea();
  popup.SetPosition(area.right - popup.Width() - 10, area.bottom - popup.Height() - 10);
  popup.Show();
  popup.RaiseNoActivate();
  SetForegroundWindow(had_focus);
  PlayNotification();
  WriteIniValue(SettingsFilePath(), "Settings", "lastlink", LastLink);
}

}  // namespace

void BuildNewsPanel(CenterForm& form) {
  Panel& panel = Make<Panel>(*form.ClientPanel);
  form.NewsPanel = &panel;
  panel.SetBounds(9, 361, 343, 63);
  panel.SetMargin(2);
  panel.Hide();
  panel.SetColor(SysColor(kColorInfoBk));

  Label& close = PopupLabel(form, 329, 2, "r");
  close.SetFont(Font{"Marlett", 12, false});
  close.SetFontColor(SysColor(kColor3DDkShadow));
  form.CloseGlyph = &close;
  form.ItemLabel1 = &PopupLabel(form, 68, 26, "1");
  form.ItemLabel1->SetAutoSize(false);
  form.ItemLabel1->SetSize(264, 14);
  form.ItemLabel2 = &PopupLabel(form, 68, 42, "2");
  form.ItemLabel2->SetAutoSize(false);
  form.ItemLabel2->SetSize(264, 14);
  Label& heading = PopupLabel(form, 64, 8, "Новости Lumora Верескинск");
  Font bold = heading.GetFont();
  bold.bold = true;
  heading.SetFont(bold);
  heading.SetTransparent(true);
  heading.SetFontColor(SysColor(kColorInfoText));
  form.HeadingLabel = &heading;
  PaintBox& icon = Make<PaintBox>(panel);
  icon.SetBounds(8, 8, 48, 48);
  icon.SetEnabled(false);
  icon.SetTransparent(true);
  icon.OnPaint = Bind<PaintNewsIcon>(form);
  form.NewsIcon = &icon;
}

void LoadLastLink() {
  LastLink = ReadIniValue(SettingsFilePath(), "Settings", "lastlink", "");
  StoredLastLink = LastLink;
}

void NewsPoll(CenterForm& form) {
  if (form.NewsTimer->Interval() < 30000) form.NewsTimer->SetInterval(kPollIntervalMs);
  if (form.MainForm->Visible()) return;
  NewsPollOutcome poll = PollNewsFeed(StoredLastLink);
  if (!poll.usable) return;
  form.ItemLabel1->SetText(poll.items.caption1);
  form.ItemLabel2->SetText(poll.items.caption2);
  ChannelLink = poll.items.channel_link;
  SecondItemLink = poll.items.link2;
  if (poll.announce) Announce(form, poll.items.link1);
}

void ShowLatestNews(CenterForm& form) {
  LastLink.clear();
  StoredLastLink.clear();
  NewsPoll(form);
}

bool IsWebLink(const std::string& link) {
  return link.compare(0, 7, "http://") == 0 || link.compare(0, 8, "https://") == 0;
}

void NewsPopupClick(CenterForm& form, Control& sender) {
  const std::string* link = nullptr;
  if (&sender == form.HeadingLabel) link = &ChannelLink;
  else if (&sender == form.ItemLabel1) link = &LastLink;
  else if (&sender == form.ItemLabel2) link = &SecondItemLink;
  if (!link) {
    form.MainForm->Hide();
    return;
  }
  if (IsWebLink(*link)) ShellRun(*link, form.MainForm->Handle());
}

void OpenCentreFromMenu(CenterForm&) { OpenCentre(); }

}  // namespace lum
