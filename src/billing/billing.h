// The billing site: the login that yields a checksum, the subscriber's home
// page address, and the account statistics cut out of the report pages.
#pragma once

#include <string>

namespace lum {

// Login and password as they go into the form and into addresses: the
// characters that would break either ("&", "=", "+", "%", "#", "?", space and
// control characters) percent-encoded; letters, digits and Windows-1251
// bytes as they are.
std::string EncodeCredential(const std::string& text);

// "p_logname=<login>&p_pwd=<password>&p_lang=RUS".
std::string BillingLoginBody(const std::string& login, const std::string& password);

// Content-Length first, then the form's content type; each line ends in CR LF.
std::string BillingLoginHeaders(const std::string& body);

// The checksum cut from the login answer: the text after "p_chksum=" up to
// the next double quote; empty (a failed login) when that is empty or holds
// a ">".
std::string ChecksumFromAnswer(const std::string& answer);

// One form post; the checksum, or "" when the login failed.
std::string BillingLogin(const std::string& login, const std::string& password);

// The address to open for the subscriber: the home page with login and
// checksum, or the site's start page when the checksum is empty.
std::string BillingHomePageUrl(const std::string& login, const std::string& checksum);

// Logs in and gives the address above.
std::string BillingHomePageAddress(const std::string& login, const std::string& password);

struct AccountStatistics {
  std::string tariff;   // HTML for "stat-1"
  std::string traffic;  // HTML for "stat-2"
};

constexpr char kNoData[] = "<font color=gray>Нет данных</font>";

// Lenient number reading: digits, one decimal point, an exponent after E;
// every other character skipped; a leading "-" negates. Never fails.
double ParseNumber(const std::string& text);

// The tariff cut from the account information page.
std::string TariffFromPage(const std::string& page);

// The incoming traffic figure of a report in whole gigabytes, with its unit.
std::string TrafficFromReport(const std::string& report);

// The whole run: login, the account page, one or two traffic reports.
AccountStatistics FetchAccountStatistics(const std::string& login, const std::string& password);

}  // namespace lum
