// The account statistics: cutting the figures out of large report pages, and
// (with the fake servers running) a whole run of four exchanges.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "billing/billing.h"
#include "fake_isp_client.h"

namespace {

// An account page of about 4 MiB with 200,000 line breaks, the tariff row
// near its end.
std::string AccountPage() {
  std::string page = "<html><body><table>\r\n";
  while (page.size() < (4u << 20) - 200) {
    page += "<tr><td class=lab>Поле</td>\r\n";
  }
  page += "<tr><td>Тарифный план</td><td class=dat>Домашний\r\n 100</td></tr></table></body></html>";
  return page;
}

std::string TrafficReport() {
  std::string report = "<html><body><table>";
  while (report.size() < (4u << 20) - 300) {
    report += "<tr><td>Исходящий</td><td align=\"right\">12 Мб</td></tr>\n";
  }
  report += "<tr><td>Входящий. Интернет, нелимитированный доступ</td><td align=\"right\">52480.5 Мб</td></tr>";
  return report;
}

void BM_ParseAccountAndTrafficPages(benchmark::State& state) {
  const std::string page = AccountPage();
  const std::string report = TrafficReport();
  for (auto _ : state) {
    std::string tariff = lum::TariffFromPage(page);
    std::string traffic = lum::TrafficFromReport(report);
    benchmark::DoNotOptimize(tariff);
    benchmark::DoNotOptimize(traffic);
    if (tariff != "Домашний 100" || traffic != "51 ГБайт") state.SkipWithError("wrong result");
  }
}
BENCHMARK(BM_ParseAccountAndTrafficPages)->Unit(benchmark::kMillisecond);

// Needs LUM_FAKE_ISP_PORT_FILE (scripts/bench.sh starts the servers).
void BM_FullStatisticsRun(benchmark::State& state) {
  lum::test::FakeIsp isp;
  if (isp.port() == 0) {
    state.SkipWithError("fake servers not running");
    return;
  }
  lum::test::UseFakeServers servers(isp);
  for (auto _ : state) {
    // This account's first report holds the error word: four exchanges.
    lum::AccountStatistics stats = lum::FetchAccountStatistics("errrep", "secret");
    if (stats.traffic != "10 ГБайт") state.SkipWithError("wrong result");
  }
}
BENCHMARK(BM_FullStatisticsRun)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
