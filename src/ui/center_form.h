// The record of every window object of a process, and how the set is built
// and turned into the centre window or the agent's popup.
#pragma once

#include <string>

#include "toolkit/toolkit.h"

namespace lum {


struct CenterForm {
  lum::Form* MainForm = nullptr;
  lum::TrayIcon* TrayIcon = nullptr;
  lum::Panel* ClientPanel = nullptr;
  lum::Timer* StatisticsTimer = nullptr;
  lum::Panel* SettingsPage = nullptr;
  lum::Button* OkButton = nullptr;
  lum::Label* LoginLabel = nullptr;
  lum::Label* PasswordLabel = nullptr;
  lum::Edit* LoginEdit = nullptr;
  lum::Edit* PasswordEdit = nullptr;
  lum::Label* RouterPasswordLabel = nullptr;
  lum::Label* RouterModelLabel = nullptr;
  lum::ComboBox* RouterModelCombo = nullptr;
  lum::Edit* RouterPasswordEdit = nullptr;
  lum::Label* PasswordHint = nullptr;
  lum::Label* CredentialsHeading = nullptr;
  lum::Label* RouterHeading = nullptr;
  lum::Panel* NewsPanel = nullptr;
  lum::PaintBox* NewsIcon = nullptr;
  lum::Label* HeadingLabel = nullptr;
  lum::Label* ItemLabel1 = nullptr;
  lum::Label* CloseGlyph = nullptr;
  lum::Timer* NewsTimer = nullptr;
  lum::PopupMenu* TrayMenu = nullptr;
  lum::Label* ItemLabel2 = nullptr;
  lum::Browser* PageHost = nullptr;  // centre only
};

constexpr char kCentreTitle[] = "Центр Lumora Верескинск";

// Builds the whole set in its order. Returns null when another window of
// this run mode exists: it was raised, and this process is to end without
// a window of its own. The record belongs to MainForm.
CenterForm* BuildWindows();

// The close-request handler of MainForm: outside the agent the extracted
// help file goes; the close is always accepted.
void FormClosing(CenterForm& form, Form& sender, bool& accept);

// One centre and one agent per desktop; a centre makes sure an agent runs.
// False when this process should end at once.
bool SingleInstanceCheck(CenterForm& form);

// False when the centre cannot show its page and is to end.
bool ApplyRunMode(CenterForm& form);
void ApplyAgentMode(CenterForm& form);

// The agent's tray icon and menu.
void TrayMouse(CenterForm& form, TrayIcon& icon, int message);
void ExitAgent(CenterForm& form);
void PaintNewsIcon(CenterForm& form, PaintBox& box, Canvas& canvas);

// The settings page's OK: stores what the page holds, hides it, reloads the
// page on screen.
void SaveCredentials(CenterForm& form);

// Runs the centre or the agent: builds the windows and the message loop.
int RunWindows();

}  // namespace lum
