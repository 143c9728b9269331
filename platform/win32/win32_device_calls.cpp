#include "platform/win32/win32_device_calls.h"

#include <atomic>

namespace quib::platform {
namespace {

// Straight through to the system.
class SystemDeviceCalls final : public DeviceCalls {
  public:
    HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                      DWORD creationDisposition, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileW(fileName, desiredAccess, shareMode, security, creationDisposition, flags,
                             templateFile);
    }
    BOOL closeHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                         DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) override {
        return ::DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned,
                                 overlapped);
    }
    BOOL getVolumeNameForVolumeMountPoint(LPCWSTR mountPoint, LPWSTR volumeName, DWORD length) override {
        return ::GetVolumeNameForVolumeMountPointW(mountPoint, volumeName, length);
    }
    UINT getDriveType(LPCWSTR rootPath) override { return ::GetDriveTypeW(rootPath); }
    void getNativeSystemInfo(LPSYSTEM_INFO info) override { ::GetNativeSystemInfo(info); }
    BOOL setFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                          DWORD moveMethod) override {
        return ::SetFilePointerEx(file, distance, newPointer, moveMethod);
    }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) override {
        return ::ReadFile(file, buffer, size, read, overlapped);
    }
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                   LPOVERLAPPED overlapped) override {
        return ::WriteFile(file, buffer, size, written, overlapped);
    }
    BOOL getVolumeInformation(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                              LPDWORD maxComponentLength, LPDWORD flags, LPWSTR fileSystemName,
                              DWORD fileSystemNameSize) override {
        return ::GetVolumeInformationW(rootPath, volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                       flags, fileSystemName, fileSystemNameSize);
    }
    BOOL getDiskFreeSpaceEx(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                            PULARGE_INTEGER totalFree) override {
        return ::GetDiskFreeSpaceExW(directory, freeToCaller, total, totalFree);
    }
    BOOL setVolumeLabel(LPCWSTR rootPath, LPCWSTR label) override {
        return ::SetVolumeLabelW(rootPath, label);
    }
    DWORD getLastError() override { return ::GetLastError(); }
    void setLastError(DWORD error) override { ::SetLastError(error); }

    HDEVINFO setupDiGetClassDevs(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                 DWORD flags) override {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* interfaceGuid,
                                     DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData) override {
        return ::SetupDiEnumDeviceInterfaces(set, device, interfaceGuid, index, interfaceData);
    }
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                         PDWORD requiredSize, PSP_DEVINFO_DATA device) override {
        return ::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, detailSize, requiredSize,
                                                  device);
    }
    BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) override {
        return ::SetupDiEnumDeviceInfo(set, index, device);
    }
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                          PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                          PDWORD requiredSize) override {
        return ::SetupDiGetDeviceRegistryPropertyW(set, device, property, valueType, buffer, bufferSize,
                                                   requiredSize);
    }
    BOOL setupDiGetDeviceInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId,
                                    DWORD instanceIdSize, PDWORD requiredSize) override {
        return ::SetupDiGetDeviceInstanceIdW(set, device, instanceId, instanceIdSize, requiredSize);
    }
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) override { return ::SetupDiDestroyDeviceInfoList(set); }

    CONFIGRET cmLocateDevNode(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) override {
        return ::CM_Locate_DevNodeW(devInst, deviceId, flags);
    }
    CONFIGRET cmGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) override {
        return ::CM_Get_Parent(parent, devInst, flags);
    }
    CONFIGRET cmGetDeviceId(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) override {
        return ::CM_Get_Device_IDW(devInst, buffer, bufferLength, flags);
    }
    CONFIGRET cmRequestDeviceEject(DEVINST devInst, PPNP_VETO_TYPE vetoType, LPWSTR vetoName,
                                   ULONG vetoNameLength, ULONG flags) override {
        return ::CM_Request_Device_EjectW(devInst, vetoType, vetoName, vetoNameLength, flags);
    }
};

SystemDeviceCalls g_system;
std::atomic<DeviceCalls*> g_installed{nullptr};

}  // namespace

DeviceCalls& deviceCalls() {
    DeviceCalls* installed = g_installed.load();
    return installed ? *installed : g_system;
}

DeviceCalls* installDeviceCalls(DeviceCalls* calls) {
    return g_installed.exchange(calls);
}

}  // namespace quib::platform
