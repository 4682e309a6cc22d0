// The install question on Linux without a dialog to ask with: the answer is
// No (nothing is installed), and standard error says why. A failed question
// counts as Yes only on Windows.
#include <gtest/gtest.h>

#include "net/codepage.h"
#include "platform/os.h"

namespace lum {
namespace {

TEST(InstallQuestion, UnseenMeansNoAndSaysWhy) {
  testing::internal::CaptureStderr();
  int answer = NativeOs().AskYesNo("Установить?", "Центр Lumora");
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 7);
  EXPECT_NE(said.find(Cp1251ToUtf8("ничего не установлено")), std::string::npos) << said;
}

}  // namespace
}  // namespace lum
