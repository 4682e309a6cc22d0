// What the gtk backend asks of the X window manager directly: the size of
// the frame it puts around a window, and the user's time for a window that
// comes forward at the user's request. Without X (or without a window
// manager) each answers "unknown" and the caller goes on as before.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "toolkit/types.h"

namespace lum::gtk {

// Whether a window manager runs that tells frame sizes on request.
bool FramesOnRequest();

// The frame the window manager has put, or will put, around the window
// (left, top, right, bottom widths in the Rect's fields); false while it has
// not said.
bool ReadFrameExtents(GtkWidget* window, Rect* extents);

// Asks the window manager for the frame of a window not yet shown (realizing
// it) and waits at most wait_ms for the answer.
bool RequestFrameExtents(GtkWidget* window, int wait_ms, Rect* extents);

// Whether a property change of the window is the frame's.
bool IsFrameExtentsEvent(GdkEventProperty* event);

// GTK has opened its display: GDK may be asked from now on.
void NoteDisplayOpen();

// The user's act this process is handling: before the display is open, the
// startup id it was started with; after, "_TIME<t>" of the user's event being
// handled. Empty when there is none.
std::string ActivationToken();
// The startup id this process was started with, for a process that ends
// without showing a window; else as ActivationToken.
std::string StartupToken();
// "_TIME<t>" of the user's event being handled, else empty.
std::string UserEventToken();

// Brings a window forward as the user's own act: with the time or the
// startup id in `token` (as ActivationToken gives), so that the window
// manager's focus-stealing prevention lets the window have the focus.
void PresentWithToken(GtkWindow* window, const std::string& token);

}  // namespace lum::gtk
