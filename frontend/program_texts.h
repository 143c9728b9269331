// The program's fixed texts.
#pragma once

#include <string>
#include <string_view>

namespace quib::frontend {

inline constexpr std::wstring_view kProgramName = L"KRV610xFWUpg";
inline constexpr std::wstring_view kWindowTitle =
    L"Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6";

inline constexpr std::wstring_view kUsageText =
    L"Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6\r\n"
    L"Usage: Quibflash.exe [ /? | /S | /U:YYMMDD_AA_BB_CC.bin | /N:123456789ABCDEF | /O | /C:YYMMDDAABBCC | "
    L"/E:YYMMDDAABBCC | /D | /P:n | /PD:ABCD.cyacd | /MCU:XYZ.hex | /DBG:(0-4)]\r\n"
    L"OPTIONS:\r\n"
    L" /?\tDisplay this help message.\r\n"
    L" /S\tSilent Mode.\r\n"
    L" /U\tForcely indicate target firmware.\r\n"
    L" /N\tUpdate Serial Number.\r\n"
    L" /O\tOutput F/W Version to txt.\r\n"
    L" /C\tCheck Torvane usb mass storage Firmware Version and then RETURN IMMEDIATELY.\r\n"
    L" /E\tEnable Torvane usb hub, check TORVANE usb mass storage Firmware Version and then RETURN "
    L"IMMEDIATELY.\r\n"
    L" /D\tDisplay USB connection status.\r\n"
    L" /P\tForcely indicate target PhysicalDrive and upgrade its firmware(Single Device instead of multiple "
    L"devices)\r\n"
    L" /PD\tIndicate and update PD firmeare.\r\n"
    L" /MCU\tIndicate and update MCU firmware.\r\n"
    L" /DBG\tSet debug message level.\r\n";

// Error boxes.
inline constexpr std::wstring_view kTextLibraryNotLoadable = L"unable to find DLL function";
inline constexpr std::wstring_view kTextInputFwVersion = L"Please Input FW Version!!!";
inline constexpr std::wstring_view kTextInputPDVersion = L"Please Input PD Version!!!";
inline constexpr std::wstring_view kTextInputMCUVersion = L"Please Input MCU Version!!!";
inline constexpr std::wstring_view kTextInvalidDrive = L"Please Input Valid PhysicalDrive Number!!!";
inline constexpr std::wstring_view kTextFileNotFound = L"QUIB_FILE_NOT_FOUND!!!";

// Notices.
inline constexpr std::wstring_view kTextInsertDevice = L"Please insert KRV610x device.";
inline constexpr const wchar_t* kFormatScanFailed = L"vScanUSBPort() fail. error code %d";
inline constexpr const wchar_t* kFormatUnknownSettings =
    L"fwupgrade.ini holds settings this program does not know; they were ignored: %ls";

// Error box text after a failed single-drive update, by the library's result.
std::wstring updateFailureText(int result);
// Error box text after a failed PD/MCU update, by the library's result.
std::wstring pdUpdateFailureText(int result);
inline constexpr std::wstring_view kTextBuildBinFileFailed = L"m_DllBuildBinFile() fail";
inline constexpr std::wstring_view kTextShowPDVersionFailed = L"vShowPDVersion() fail";

// The status line, in the order the update sets it.
inline constexpr std::wstring_view kStatusEmpty = L" ";
inline constexpr std::wstring_view kStatusOnGoing = L" On going ";
inline constexpr std::wstring_view kStatusBuildFailed = L"Build Bin File... Failed";
inline constexpr std::wstring_view kStatusInitialPDFailed = L"Initial PD/MCU... Failed";
inline constexpr std::wstring_view kStatusUpdatePD = L"Update PD/MCU...";
inline constexpr std::wstring_view kStatusUpdatePDFailed = L"vUpdate PD/MCU Failed";
inline constexpr std::wstring_view kStatusUpdateBridges = L"Update KRV610x Firmware...";
inline constexpr std::wstring_view kStatusSuccess = L"Success! Please Relink the USB Device!";
inline constexpr std::wstring_view kStatusFail = L"Fail!";

}  // namespace quib::frontend
