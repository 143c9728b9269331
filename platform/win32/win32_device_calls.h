// The one table through which the Win32 backend reaches the operating system for devices: opening and
// closing device paths, control requests, the device installation services, the configuration manager and
// the calls about volumes, with the calling thread's last error. Each method keeps its Win32 signature
// (raw buffers and the structures of the Windows headers), so a test can stand in for the whole device
// side of the system and answer in the exact layouts Windows uses.
#pragma once

#include "platform/win32/win32_device_headers.h"

namespace quib::platform {

class DeviceCalls {
  public:
    virtual ~DeviceCalls() = default;

    // ---- kernel32 ----------------------------------------------------------------------------------
    virtual HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                              LPSECURITY_ATTRIBUTES security, DWORD creationDisposition, DWORD flags,
                              HANDLE templateFile) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;
    virtual BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                                 LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                 LPOVERLAPPED overlapped) = 0;
    virtual BOOL getVolumeNameForVolumeMountPoint(LPCWSTR mountPoint, LPWSTR volumeName, DWORD length) = 0;
    virtual UINT getDriveType(LPCWSTR rootPath) = 0;
    virtual void getNativeSystemInfo(LPSYSTEM_INFO info) = 0;
    virtual BOOL setFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                                  DWORD moveMethod) = 0;
    virtual BOOL readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) = 0;
    virtual BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                           LPOVERLAPPED overlapped) = 0;
    virtual BOOL getVolumeInformation(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize,
                                      LPDWORD serialNumber, LPDWORD maxComponentLength, LPDWORD flags,
                                      LPWSTR fileSystemName, DWORD fileSystemNameSize) = 0;
    virtual BOOL getDiskFreeSpaceEx(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                                    PULARGE_INTEGER totalFree) = 0;
    virtual BOOL setVolumeLabel(LPCWSTR rootPath, LPCWSTR label) = 0;
    virtual DWORD getLastError() = 0;
    virtual void setLastError(DWORD error) = 0;

    // ---- setupapi ----------------------------------------------------------------------------------
    virtual HDEVINFO setupDiGetClassDevs(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                         DWORD flags) = 0;
    virtual BOOL setupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* interfaceGuid,
                                             DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData) = 0;
    virtual BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                 PDWORD requiredSize, PSP_DEVINFO_DATA device) = 0;
    virtual BOOL setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) = 0;
    virtual BOOL setupDiGetDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                  PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                                  PDWORD requiredSize) = 0;
    virtual BOOL setupDiGetDeviceInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR instanceId,
                                            DWORD instanceIdSize, PDWORD requiredSize) = 0;
    virtual BOOL setupDiDestroyDeviceInfoList(HDEVINFO set) = 0;

    // ---- cfgmgr32 ----------------------------------------------------------------------------------
    virtual CONFIGRET cmLocateDevNode(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags) = 0;
    virtual CONFIGRET cmGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) = 0;
    virtual CONFIGRET cmGetDeviceId(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) = 0;
    virtual CONFIGRET cmRequestDeviceEject(DEVINST devInst, PPNP_VETO_TYPE vetoType, LPWSTR vetoName,
                                           ULONG vetoNameLength, ULONG flags) = 0;
};

// The table in use: the system's own unless a test installed another.
DeviceCalls& deviceCalls();

// Installs `calls` (owned by the caller, which keeps it alive while installed) and returns the previous
// table; nullptr goes back to the system's own.
DeviceCalls* installDeviceCalls(DeviceCalls* calls);

}  // namespace quib::platform
