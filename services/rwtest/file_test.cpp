#include "services/rwtest/file_test.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/usb_utility.h"
#include "platform/platform.h"
#include "services/volume/bridge_volume.h"

namespace quib::services::rwtest {
namespace {

constexpr int kMostRounds = 1000;

}  // namespace

std::optional<std::uint64_t> vGetDiskFreeSpace(char cDriveLetter) {
    const auto bytes = platform::get().volumes.freeBytes(std::string(1, cDriveLetter) + ":\\");
    if (!bytes) return std::nullopt;
    return *bytes / 1048576;
}

int vReadWriteTest(char cDriveLetter, int iTestCount) {
    constexpr auto kFn = "QuibUSBLib_vReadWriteTest";
    CUSBUtility& utility = devcore::theUtility();
    std::lock_guard guard(utility.m_ReadWriteTestCriticalSection);
    platform::FileSystem& files = platform::get().files;
    const std::string strSource = utility.m_strWorkingFolder + files.separator() + kReferenceFileName;
    if (static_cast<std::uint8_t>(cDriveLetter) == CUSBUtility::kNoFreeDriveLetter ||
        !volumeOnListedBridge(kFn, cDriveLetter)) {
        LogError(
            "%s:%d: ChildThreadFun: Pre-WrRdTest Check Fail m_cDriveLetter = [%c] , "
            "strWrRdTestSourceFilePath [%s]",
            kFn, __LINE__, cDriveLetter, strSource.c_str());
        return -1;
    }
    const auto size = utility.vCheckFilePathExists(strSource) ? files.fileSize(strSource) : std::nullopt;
    if (!size) {
        utility.vMessageBox("R/W test file Error because the ini info is incorrect", platform::kMbOk,
                            CUSBUtility::kError);
        return -1;
    }
    if (*size > kLargestReferenceFile) {
        utility.vMessageBox(strSource + "WrRdTest file size too large", platform::kMbOk, CUSBUtility::kError);
        return -1;
    }
    const auto freeMiB = vGetDiskFreeSpace(cDriveLetter);  // unknown counts as enough
    if (freeMiB && *freeMiB < *size * 10 / 1048576) {
        LogError(
            "%s:%d: ChildThreadFun: Pre-WrRdTest Check Fail m_cDriveLetter = [%c] , "
            "strWrRdTestSourceFilePath [%s]",
            kFn, __LINE__, cDriveLetter, strSource.c_str());
        return -1;
    }
    const std::string strTarget = std::string(1, cDriveLetter) + ":\\" + kReferenceFileName;
    const int rounds = std::clamp(iTestCount, 1, kMostRounds);
    for (int iTest = 0; iTest < rounds; ++iTest) {
        std::vector<std::uint8_t> source, copy;
        if (!utility.vReadFile(strSource, source)) {
            LogError("%s:%d: TestCount[%d] vReadFile[%s] Len[%d] Fail", kFn, __LINE__, iTest,
                     strSource.c_str(), static_cast<int>(*size));
            return -1;
        }
        if (!utility.vWriteFile(strTarget, source)) {
            LogError("%s:%d: TestCount[%d] vWriteFile[%s] Len[%d] Fail", kFn, __LINE__, iTest,
                     strTarget.c_str(), static_cast<int>(source.size()));
            return -1;
        }
        if (!utility.vReadFile(strTarget, copy) || copy != source) {
            LogError("%s:%d: TestCount[%d] vReadFile[%s] Len[%d] Fail", kFn, __LINE__, iTest,
                     strTarget.c_str(), static_cast<int>(copy.size()));
            return -1;
        }
    }
    return 0;
}

}  // namespace quib::services::rwtest
