#include "net/text_ops.h"

#include <gtest/gtest.h>

#include <random>

namespace lum {
namespace {

// The rule as stated: replace the first occurrence, search again from the
// start. Quadratic, and the yardstick for the fast version.
std::string LiteralReplaceAll(const std::string& old_text, const std::string& new_text,
                              std::string text) {
  if (old_text.empty()) return text;
  for (size_t at; (at = text.find(old_text)) != std::string::npos;) {
    text.replace(at, old_text.size(), new_text);
  }
  return text;
}

TEST(TextOps, TextFromKeepsMarkerAndFallsBackToWholeText) {
  EXPECT_EQ(TextFrom("cd", "abcdecd"), "cdecd");
  EXPECT_EQ(TextFrom("zz", "abc"), "abc");
  EXPECT_EQ(TextFrom("", "abc"), "abc");
  EXPECT_EQ(TextFrom("a", ""), "");
}

TEST(TextOps, TextAfterMissingMarkerDropsMarkerLengthLessOne) {
  EXPECT_EQ(TextAfter("p_chksum=", "p_chksum=ABC\"x"), "ABC\"x");
  // 9-character marker missing from an 11-character text: the last 3 remain.
  EXPECT_EQ(TextAfter("p_chksum=", "hello world"), "rld");
  // A one-character marker that does not occur gives the whole text.
  EXPECT_EQ(TextAfter("#", "hello"), "hello");
  EXPECT_EQ(TextAfter("", "hello"), "hello");
  // Marker at the very end, and a missing marker longer than the text.
  EXPECT_EQ(TextAfter("lo", "hello"), "");
  EXPECT_EQ(TextAfter("abcdefgh", "abc"), "");
  EXPECT_EQ(TextAfter("x", ""), "");
}

TEST(TextOps, TextBeforeIsEmptyWhenMissingOrFirst) {
  EXPECT_EQ(TextBefore("\"", "ABC\"def\""), "ABC");
  EXPECT_EQ(TextBefore("q", "abc"), "");
  EXPECT_EQ(TextBefore("a", "abc"), "");
  EXPECT_EQ(TextBefore("", "abc"), "");
}

TEST(TextOps, SearchesAreCaseSensitiveBytes) {
  EXPECT_EQ(TextFrom("Тариф", "тариф Тариф"), "Тариф");
  EXPECT_EQ(TextBefore("B", "abB"), "ab");
}

TEST(TextOps, CutWithEllipsis) {
  EXPECT_EQ(CutWithEllipsis("abcdef", 4), "abcd\x85");
  EXPECT_EQ(CutWithEllipsis("abcd", 4), "abcd");
  EXPECT_EQ(CutWithEllipsis("", 0), "");
  std::string title44(44, 'x');
  EXPECT_EQ(CutWithEllipsis(title44, 44), title44);
  EXPECT_EQ(CutWithEllipsis(title44 + "y", 44), title44 + "…");
}

TEST(TextOps, ReplaceAllSearchesAgainFromTheStart) {
  EXPECT_EQ(ReplaceAll({"ab", ""}, "aabb"), "");
  EXPECT_EQ(ReplaceAll({"=", "%3D"}, "a=b=c"), "a%3Db%3Dc");
  EXPECT_EQ(ReplaceAll({"\n", ""}, "a\r\nb\r\n"), "a\rb\r");
  EXPECT_EQ(ReplaceAll({"", "x"}, "abc"), "abc");
  EXPECT_EQ(ReplaceAll({"abc", "x"}, ""), "");
  EXPECT_EQ(ReplaceAll({"<![CDATA[", ""}, "<![CDATA[Новость]]>"), "Новость]]>");
  // A replacement that completes a match with the text before it.
  EXPECT_EQ(ReplaceAll({"ab", "b"}, "aab"), "b");
  EXPECT_EQ(ReplaceAll({"aba", "b"}, "ababa"), "bba");
}

// Pairs for which searching again might not end are refused before any text
// is seen; the program's own pairs are checked by the compiler (a refused
// literal pair does not build).
TEST(TextOps, ReplacementRefusesPairsWhoseRuleMightNotEnd) {
  static_assert(ReplacementEnds("\n", "") && ReplacementEnds("=", "%3D") &&
                ReplacementEnds(" Мб", "") && ReplacementEnds("<![CDATA[", ""));
  EXPECT_FALSE(Replacement::Checked("ab", "bbaa"));  // never ends on "abb"
  EXPECT_FALSE(Replacement::Checked("ab", "bba"));   // doubles the text per "a"
  EXPECT_FALSE(Replacement::Checked("a", "aa"));     // holds the old text
  EXPECT_FALSE(Replacement::Checked("x", "xyx"));
  EXPECT_FALSE(Replacement::Checked("ba", "ab"));    // ends, but after n^2 steps
  ASSERT_TRUE(Replacement::Checked("ab", "b"));
  ASSERT_TRUE(Replacement::Checked("a", "bc"));
  EXPECT_EQ(ReplaceAll(*Replacement::Checked("a", "bc"), "aba"), "bcbbc");
}

TEST(TextOps, ReplaceAllMatchesTheLiteralRuleOnRandomTexts) {
  std::mt19937 rng(20261208);
  const std::string alphabets[] = {"ab", "abc"};
  int compared = 0;
  for (const std::string& alphabet : alphabets) {
    std::uniform_int_distribution<size_t> letter(0, alphabet.size() - 1);
    auto random_text = [&](size_t max_len) {
      std::string s(std::uniform_int_distribution<size_t>(0, max_len)(rng), ' ');
      for (char& c : s) c = alphabet[letter(rng)];
      return s;
    };
    for (int i = 0; i < 40000; ++i) {
      std::string old_text = random_text(3);
      std::string new_text = random_text(3);
      std::optional<Replacement> pair = Replacement::Checked(old_text, new_text);
      if (old_text.empty() || !pair) continue;
      std::string text = random_text(14);
      ASSERT_EQ(ReplaceAll(*pair, text), LiteralReplaceAll(old_text, new_text, text))
          << "old=" << old_text << " new=" << new_text << " text=" << text;
      ++compared;
    }
  }
  EXPECT_GT(compared, 20000);
}

}  // namespace
}  // namespace lum
