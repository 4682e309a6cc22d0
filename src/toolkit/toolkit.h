// Every window object at once.
#pragma once

#include "toolkit/app.h"
#include "toolkit/browser.h"
#include "toolkit/control.h"
#include "toolkit/form.h"
#include "toolkit/popup_menu.h"
#include "toolkit/timer.h"
#include "toolkit/tray_icon.h"
