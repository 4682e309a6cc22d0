#include <cstdio>

#include "net/codepage.h"
#include "platform/posix/question.h"

namespace lum::posix {

void SayQuestionUnseen() {
  std::string why = Cp1251ToUtf8(
      "Центр Lumora: вопрос об установке показать негде (нет экрана); ничего не установлено.\n");
  std::fputs(why.c_str(), stderr);
}

}  // namespace lum::posix
