// The install question on Linux: a dialog in the desktop build, none in the
// build without a screen. Where no dialog can be shown the answer is No, and
// the reason goes to standard error: unlike on Windows, a question nobody
// could see must not install anything.
#pragma once

#include <string>

namespace lum::posix {

// IDYES (6) or IDNO (7).
int AskQuestion(const std::string& text, const std::string& caption);

// What standard error is told when the question cannot be shown.
void SayQuestionUnseen();

}  // namespace lum::posix
