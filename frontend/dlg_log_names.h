// Qualified names that open the dialog's log lines.
#pragma once

namespace quib::frontend::logname {

inline constexpr const char* kOnInitDialog = "CKRV610xFWUpgDlg::OnInitDialog";
inline constexpr const char* kOnBnClickedStartButton = "CKRV610xFWUpgDlg::OnBnClickedStartButton";
inline constexpr const char* kExtractResourceFiles = "CKRV610xFWUpgDlg::vExtractResourceFiles";
inline constexpr const char* kRemoveExtractedFiles = "CKRV610xFWUpgDlg::vRemoveExtractedFiles";
inline constexpr const char* kSearchFirmware = "CKRV610xFWUpgDlg::vSearchKRV610xFirmware";
inline constexpr const char* kLoadINIFile = "CKRV610xFWUpgDlg::vLoadINIFile";

}  // namespace quib::frontend::logname
