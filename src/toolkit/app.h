// The process's side of the window system: message loop, screen, foreground
// window, other processes' windows, system colours.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/types.h"

namespace lum {

class Form;

// The form whose accepted close ends the message loop.
void SetMainForm(Form* form);
Form* MainForm();

void RunMessageLoop();          // until the quit message
void ProcessMessages();         // what is waiting, then return
void PostQuit(int exit_code = 0);

Size ScreenSize();
Point ScreenOrigin();            // the primary screen's corner on the desktop
Rect WorkArea();                // the screen less the taskbar
Point CursorPos();              // screen coordinates
void ReleaseMouseCapture();

WindowHandle ForegroundWindow();
void SetForegroundWindow(WindowHandle window);
// A top-level window of any process by its class name; 0 when none.
WindowHandle FindTopLevelWindow(const std::string& class_name);
// Finds it and brings it to the foreground; false when there is none.
bool RaiseTopLevelWindow(const std::string& class_name);

// A system colour's current RGB value (red lowest), by index.
std::uint32_t SystemColorRgb(int index);

}  // namespace lum
