// The centre's page: the start page shown at start, the reload after a
// save, and the statistics written into it.
#pragma once

namespace lum {

struct CenterForm;

void OpenStartPage(CenterForm& form);
void ReloadPage(CenterForm& form);

// The tick of StatisticsTimer.
void ShowAccountStatistics(CenterForm& form);

}  // namespace lum
