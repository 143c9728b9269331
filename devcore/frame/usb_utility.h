// The library's process-wide utility state and its file, registry, text and message-box helpers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CUSBUtility {
  public:
    // Message-box kinds and their titles.
    enum MessageKind : int { kError = 1, kTimeOut = 2, kWarning = 3, kInformation = 4, kQuestion = 5 };
    static constexpr std::uint8_t kNoFreeDriveLetter = 127;

    CUSBUtility() { vDEBUG_Initial_printf(); }
    ~CUSBUtility();
    CUSBUtility(const CUSBUtility&) = delete;
    CUSBUtility& operator=(const CUSBUtility&) = delete;

    // One-time set-up at load: performance-counter frequency and working folder (the log level starts at 0).
    void vDEBUG_Initial_printf();

    // Whether a path exists and is readable and writable.
    bool vCheckFilePathExists(const std::string& strFilePath);
    bool vReadFile(const std::string& strFilePath, std::vector<std::uint8_t>& buffer);
    bool vWriteFile(const std::string& strFilePath, std::span<const std::uint8_t> buffer);
    // Hex digits to a number, left to right; letters are upper-cased first, other characters count 0.
    static std::uint32_t vCharToHex(std::string_view text);
    // Wide text to the narrow code page of this library.
    static std::string WideStrToMultiStr(std::wstring_view text);
    // Modal message box without owner; title and icon follow the kind. Returns the button chosen.
    int vMessageBox(const std::string& strText, std::uint32_t dwExtraStyle, int iKind);
    // First drive letter from E onward that no drive uses; 127 when every letter is taken.
    std::uint8_t ucGetNextFreeDriveLetter();
    std::uint16_t wGetProcessorType();
    // The partitioning script of a disk: "DiskPartTarget3.sc" in the working folder.
    std::string strDiskPartSetupInfoPath(std::uint8_t ucPhysicalAddress) const;
    // Deletes that script; false (logged) when it cannot be deleted.
    bool vDelDiskPartSetupInfo(std::uint8_t ucPhysicalAddress);
    // First byte of a machine-wide registry value; 0 when the key or value cannot be read.
    std::uint8_t GetDiskRegisterCount(const std::string& strKeyPath, const std::string& strKeyName);

    std::int64_t m_llPerformanceFrequency = 0;
    std::string m_strWorkingFolder;
    // Devices restarted in this process (counted by the restart sequence).
    std::atomic<int> m_nRestartCount{0};
    // Cleared while a disk is partitioned or formatted; a partitioning job runs.
    std::atomic<bool> m_bJobIdle{true};
    std::atomic<bool> m_bPartitionJobRunning{false};

    std::mutex m_PartitionCriticalSection;
    std::mutex m_ChildThreadFormatUtilityCriticalSection;
    std::mutex m_ReloadFWCriticalSection;
    std::mutex m_ChildThreadPreloadCriticalSection;
    std::mutex m_ReadWriteTestCriticalSection;
};
