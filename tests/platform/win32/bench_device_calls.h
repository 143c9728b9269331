// A stand-in for the device side of Windows that answers every call of the device call table from a
// bench, in Windows' own layouts: device paths open bench targets, control requests are read as Windows
// reads their structures and answered through the bench backend's ports, and the device installation
// services list what the bench lists. The seam's last error is left as it was: only the table's own
// last error tells a caller what failed, as on Windows.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "platform/platform.h"
#include "platform/win32/win32_device_calls.h"

namespace win32_test {

class BenchDeviceCalls : public quib::platform::DeviceCalls {
  public:
    explicit BenchDeviceCalls(std::shared_ptr<bench::Bench> bench);
    ~BenchDeviceCalls() override;

    // ---- what a test may change ------------------------------------------------------------------
    // Control codes whose answers are cut to this many bytes returned; the bytes behind the cut are
    // overwritten with kJunk, so a caller that reads past what was returned reads junk.
    std::map<DWORD, DWORD> shortAnswers;
    // Control codes this "driver" does not know (ERROR_INVALID_FUNCTION).
    std::set<DWORD> unknownCodes;
    static constexpr std::uint8_t kJunk = 0xA5;

    // ---- what a test may look at -----------------------------------------------------------------
    std::map<DWORD, int> controlCalls;  // DeviceIoControl calls by control code
    int closeCalls = 0;
    int openHandles() const { return static_cast<int>(m_handles.size()); }
    int openSets() const { return static_cast<int>(m_sets.size()); }
    quib::platform::Platform& benchPorts() { return m_backend->platform(); }

    // ---- the table ---------------------------------------------------------------------------------
    HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                      DWORD creationDisposition, DWORD flags, HANDLE templateFile) override;
    BOOL closeHandle(HANDLE handle) override;
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                         DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) override;
    BOOL getVolumeNameForVolumeMountPoint(LPCWSTR mountPoint, LPWSTR volumeName, DWORD length) override;
    UINT getDriveType(LPCWSTR rootPath) override;
    void getNativeSystemInfo(LPSYSTEM_INFO info) override;
    BOOL setFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                          DWORD moveMethod) override;
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) override;
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                   LPOVERLAPPED overlapped) override;
    BOOL getVolumeInformation(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                              LPDWORD maxComponentLength, LPDWORD flags, LPWSTR fileSystemName,
                              DWORD fileSystemNameSize) override;
    BOOL getDiskFreeSpaceEx(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                            PULARGE_INTEGER totalFree) override;
    BOOL setVolumeLabel(LPCWSTR rootPath, LPCWSTR label) override;
    DWORD getLastError() override { return m_lastError; }
    void setLastError(DWORD error) override { m_lastError = error; }

    HDEVINFO setupDiGetClassDevs(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) override;
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* interfaceGuid,
                                     DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                         PDWORD requiredSize, PSP_DEVINFO_DATA device) override;
    BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) override;
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                          PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                          PDWORD requiredSize) override;
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId,
                                    DWORD instanceIdSize, PDWORD requiredSize) override;
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) override;

    CONFIGRET cmLocateDevNode(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) override;
    CONFIGRET cmGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) override;
    CONFIGRET cmGetDeviceId(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) override;
    CONFIGRET cmRequestDeviceEject(DEVINST devInst, PPNP_VETO_TYPE vetoType, LPWSTR vetoName,
                                   ULONG vetoNameLength, ULONG flags) override;

  private:
    struct Member {
        std::string devicePath;  // empty for a device set
        std::string instanceId;
        std::string classGuid;
        std::map<std::string, std::string> properties;
    };
    struct Set {
        bool interfaces = false;
        GUID guid{};
        std::vector<Member> members;
    };
    struct Answer {
        bool ok = false;
        DWORD returned = 0;
        DWORD error = 0;
    };

    BOOL fail(DWORD error);
    // The seam's last error a bench port set, as this table's.
    BOOL failFromPorts();
    Answer control(quib::platform::DeviceHandle device, DWORD code, const std::uint8_t* in, DWORD inSize,
                   std::uint8_t* out, DWORD outSize);
    Answer passThrough(quib::platform::DeviceHandle device, const std::uint8_t* in, DWORD inSize,
                       std::uint8_t* out, DWORD outSize);
    Answer passThroughDirect(quib::platform::DeviceHandle device, const std::uint8_t* in, DWORD inSize,
                             std::uint8_t* out, DWORD outSize);
    // IOCTL_ATA_PASS_THROUGH_DIRECT: the request read from Windows' record, the task file written back.
    Answer ataPassThroughDirect(quib::platform::DeviceHandle device, const std::uint8_t* in, DWORD inSize,
                                std::uint8_t* out, DWORD outSize);
    Answer nodeInformation(quib::platform::DeviceHandle hub, DWORD outSize, std::uint8_t* out);
    Answer storageQuery(quib::platform::DeviceHandle device, const std::uint8_t* in, DWORD inSize,
                        std::uint8_t* out, DWORD outSize);
    Answer geometry(quib::platform::DeviceHandle device, bool extended, std::uint8_t* out, DWORD outSize);
    Answer connectionInfo(quib::platform::DeviceHandle hub, bool extended, const std::uint8_t* in,
                          DWORD inSize, std::uint8_t* out, DWORD outSize);
    Answer descriptor(quib::platform::DeviceHandle hub, const std::uint8_t* in, DWORD inSize,
                      std::uint8_t* out, DWORD outSize);
    Answer extents(quib::platform::DeviceHandle volume, std::uint8_t* out, DWORD outSize);
    // Volume controls and partition requests (bench_device_calls_disk.cpp); nothing for other codes.
    std::optional<Answer> diskControl(quib::platform::DeviceHandle device, DWORD code, const std::uint8_t* in,
                                      DWORD inSize, std::uint8_t* out, DWORD outSize);
    BOOL transfer(HANDLE file, std::uint8_t* buffer, DWORD size, LPDWORD moved, LPOVERLAPPED overlapped,
                  bool write);
    const Member* memberOf(HDEVINFO set, ULONG_PTR reserved);
    Set* setOf(HDEVINFO set);
    void describe(PSP_DEVINFO_DATA device, const Member& member, DWORD index);
    DEVINST devNodeOf(const std::string& instanceId);
    std::string instanceIdOf(DEVINST node) const;

    std::shared_ptr<bench::Bench> m_bench;
    std::unique_ptr<quib::platform::Backend> m_backend;
    std::map<std::uintptr_t, quib::platform::DeviceHandle> m_handles;
    std::map<std::uintptr_t, std::uint64_t> m_filePointers;
    std::uintptr_t m_nextHandle = 0x100;
    std::map<std::uintptr_t, Set> m_sets;
    std::uintptr_t m_nextSet = 0x7000;
    std::vector<std::string> m_devNodes;  // DEVINST n names m_devNodes[n - 1]
    DWORD m_lastError = 0;
};

// Installs a table for the life of the object.
class ScopedDeviceCalls {
  public:
    explicit ScopedDeviceCalls(quib::platform::DeviceCalls& calls)
        : m_previous(quib::platform::installDeviceCalls(&calls)) {}
    ~ScopedDeviceCalls() { quib::platform::installDeviceCalls(m_previous); }
    ScopedDeviceCalls(const ScopedDeviceCalls&) = delete;
    ScopedDeviceCalls& operator=(const ScopedDeviceCalls&) = delete;

  private:
    quib::platform::DeviceCalls* m_previous;
};

// "{...}" as the system writes a GUID.
std::string guidText(const GUID& guid);

}  // namespace win32_test
