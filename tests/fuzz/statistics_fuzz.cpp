// The statistics path: ParseNumber, and the tariff and traffic figures cut
// from report pages, on any page and on pages made around known values.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "billing/billing.h"
#include "fuzz_support.h"
#include "net/text_ops.h"

namespace {

using lum::fuzz::Contains;
using lum::fuzz::Without;

constexpr char kTrafficLabel[] = "Входящий. Интернет, нелимитированный доступ";

bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

bool ReadsNumbers(char c) { return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E'; }

void CheckParseNumber(FuzzedDataProvider& in) {
  const std::string text = in.ConsumeRandomLengthString(64);
  const double value = lum::ParseNumber(text);
  // Characters that are not part of a number are skipped wherever they
  // stand, but for a "-" in front.
  // The exponent is read by ParseInteger, which skips nothing: noise goes
  // in before it.
  const char noise = in.ConsumeIntegral<char>();
  const size_t exponent = std::min(text.find_first_of("eE"), text.size());
  if (!ReadsNumbers(noise) && (exponent > 0 || text.empty())) {
    size_t at = in.ConsumeIntegralInRange<size_t>(text.empty() ? 0 : 1, exponent);
    if (at > 0 || noise != '-') {
      std::string noisy = text;
      noisy.insert(at, 1, noise);
      FUZZ_CHECK(Same(lum::ParseNumber(noisy), value));
    }
  }
  if (text.empty() || text[0] != '-') FUZZ_CHECK(Same(lum::ParseNumber("-" + text), -value));
  // A plain decimal of a few digits reads as the C library reads it.
  bool plain = !text.empty() && text.size() <= 15 && text.front() != '.' &&
               text.find_first_not_of("0123456789.") == std::string::npos &&
               text.find('.') == text.rfind('.');
  if (plain) {
    double expected = std::strtod(text.c_str(), nullptr);
    FUZZ_CHECK(std::fabs(value - expected) <= 1e-9 * std::fmax(1.0, std::fabs(expected)));
  }
}

// A traffic cell of a known number of megabytes gives the nearest whole
// gigabyte, an exact half going to the even neighbour.
void CheckKnownTraffic(FuzzedDataProvider& in) {
  const bool negative = in.ConsumeBool();
  const bool unit = in.ConsumeBool();
  const uint64_t megabytes = in.ConsumeIntegralInRange<uint64_t>(0, (uint64_t{1} << 53) - 1);
  // The label's first occurrence is the one placed below (it has no border,
  // so none can start in `before` and end in it).
  const std::string before =
      lum::ReplaceAll({kTrafficLabel, ""}, in.ConsumeRandomLengthString(200));
  const std::string after = in.ConsumeRemainingBytesAsString();
  const std::string report = before + "<tr><td>" + kTrafficLabel + "</td><td class=\"v\">" +
                             (negative ? "-" : "") + std::to_string(megabytes) +
                             (unit ? " Мб" : "") + "</td></tr>" + after;
  uint64_t whole = megabytes / 1024;
  uint64_t rest = megabytes % 1024;
  if (rest > 512 || (rest == 512 && whole % 2 == 1)) ++whole;
  std::string expected = (negative && whole > 0 ? "-" : "") + std::to_string(whole) + " ГБайт";
  FUZZ_CHECK(lum::TrafficFromReport(report) == expected);
}

// Any report gives a whole number and the unit.
void CheckAnyReport(const std::string& report) {
  const std::string traffic = lum::TrafficFromReport(report);
  const std::string unit = " ГБайт";
  FUZZ_CHECK(traffic.size() > unit.size());
  FUZZ_CHECK(traffic.compare(traffic.size() - unit.size(), unit.size(), unit) == 0);
  const std::string number = traffic.substr(0, traffic.size() - unit.size());
  const size_t first_digit = number[0] == '-' ? 1 : 0;
  FUZZ_CHECK(number.size() > first_digit);
  FUZZ_CHECK(number.find_first_not_of("0123456789", first_digit) == std::string::npos);
  FUZZ_CHECK(number != "-0");

  const std::string tariff = lum::TariffFromPage(report);
  FUZZ_CHECK(!Contains(tariff, "<"));
  FUZZ_CHECK(tariff.find_first_of("\r\n") == std::string::npos);
}

// A tariff cell spread over lines is read back whole, without the breaks.
void CheckKnownTariff(FuzzedDataProvider& in) {
  auto flat = [](const std::string& text) { return Without(text, "\r\n"); };
  std::string before = lum::ReplaceAll({"Тариф", ""}, flat(in.ConsumeRandomLengthString(200)));
  std::string middle = lum::ReplaceAll({"dat>", ""}, flat(in.ConsumeRandomLengthString(100)));
  const std::string value = Without(in.ConsumeRandomLengthString(100), "<");
  const std::string after = in.ConsumeRemainingBytesAsString();
  const std::string page = before + "Тариф" + middle + "<td class=dat>" + value + "</td>" + after;
  // Neither marker has a border, so the first of each is the one placed.
  FUZZ_CHECK(lum::TariffFromPage(page) == flat(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: CheckParseNumber(in); break;
    case 1: CheckKnownTraffic(in); break;
    case 2: CheckKnownTariff(in); break;
    default: CheckAnyReport(in.ConsumeRemainingBytesAsString()); break;
  }
  return 0;
}
