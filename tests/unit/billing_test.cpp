#include "billing/billing.h"

#include <gtest/gtest.h>

#include "net/servers.h"
#include "platform/os.h"

namespace lum {
namespace {

TEST(BillingForm, BodyAndLengthLineForEmptyAndPlainCredentials) {
  std::string empty = BillingLoginBody("", "");
  EXPECT_EQ(empty, "p_logname=&p_pwd=&p_lang=RUS");
  EXPECT_EQ(empty.size(), 28u);
  EXPECT_EQ(BillingLoginHeaders(empty),
            "Content-Length: 28\r\nContent-Type: application/x-www-form-urlencoded\r\n");
  std::string plain = BillingLoginBody("abonent", "p4ssw0");
  EXPECT_EQ(plain, "p_logname=abonent&p_pwd=p4ssw0&p_lang=RUS");
  EXPECT_EQ(BillingLoginHeaders(plain).substr(0, 20), "Content-Length: 41\r\n");
}

TEST(BillingForm, CharactersThatWouldBreakTheFormAreEncoded) {
  EXPECT_EQ(EncodeCredential("a&b=c+d%e#f?g h\x01"), "a%26b%3Dc%2Bd%25e%23f%3Fg%20h%01");
  // Windows-1251 letters go out as their own bytes.
  EXPECT_EQ(EncodeCredential("Иван-1_.~"), "Иван-1_.~");
  std::string body = BillingLoginBody("u", "p&p_lang=ENG");
  EXPECT_EQ(body, "p_logname=u&p_pwd=p%26p_lang%3DENG&p_lang=RUS");
  EXPECT_EQ(BillingLoginHeaders(body).substr(0, 20), "Content-Length: 45\r\n");
}

TEST(BillingChecksum, CutAfterTheMarkerUpToTheNextQuote) {
  EXPECT_EQ(ChecksumFromAnswer("<a href=\"x?p_chksum=AB12\">"), "AB12");
  // A tag closes before the quote: rejected.
  EXPECT_EQ(ChecksumFromAnswer("<!-- p_chksum=abc> -->\"x\""), "");
  EXPECT_EQ(ChecksumFromAnswer(""), "");
  // No marker: the answer less its first 8 characters up to the first quote.
  EXPECT_EQ(ChecksumFromAnswer("12345678abc\"rest"), "abc");
  EXPECT_EQ(ChecksumFromAnswer("<html><head><title>Ошибка\"</title>"), "");
  EXPECT_EQ(ChecksumFromAnswer("no quote anywhere in this answer"), "");
}

class Server : public ForwardingOs {
 public:
  explicit Server(std::string value) : ForwardingOs(NativeOs()), value_(std::move(value)) {}
  std::string EnvironmentVariable(const std::string& name) override {
    return name == "LUMCENTER_BILLING_SERVER" ? value_ : "";
  }

 private:
  std::string value_;
};

TEST(BillingHomePage, AddressCarriesTheEncodedLoginAndThePort) {
  Server server("127.0.0.1:8081");
  ScopedOs use(server);
  EXPECT_EQ(BillingHomePageUrl("u s&r", "C1"),
            "http://127.0.0.1:8081/pls/startip/www.ViewHomePage?p_logname=u%20s%26r&p_chksum=C1");
  EXPECT_EQ(BillingHomePageUrl("user", ""), "http://127.0.0.1:8081/");
}

TEST(Servers, BuiltInHostsOnPort80UnlessTheEnvironmentSaysOtherwise) {
  Server none("");
  ScopedOs use(none);
  ServerAddress billing = BillingServer();
  EXPECT_FALSE(billing.host.empty());
  EXPECT_EQ(billing.port, 80);
  EXPECT_EQ(ServerRoot(billing), "http://" + billing.host);
  EXPECT_EQ(ParseServerAddress("h").port, 80);
  EXPECT_EQ(ParseServerAddress("h:8080").port, 8080);
  EXPECT_EQ(ParseServerAddress("h:8080").host, "h");
  EXPECT_EQ(ParseServerAddress("h:0").port, 80);
  EXPECT_EQ(ParseServerAddress("h:99999").port, 80);
  EXPECT_EQ(ServerRoot({"h", 8080}), "http://h:8080");
}

TEST(ParseNumberTest, ReadsLeniently) {
  EXPECT_DOUBLE_EQ(ParseNumber("1536"), 1536);
  EXPECT_DOUBLE_EQ(ParseNumber("1,5"), 15);
  EXPECT_DOUBLE_EQ(ParseNumber("-3072"), -3072);
  EXPECT_DOUBLE_EQ(ParseNumber("1.2.3"), 1.2);
  EXPECT_DOUBLE_EQ(ParseNumber("2e3"), 2000);
  EXPECT_DOUBLE_EQ(ParseNumber("5E-1"), 0.5);
  EXPECT_DOUBLE_EQ(ParseNumber("52 480,5 x"), 524805);
  EXPECT_DOUBLE_EQ(ParseNumber("1-2"), 12);
  EXPECT_DOUBLE_EQ(ParseNumber(""), 0);
}

std::string Report(const std::string& figure) {
  return "<tr><td>Исходящий</td><td align=\"right\">99999</td></tr>"
         "<tr><td>Входящий. Интернет, нелимитированный доступ</td><td align=\"right\">" +
         figure + "</td></tr>";
}

TEST(Traffic, MegabytesBecomeWholeGigabytesHalfToEven) {
  EXPECT_EQ(TrafficFromReport(Report("2048")), "2 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("1536")), "2 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("2560")), "2 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("512")), "0 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("513")), "1 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("0")), "0 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("1536 Мб")), "2 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("1,5")), "0 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("-3072")), "-3 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("-100")), "0 ГБайт");
  EXPECT_EQ(TrafficFromReport(Report("2e3")), "2 ГБайт");
}

TEST(Traffic, MissingPiecesEndInAFigureAllTheSame) {
  EXPECT_EQ(TrafficFromReport(""), "0 ГБайт");
  // No label: the first quote-and-bracket of the report counts.
  EXPECT_EQ(TrafficFromReport("<td class=\"v\">4096</td>"), "4 ГБайт");
  // A hostile figure never breaks the text.
  EXPECT_EQ(TrafficFromReport(Report("9e999")), "0 ГБайт");
  std::string big = TrafficFromReport(Report("1e30"));
  EXPECT_EQ(big.substr(0, 7), "9765625");
  EXPECT_EQ(big.size(), 27 + std::string(" ГБайт").size());
}

TEST(Tariff, CutFromTheCellAfterTheLabelWithLineBreaksGone) {
  EXPECT_EQ(TariffFromPage("<td>Тарифный план</td>\r\n<td class=dat>Домашний\r\n 100</td>"),
            "Домашний 100");
  EXPECT_EQ(TariffFromPage("<td class=dat>first</td><td>Тариф</td><td class=dat>Второй</td>"),
            "Второй");
  // No label: the first value cell of the page.
  EXPECT_EQ(TariffFromPage("<td class=dat>Первый</td>"), "Первый");
  // Neither label nor cell: the page less its first 3 characters, up to a tag.
  EXPECT_EQ(TariffFromPage("abcdef<b>"), "def");
  EXPECT_EQ(TariffFromPage(""), "");
}

}  // namespace
}  // namespace lum
