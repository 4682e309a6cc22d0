// The install question of the desktop build: a GTK question dialog.
#include <gtk/gtk.h>

#include "net/codepage.h"
#include "platform/posix/question.h"

namespace lum::posix {

int AskQuestion(const std::string& text, const std::string& caption) {
  if (!gtk_init_check(nullptr, nullptr)) {
    SayQuestionUnseen();
    return 7;
  }
  std::string message = Cp1251ToUtf8(text);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                             GTK_BUTTONS_NONE, "%s", message.c_str());
  // The program speaks Russian whatever the desktop's language.
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), Cp1251ToUtf8("_Нет").c_str(), GTK_RESPONSE_NO,
                         Cp1251ToUtf8("_Да").c_str(), GTK_RESPONSE_YES, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
  gtk_window_set_title(GTK_WINDOW(dialog), Cp1251ToUtf8(caption).c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  // Closed without an answer is no Yes either.
  return response == GTK_RESPONSE_YES ? 6 : 7;
}

}  // namespace lum::posix
