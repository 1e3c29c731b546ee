// The start-up check of the PC, run once after the configuration was read.
#pragma once

#include <cstdint>
#include <string_view>

namespace qarx {

class CQarxServiceDlg;

// Thread body; returns 0.
int EnvironmentCheckJob(CQarxServiceDlg& dialog);

// Logs a negative finding and asks whether to download the package of that
// kind; a Yes posts WM_DOWNLOAD_REQUEST to the dialog.
void OfferDownload(CQarxServiceDlg& dialog, std::u16string_view finding, std::u16string_view question,
                   int32_t kind);

}  // namespace qarx
