/*
 * quibusb: device library for the KRV610x (USB-to-SATA, chip "7120") and KRV850x (USB-to-PCIe/NVMe,
 * chip "8500") bridge families.
 *
 * Plain C interface: every entry point has C linkage and returns a signed 32-bit result, 0 on success and
 * negative on failure. The records below are byte-packed and little-endian; their texts are 8-bit,
 * zero-terminated. Callers allocate every record; the library keeps no pointer to one after a call.
 *
 * A device index is the position of a device in the list of the last scan; only its low 8 bits are used.
 */
#ifndef QUIBUSB_H
#define QUIBUSB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define QUIBUSB_CALL __cdecl
#if defined(QUIBUSB_BUILDING)
#define QUIBUSB_API __declspec(dllexport)
#else
#define QUIBUSB_API __declspec(dllimport)
#endif
#else
#define QUIBUSB_CALL
#define QUIBUSB_API __attribute__((visibility("default")))
#endif

/* Result codes shared by the entry points. */
#define QUIB_SUCCESS 0
#define QUIB_FAIL (-1)
#define QUIB_IMAGE_MISMATCH (-2)
#define QUIB_CHECK_FAILED (-3)
#define QUIB_DEVICE_NOT_FOUND (-4)
#define QUIB_FILE_NOT_FOUND (-5)
#define QUIB_RELOAD_FAIL (-7)
#define QUIB_BUILD_FILE_FAIL (-8)
#define QUIB_INVALID_PARAMETER (-10)
#define QUIB_SAFE_REMOVE_FAIL (-11)
#define QUIB_UNKNOWN_TRANSPORT (-13)

#define QUIB_MAX_EXPORTED_DEVICES 32
#define QUIB_TEXT_FIELD 127
#define QUIB_PATH_FIELD 512
#define QUIB_DEVINFO_TEXT 255

#pragma pack(push, 1)

/* Exchange record (3839 bytes): settings values, command-line paths and the PD version text. */
typedef struct ExchangeData {
    uint8_t ucCheckFwVersion;                             /*    0 */
    uint8_t ucCheckMSignature;                            /*    1 */
    uint8_t ucCheckManufactureString;                     /*    2 */
    uint8_t ucCheckProductString;                         /*    3 */
    uint8_t ucCheckVid;                                   /*    4 */
    uint8_t ucCheckPid;                                   /*    5 */
    uint8_t ucCheckPartOfFwVersion;                       /*    6 */
    uint8_t ucCheckBoundingOption;                        /*    7 */
    uint8_t ucCheckMSignatureBiggerThen;                  /*    8 */
    uint8_t ucCheckMSignatureSmallerThen;                 /*    9 */
    uint8_t ucRegEditEnable;                              /*   10 */
    uint8_t ucUpdatePD;                                   /*   11 */
    uint8_t ucUpdateMCU;                                  /*   12 */
    uint8_t ucReserved;                                   /*   13 */
    uint8_t ucEnableRelinkToRomCode;                      /*   14 */
    uint8_t ucEnableReLinkAfterFWUpgrade;                 /*   15 */
    uint8_t ucEnableDualImage;                            /*   16 */
    char cFwVersion[QUIB_TEXT_FIELD];                     /*   17: up to 16 versions separated by ';' */
    char cMSignature[QUIB_TEXT_FIELD];                    /*  144 */
    char cManufactureString[QUIB_TEXT_FIELD];             /*  271 */
    char cProductString[QUIB_TEXT_FIELD];                 /*  398 */
    char cVid[QUIB_TEXT_FIELD];                           /*  525 */
    char cPid[QUIB_TEXT_FIELD];                           /*  652 */
    char cPartOfFwVersion[QUIB_TEXT_FIELD];               /*  779 */
    char cBoundingOption1[QUIB_TEXT_FIELD];               /*  906 */
    char cBoundingOption2[QUIB_TEXT_FIELD];               /* 1033 */
    char cStartAddressOfPartOfFwVersion[QUIB_TEXT_FIELD]; /* 1160 */
    char cPartOfFwVersionLength[QUIB_TEXT_FIELD];         /* 1287 */
    char cMSignatureBiggerThen[QUIB_TEXT_FIELD];          /* 1414 */
    char cMSignatureSmallerThen[QUIB_TEXT_FIELD];         /* 1541 */
    char cRegEditSubkey[QUIB_TEXT_FIELD];                 /* 1668 */
    char cRegEditKeyname[QUIB_TEXT_FIELD];                /* 1795 */
    char cRegEditType[QUIB_TEXT_FIELD];                   /* 1922 */
    char cRegEditValue[QUIB_TEXT_FIELD];                  /* 2049 */
    char cFwPath[QUIB_PATH_FIELD];                        /* 2176 */
    char cPDFwPath[QUIB_PATH_FIELD];                      /* 2688 */
    char cMCUFwPath[QUIB_PATH_FIELD];                     /* 3200 */
    char cPDFwVersion[QUIB_TEXT_FIELD];                   /* 3712: written by vShowPDVersion */
} ExchangeData;

/* One device of the caller's list (2308 bytes). */
typedef struct USBDevInfoExp {
    char cVid[QUIB_DEVINFO_TEXT];           /*    0: four upper-case hex digits */
    char cPid[QUIB_DEVINFO_TEXT];           /*  255 */
    char cManufacturer[QUIB_DEVINFO_TEXT];  /*  510 */
    char cProduct[QUIB_DEVINFO_TEXT];       /*  765 */
    char cSerialNumber[QUIB_DEVINFO_TEXT];  /* 1020 */
    char cFwVersion[QUIB_DEVINFO_TEXT];     /* 1275: twelve hex digits */
    uint8_t m_cDriveLetter;                 /* 1530 */
    uint8_t m_ucDevType;                    /* 1531 */
    char cDeviceRelease[QUIB_DEVINFO_TEXT]; /* 1532: four lower-case hex digits */
    char cLinkStatus[QUIB_DEVINFO_TEXT];    /* 1787: "FULL", "HIGH", "SUPER", "PLUS" (+ lane suffix) */
    uint8_t m_ucPhysicalAddress;            /* 2042 */
    int32_t nWorkingValue1;                 /* 2043 */
    int32_t nWorkingValue2;                 /* 2047 */
    char cHostControllerHardwareId[QUIB_DEVINFO_TEXT]; /* 2051 */
    uint8_t ucGeneration;                              /* 2306 */
    uint8_t ucUnused;                                  /* 2307 */
} USBDevInfoExp;

/* The caller's device list (73860 bytes); the library fills at most 16 entries. */
typedef struct USBDevListExp {
    int32_t nDevCount;
    USBDevInfoExp Devs[QUIB_MAX_EXPORTED_DEVICES];
} USBDevListExp;

/* Serial-number request record (118 bytes), copied into the configuration block. */
typedef struct SerialNumberRecord {
    uint8_t cSerialNumber[20]; /*   0: no terminator; unused bytes 0xFF */
    uint8_t cManufacturer[44]; /*  20 */
    uint8_t cProduct[48];      /*  64 */
    uint16_t wVendorId;        /* 112 */
    uint16_t wProductId;       /* 114 */
    uint16_t wDeviceRelease;   /* 116 */
} SerialNumberRecord;

/* The speed test's record (544 bytes), passed by value. The library reads only dwSectorSize; the rest is the
 * caller's own and passed over untouched. */
typedef struct QuibRWTestRecord {
    uint8_t ucCallerData[520]; /*   0 */
    uint32_t dwSectorSize;     /* 520: the drive's sector size; 0 fails the test */
    uint8_t ucCallerTail[20];  /* 524 */
} QuibRWTestRecord;

#pragma pack(pop)

/* An open device handle, as the operating system gives it (a HANDLE on Windows). */
typedef void* QUIB_HANDLE;

/* Library frame and status. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_CloseDev(void);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vScanUSBPort(USBDevListExp* pDevListExp, uint8_t ucTargetDevType);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vScanUSBPort(USBDevListExp* pDevListExp,
                                                                  const char* pTargetChipType,
                                                                  int32_t iBridgeType);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vSetDllDebugLevel(int32_t iLevel);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vShowUSBStatus(uint8_t ucTargetNumber, char* pStatus);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vShowUSBProtocol(uint8_t ucTargetNumber, uint8_t* pProtocol);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vDetectCCOrientation(uint8_t ucTargetNumber,
                                                                 uint8_t* pOrientation);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vIsKRV630X(uint8_t ucTargetNumber);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vIsKRVUSBDev(uint8_t ucTargetNumber, uint8_t ucType);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_AccessRegister(QUIB_HANDLE hDev, uint8_t ucReadWrite,
                                                                 uint16_t wAddress, uint8_t* pBuffer,
                                                                 uint32_t dwLength);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vGetOTBStatus(uint8_t ucTargetNumber, int32_t* pStatus);

/* A counted 8-bit string passed by value: the text need not be zero-terminated. */
typedef struct QuibCountedString {
    const char* pText;
    uint32_t dwLength;
} QuibCountedString;

/* Bridge firmware update. */
/* Writes "KRVFW_Temp/Config_<name>.rom" under the calling program's folder from a plain image and a
 * serial-number record: 0, -5 (a relative path names no file there), -8 (build failed), -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_BuildBinFile(const char* pFwPath,
                                                                  const SerialNumberRecord* pRecord);
/* 0 when the image may go onto the device, -3 when a check of the exchange record fails. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vCustomizedCheck(uint8_t ucTargetNumber,
                                                                      ExchangeData* pExchangeData);
/* Programs the image cFwPath names into a device; the tag is not read. 0, -1, -2, -3, -5, -7, -8, -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdateFirmware(uint8_t ucTargetNumber,
                                                                     ExchangeData* pExchangeData,
                                                                     uint16_t wTag);
/* pSample: one dual-image byte followed by the zero-terminated image path (at most 511 characters). */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vSampleFWUpg(uint8_t ucTargetNumber, const char* pSample,
                                                                  uint16_t wTag);
/* Merges a serial-number record into the configuration block and restarts: 0, -1, -7, -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdateConfig(uint8_t ucTargetNumber,
                                                                   const SerialNumberRecord* pRecord);
/* Restarts a device with the reset mode of a USB speed 1..5 and finds it again: 0 or -7. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_CPUSpeedRelink(uint8_t ucTargetNumber, uint8_t ucSpeed);
/* Flushes the drive's cache and ejects the device: 0 or -11. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_SafeRemoveUSB(uint8_t ucTargetNumber);
/* A plain restart (no relink): the command's result, -1 when the device cannot be opened. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_CPURST(uint8_t ucTargetNumber);

/* OEM services on list entry ucTargetNumber of the last scan. Each call opens the bridge's device (its CD-ROM
 * when it presents one, else its disk), runs its commands and closes it. A device that cannot be opened gives
 * -5, except where noted. Register-access codes: -1 the command failed, -10 arguments refused. */
/* One pin, ucPinMask a single bit (0x01 .. 0x80), made a GPIO: ucDirection 1 drives it high when *pValue is
 * 1, low otherwise; any other direction reads its level into *pValue (0 or 1). 0, a register-access code, -10
 * for a mask that is not one bit or no value (nothing sent), -1 when the device cannot be opened. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_ControlGPIO(uint8_t ucTargetNumber, uint8_t ucDirection,
                                                              uint8_t ucPinMask, uint8_t* pValue);
/* Writes *pValue as the output-enable byte of the pins and reads their input levels into *pValue. Always 0:
 * a failure is only logged and leaves *pValue as it was. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_ControlGPIO(uint8_t ucTargetNumber, uint8_t* pValue);
/* The UART receive line, made an input: *pValue 0 or 1. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_GetUartRX(uint8_t ucTargetNumber, uint8_t* pValue);
/* The drive's power control: on when *pValue is 1, off otherwise. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_SetHDDPC(uint8_t ucTargetNumber, uint8_t* pValue);
/* The firmware EEPROM (ucReadWrite 1 writes in 64 KiB pieces; 0 reads): 0, -1, -10 for more than 65536 bytes
 * or no buffer (the device is not opened). The last argument has no effect. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_OEM_AccessEEPROM(uint8_t ucTargetNumber,
                                                                   uint8_t ucReadWrite, uint8_t* pBuffer,
                                                                   uint32_t dwLength, uint8_t ucUnused);
/* The firmware area of bank ucBank in one command (ucReadWrite 1 writes): the command's result. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_K610X_AccessFirmwareEEPROM(uint8_t ucTargetNumber,
                                                                       uint8_t ucReadWrite, uint8_t* pBuffer,
                                                                       uint32_t dwLength, uint8_t ucBank);
/* A vendor command: CDB ucCdb0, ucCdb1, ucCdb2 and the 13 bytes of pCdbTail; ucReadWrite 1 writes dwLength
 * bytes of pBuffer, anything else reads them, in pieces of at most 65536 bytes: 0, -1, -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_VENDOR_CMD(uint8_t ucTargetNumber, uint8_t ucReadWrite,
                                                       uint8_t ucCdb0, uint8_t ucCdb1, uint8_t ucCdb2,
                                                       const uint8_t* pCdbTail, uint8_t* pBuffer,
                                                       uint32_t dwLength);
/* Writes dwSectorCount sectors at the 48-bit LBA (dwLbaHigh:dwLbaLow) of the drive behind the bridge whose
 * disk (or, with ucCdrom non-zero, CD-ROM) number is ucNumber; a read sends nothing and gives 0. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI7120_AccessHardDisk(uint8_t ucCdrom, uint8_t ucNumber,
                                                                    uint8_t ucReadWrite, uint32_t dwLbaLow,
                                                                    uint32_t dwLbaHigh, const uint8_t* pData,
                                                                    uint32_t dwSectorCount);
/* The PCIe configuration space of a PCIe bridge, on a handle the caller opened (as for
 * QuibUSBLib_K610X_AccessRegister): 0, -1, -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword(QUIB_HANDLE hDev,
                                                                                 uint16_t wOffset,
                                                                                 uint8_t* pBuffer,
                                                                                 uint16_t wLength);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_SCSI850X_PCIeConfiguration_WriteDword(QUIB_HANDLE hDev,
                                                                                  uint16_t wOffset,
                                                                                  const uint8_t* pData,
                                                                                  uint16_t wLength);
/* The 124-byte factory configuration block, and its 512-byte read-back: 0, -1, -10. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_FactoryConfigure_Write(uint8_t ucTargetNumber,
                                                                   const uint8_t* pBlock);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_FactoryConfigure_Read(uint8_t ucTargetNumber, uint8_t* pResult);
/* The USB link, always on the bridge's disk. Restarts the bridge with maximum speed mode 1..5 (the low byte;
 * other values go to the restart unchanged): 0 or the restart command's code. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_SetSpeedModeByVendor(uint8_t ucTargetNumber,
                                                                     uint32_t dwSpeedMode);
/* 0 for an F-type chip, -3 for another. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_Get8504FixtureDev(uint8_t ucTargetNumber);
/* The link speed code (0 .. 5, 255 unknown) into *pSpeed and into the library's list: 0 or a register-access
 * code. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_USB_GetSpeed(uint8_t ucTargetNumber, uint8_t* pSpeed);

/* NVMe pass-through of the PCIe bridges, on list entry ucTargetNumber's disk: 0; -1 the command failed or
 * its completion entry was never written; -5 the disk cannot be opened; -10 arguments refused (nothing sent).
 */
/* The 4096-byte Identify data; ucSelector is the low byte of the controller-or-namespace selector. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_GetIdentify(uint8_t ucTargetNumber, uint8_t* pIdentify,
                                                             uint8_t ucSelector);
/* 512 bytes of the log page dwValue names; the third argument is not used. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_GetLogPage(uint8_t ucTargetNumber, uint8_t* pLog,
                                                            uint32_t dwUnused, uint32_t dwValue);
/* 512 bytes of Security Receive data. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_SecurityProtocolIn(uint8_t ucTargetNumber, uint8_t* pData,
                                                                    uint32_t dwValue);
/* A 64-byte NVMe submission entry executed by the drive, without data, reading or writing dwLength bytes (a
 * multiple of 512, at most 64 MiB; more than 65536 go as one direct transfer on the caller's buffer). The
 * completion entry is not returned. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_NonDataPhaseCmd(uint8_t ucTargetNumber,
                                                                       uint8_t ucParameter,
                                                                       const uint8_t* pSubmission);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_DataInPhaseCmd(uint8_t ucTargetNumber,
                                                                      uint8_t ucParameter,
                                                                      const uint8_t* pSubmission,
                                                                      uint8_t* pData, uint32_t dwLength);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_DataOutPhaseCmd(uint8_t ucTargetNumber,
                                                                       uint8_t ucParameter,
                                                                       const uint8_t* pSubmission,
                                                                       const uint8_t* pData,
                                                                       uint32_t dwLength);
/* Resets the NVMe side of the bridge, then pauses 200 ms. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_Reset(uint8_t ucTargetNumber);
/* The PCIe link: pMode[0] generation (0 Gen1, 1 Gen2, 2 Gen3), pMode[1] width (0 x1, 1 x2, 2 x4), 0xFF
 * unknown. ucSet non-zero sets it (an unknown part is refused with -10); zero reads it (or returns the
 * register-access code). */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_SpeedMode(uint8_t ucTargetNumber, uint8_t ucSet,
                                                           uint8_t* pMode);
/* The activity LED: ucDirection 0 or 1 (-10 otherwise) and the LED value. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_LEDControl(uint8_t ucTargetNumber, uint8_t ucDirection,
                                                            uint8_t ucValue);

/* The drive's identity and health data, on list entry ucTargetNumber's disk. SATA bridges (device type below
 * 6) reach their drive with ATA PASS-THROUGH; PCIe bridges get log pages through the NVMe Get Log Page. */
/* The 512-byte ATA IDENTIFY DEVICE data: 0 or -1. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_IdentifyDevice(uint8_t ucTargetNumber, uint8_t* pBuffer);
/* The 512-byte SMART READ DATA answer (attribute table): 0 or -1. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_GetSmartAttribute(uint8_t ucTargetNumber, uint8_t* pBuffer);
/* 512 bytes of log dwLogAddress: SMART READ LOG (an address above 0xFF is refused with -10) or, on a PCIe
 * bridge, the NVMe Get Log Page with dwLogAddress as its value. 0, -1, -5 the disk cannot be opened. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_ReadSmartLog(uint8_t ucTargetNumber, uint8_t* pBuffer,
                                                         uint32_t dwLogAddress);
/* SMART WRITE LOG of 512 bytes: 0, -1, -5, -10 on a PCIe bridge or an address above 0xFF (nothing sent). */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_WriteSmartLog(uint8_t ucTargetNumber, const uint8_t* pBuffer,
                                                          uint32_t dwLogAddress);
/* Reads (ucWrite 0) or writes (1) the sector just past the capacity the bridge reports, where a caller keeps
 * a log page. pBuffer holds one sector as the bridge reports it (512 or 4096 bytes). 1 success, 0 failure. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vReadWriteSmartLogPage_LastSector(uint8_t ucTargetNumber,
                                                                              uint8_t ucWrite,
                                                                              uint8_t* pBuffer);
/* Per-drive operations: the bridge is named by its disk number n ("PHYSICALDRIVEn"); no scan is needed. */
/* The 20 configured serial bytes: 0, -1 (not a "7120" bridge), -4 (read failed). */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iGetSNfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                             uint8_t* pSerialNumber);
/* The six firmware version bytes: 0, -1, -4. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iGetFWfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                             uint8_t* pFwVersion);
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iCPURSTfromPhyAddrNumber(uint8_t ucPhyAddrNumber);
/* Programs an image into bank ucBank: the last firmware command's status; -1 also when the read-back
 * differs or the drive cannot be opened; -8 when the stream cannot be built. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber(uint8_t ucPhyAddrNumber,
                                                                                const char* pFwPath,
                                                                                uint8_t ucBank,
                                                                                int32_t bVerify);
/* The same with the path as a counted string passed by value. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_iUpdateFWfromPhyAddrNumber2(uint8_t ucPhyAddrNumber,
                                                                                 QuibCountedString fwPath,
                                                                                 uint8_t ucBank,
                                                                                 int32_t bVerify);

/* Storage services on a bridge's drive. The volume named must lie on a disk of the last scan's list: any
 * other letter (C, a system disk, another program's disk) is refused before anything is written or read. */
/* The production line's raw speed test on volume cDriveLetter: up to three runs writing and reading back a
 * 256 KiB block at fixed places, each place's contents saved before and written back after. 1 when a run
 * reaches both thresholds (MB/s; the write speed as adjusted for the report), else 0. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_ReadWritePerfomanceTest(char cDriveLetter,
                                                                    QuibRWTestRecord record,
                                                                    int32_t iReadThreshold,
                                                                    int32_t iWriteThreshold);
/* The file test: copies "rwtestbin.txt" from the library's folder to the volume's root iTestCount times
 * (at least once), reading each copy back and comparing it. 0 pass, -1 fail. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vReadWriteTest(char cDriveLetter, int32_t iTestCount);
/* Repartitions the drive of list entry ucTargetNumber as one volume (bGpt: GPT, else MBR) and formats it:
 * ucFileSystem 1 FAT32 (the library's own formatter, beyond 32 GiB), 2 exFAT, 0 NTFS (drives above 8 TiB
 * always NTFS). cDriveLetter is the letter the new volume is to receive (the first free letter from E),
 * pLabel its label. 0 success, -1 partitioning or formatting failed, -10 an unexpected failure. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vPartitionFormat(uint8_t ucTargetNumber, int32_t bGpt,
                                                             uint8_t ucFileSystem, char cDriveLetter,
                                                             const char* pLabel);

/* PD/MCU firmware: the USB-PD controller and the microcontroller behind a bridge, reached through it.
 * The library keeps one PD object of its own, opaque to callers. vShowPDVersion and vUpdatePDFirmware create
 * it when there is none; vClosePD destroys it, and the next PD call creates a fresh one. Device indices are
 * positions in the list of the last scan; only 0..3 are served (-10 otherwise).
 * Calling order: vInitialPD, vShowPDVersion, vUpdatePDFirmware for the same index, vClosePD. */
typedef struct QuibPowerDelivery QuibPowerDelivery;
/* The one value besides NULL that vInitialPD takes: the library's own PD object. */
#define QUIB_LIBRARY_PD ((QuibPowerDelivery*)1)
/* Resets the PD object (detection, parsed images, request flags, results; the paths and versions are kept):
 * 0 for QUIB_LIBRARY_PD (creating the object when needed); -10 for NULL or any other pointer, which is never
 * dereferenced. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vInitialPD(QuibPowerDelivery* pPD);
/* Takes ucUpdatePD, ucUpdateMCU, cPDFwPath and cMCUFwPath, finds the controller and writes its running
 * version to cPDFwVersion ("1234", sixteen hex digits, "NULL"; "/FFFF" appended for a microcontroller when
 * both are asked for, "FFFF" alone for the microcontroller): 0, -1 (not reachable), -3 (no controller
 * answers). */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vShowPDVersion(uint8_t ucTargetNumber,
                                                                    ExchangeData* pExchangeData);
/* Programs, verifies and (after the user's power cycle) checks the images vShowPDVersion classified: 0; -1
 * the update ran and failed; -3 no controller or the image does not suit it; -5 the PD path is not usable;
 * -10 a file is missing, malformed or of unknown kind, or an argument is bad. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdatePDFirmware(uint8_t ucTargetNumber,
                                                                       ExchangeData* pExchangeData);
/* Destroys the PD object, if there is one: 0. */
QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vClosePD(void);

#ifdef __cplusplus
}
#endif

#endif /* QUIBUSB_H */
