#include "billing/billing.h"

#include <cmath>
#include <cstdio>

#include "net/servers.h"
#include "net/text_ops.h"
#include "net/web_access.h"
#include "settings/credentials.h"

namespace lum {

namespace {

constexpr uint32_t kTimeout = 30;

std::string Get(const std::string& path) {
  ServerAddress server = BillingServer();
  return HttpRequest(server.host, server.port, "GET", path, "", "", "", "", 0, "", std::nullopt,
                     kTimeout);
}

std::string ReportPath(const char* page_name, const std::string& login, const std::string& checksum,
                       const char* tail) {
  return std::string("/pls/startip/www.PageViewer?page_name=") + page_name +
         "&logname=" + EncodeCredential(login) + "&chksum=" + checksum + tail;
}

const char kReportTail[] = "&n2=p_username&n3=p_page_num&v3=1&n4=p_row_count&v2=-1&v4=100";

}  // namespace

std::string EncodeCredential(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    bool unsafe = u <= 32 || u == 127 || c == '&' || c == '=' || c == '+' || c == '%' ||
                  c == '#' || c == '?';
    if (unsafe) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string BillingLoginBody(const std::string& login, const std::string& password) {
  return "p_logname=" + EncodeCredential(login) + "&p_pwd=" + EncodeCredential(password) +
         "&p_lang=RUS";
}

std::string BillingLoginHeaders(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) +
         "\r\nContent-Type: application/x-www-form-urlencoded\r\n";
}

std::string ChecksumFromAnswer(const std::string& answer) {
  std::string checksum = TextBefore("\"", TextAfter("p_chksum=", answer));
  if (checksum.empty() || checksum.find('>') != std::string::npos) return std::string();
  return checksum;
}

std::string BillingLogin(const std::string& login, const std::string& password) {
  std::string body = BillingLoginBody(login, password);
  ServerAddress server = BillingServer();
  std::string answer =
      HttpRequest(server.host, server.port, "POST", "/pls/startip/www.GetHomePage", "", "",
                  BillingLoginHeaders(body), body, 0, "", std::nullopt, kTimeout);
  return ChecksumFromAnswer(answer);
}

std::string BillingHomePageUrl(const std::string& login, const std::string& checksum) {
  std::string root = ServerRoot(BillingServer());
  if (checksum.empty()) return root + "/";
  return root + "/pls/startip/www.ViewHomePage?p_logname=" + EncodeCredential(login) +
         "&p_chksum=" + checksum;
}

std::string BillingHomePageAddress(const std::string& login, const std::string& password) {
  return BillingHomePageUrl(login, BillingLogin(login, password));
}

double ParseNumber(const std::string& text) {
  double value = 0;
  double scale = 1;
  bool fraction = false;
  size_t i = 0;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      if (fraction) {
        scale *= 0.1;
        value += (c - '0') * scale;
      } else {
        value = value * 10 + (c - '0');
      }
    } else if (c == '.') {
      if (fraction) break;
      fraction = true;
    } else if (c == 'E' || c == 'e') {
      int32_t power = ParseInteger(text.substr(i + 1));
      value = power >= 0 ? value * std::pow(10.0, power) : value / std::pow(10.0, -static_cast<double>(power));
      break;
    }
  }
  return negative ? -value : value;
}

std::string TariffFromPage(const std::string& page) {
  std::string flat = ReplaceAll({"\r", ""}, ReplaceAll({"\n", ""}, page));
  return TextBefore("<", TextAfter("dat>", TextFrom("Тариф", flat)));
}

std::string TrafficFromReport(const std::string& report) {
  std::string figure =
      TextBefore("<", TextAfter("\">", TextFrom("Входящий. Интернет, нелимитированный доступ", report)));
  figure = ReplaceAll({" Мб", ""}, figure);
  if (figure.empty()) figure = "0";
  // Nearest whole gigabyte, an exact half to the even neighbour (the
  // default rounding mode).
  double gigabytes = std::nearbyint(ParseNumber(figure) / 1024) + 0.0;
  char digits[400];
  if (!std::isfinite(gigabytes)) gigabytes = 0;
  std::snprintf(digits, sizeof digits, "%.0f", gigabytes);
  return std::string(digits) + " ГБайт";
}

AccountStatistics FetchAccountStatistics(const std::string& login, const std::string& password) {
  AccountStatistics result;
  std::string checksum = BillingLogin(login, password);
  if (checksum.empty()) {
    result.tariff = kNoData;
    result.traffic = kNoData;
    return result;
  }
  result.tariff = TariffFromPage(Get(ReportPath("N*CLI_DIALUP_INFO", login, checksum, "")));
  std::string report = Get(ReportPath("S*ADM_NET_REP_CNT", login, checksum, kReportTail));
  if (report.find("ошибк") != std::string::npos) {
    report = Get(ReportPath("S*CLI_DIALUP_REP_CNT", login, checksum, kReportTail));
  }
  result.traffic = TrafficFromReport(report);
  return result;
}

}  // namespace lum
