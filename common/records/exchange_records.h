// Layout checks and text helpers for the records that cross between the program and the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "include/quibusb.h"

namespace quib::records {

static_assert(sizeof(ExchangeData) == 3839);
static_assert(offsetof(ExchangeData, ucCheckFwVersion) == 0);
static_assert(offsetof(ExchangeData, ucCheckMSignature) == 1);
static_assert(offsetof(ExchangeData, ucCheckManufactureString) == 2);
static_assert(offsetof(ExchangeData, ucCheckProductString) == 3);
static_assert(offsetof(ExchangeData, ucCheckVid) == 4);
static_assert(offsetof(ExchangeData, ucCheckPid) == 5);
static_assert(offsetof(ExchangeData, ucCheckPartOfFwVersion) == 6);
static_assert(offsetof(ExchangeData, ucCheckBoundingOption) == 7);
static_assert(offsetof(ExchangeData, ucCheckMSignatureBiggerThen) == 8);
static_assert(offsetof(ExchangeData, ucCheckMSignatureSmallerThen) == 9);
static_assert(offsetof(ExchangeData, ucRegEditEnable) == 10);
static_assert(offsetof(ExchangeData, ucUpdatePD) == 11);
static_assert(offsetof(ExchangeData, ucUpdateMCU) == 12);
static_assert(offsetof(ExchangeData, ucReserved) == 13);
static_assert(offsetof(ExchangeData, ucEnableRelinkToRomCode) == 14);
static_assert(offsetof(ExchangeData, ucEnableReLinkAfterFWUpgrade) == 15);
static_assert(offsetof(ExchangeData, ucEnableDualImage) == 16);
static_assert(offsetof(ExchangeData, cFwVersion) == 17);
static_assert(offsetof(ExchangeData, cMSignature) == 144);
static_assert(offsetof(ExchangeData, cManufactureString) == 271);
static_assert(offsetof(ExchangeData, cProductString) == 398);
static_assert(offsetof(ExchangeData, cVid) == 525);
static_assert(offsetof(ExchangeData, cPid) == 652);
static_assert(offsetof(ExchangeData, cPartOfFwVersion) == 779);
static_assert(offsetof(ExchangeData, cBoundingOption1) == 906);
static_assert(offsetof(ExchangeData, cBoundingOption2) == 1033);
static_assert(offsetof(ExchangeData, cStartAddressOfPartOfFwVersion) == 1160);
static_assert(offsetof(ExchangeData, cPartOfFwVersionLength) == 1287);
static_assert(offsetof(ExchangeData, cMSignatureBiggerThen) == 1414);
static_assert(offsetof(ExchangeData, cMSignatureSmallerThen) == 1541);
static_assert(offsetof(ExchangeData, cRegEditSubkey) == 1668);
static_assert(offsetof(ExchangeData, cRegEditKeyname) == 1795);
static_assert(offsetof(ExchangeData, cRegEditType) == 1922);
static_assert(offsetof(ExchangeData, cRegEditValue) == 2049);
static_assert(offsetof(ExchangeData, cFwPath) == 2176);
static_assert(offsetof(ExchangeData, cPDFwPath) == 2688);
static_assert(offsetof(ExchangeData, cMCUFwPath) == 3200);
static_assert(offsetof(ExchangeData, cPDFwVersion) == 3712);

static_assert(sizeof(USBDevInfoExp) == 2308);
static_assert(offsetof(USBDevInfoExp, cVid) == 0);
static_assert(offsetof(USBDevInfoExp, cPid) == 255);
static_assert(offsetof(USBDevInfoExp, cManufacturer) == 510);
static_assert(offsetof(USBDevInfoExp, cProduct) == 765);
static_assert(offsetof(USBDevInfoExp, cSerialNumber) == 1020);
static_assert(offsetof(USBDevInfoExp, cFwVersion) == 1275);
static_assert(offsetof(USBDevInfoExp, m_cDriveLetter) == 1530);
static_assert(offsetof(USBDevInfoExp, m_ucDevType) == 1531);
static_assert(offsetof(USBDevInfoExp, cDeviceRelease) == 1532);
static_assert(offsetof(USBDevInfoExp, cLinkStatus) == 1787);
static_assert(offsetof(USBDevInfoExp, m_ucPhysicalAddress) == 2042);
static_assert(offsetof(USBDevInfoExp, nWorkingValue1) == 2043);
static_assert(offsetof(USBDevInfoExp, nWorkingValue2) == 2047);
static_assert(offsetof(USBDevInfoExp, cHostControllerHardwareId) == 2051);
static_assert(offsetof(USBDevInfoExp, ucGeneration) == 2306);
static_assert(offsetof(USBDevInfoExp, ucUnused) == 2307);

static_assert(sizeof(USBDevListExp) == 73860);
static_assert(offsetof(USBDevListExp, nDevCount) == 0);
static_assert(offsetof(USBDevListExp, Devs) == 4);

static_assert(sizeof(SerialNumberRecord) == 118);
static_assert(offsetof(SerialNumberRecord, cSerialNumber) == 0);
static_assert(offsetof(SerialNumberRecord, cManufacturer) == 20);
static_assert(offsetof(SerialNumberRecord, cProduct) == 64);
static_assert(offsetof(SerialNumberRecord, wVendorId) == 112);
static_assert(offsetof(SerialNumberRecord, wProductId) == 114);
static_assert(offsetof(SerialNumberRecord, wDeviceRelease) == 116);

// Stores `text` zero-terminated in a fixed text field, cut to the field's width minus one.
// Returns false when the text had to be cut.
template <std::size_t N>
bool storeText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    return n == text.size();
}

// Reads a fixed text field up to its terminator (or its full width when none).
template <std::size_t N>
std::string_view readText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

// Reset values of an exported device record; the host controller text and the last byte, which the
// library never writes, are left as they were.
inline void resetExportedRecord(USBDevInfoExp& rec) {
    char hostController[QUIB_DEVINFO_TEXT];
    std::memcpy(hostController, rec.cHostControllerHardwareId, sizeof hostController);
    const std::uint8_t unused = rec.ucUnused;
    std::memset(&rec, 0, sizeof rec);
    rec.ucUnused = unused;
    rec.m_ucDevType = 0xFF;
    rec.m_ucPhysicalAddress = 0x7F;
    rec.ucGeneration = 0xFF;
    std::memcpy(rec.cHostControllerHardwareId, hostController, sizeof hostController);
}

}  // namespace quib::records
