#include "ui/page_flows.h"

#include "billing/billing.h"
#include "settings/credentials.h"
#include "ui/center_form.h"

namespace lum {

void OpenStartPage(CenterForm&) {}

void ReloadPage(CenterForm&) {}

void ShowAccountStatistics(CenterForm& form) {
  form.StatisticsTimer->Stop();
  AccountStatistics stats = FetchAccountStatistics(Login, Password);
  (void)stats;
}

}  // namespace lum
