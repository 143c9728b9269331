// Operations on a bridge named by its physical drive number (no scan, no checks, no relink), and the
// thin wrappers over list entries that sit beside them.
#pragma once

#include <cstdint>
#include <string>

namespace quib::fwupdate {

// Bytes 4..23 of bank 0's configuration block (20 bytes): 0, -1 drive not usable, -4 read failed.
int getSNfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, std::uint8_t* pSerial);
// The six version bytes of register 0x07F0: 0, -1 drive not usable, -4 read failed.
int getFWfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, std::uint8_t* pVersion);
// A plain restart: 0 when the command was accepted, -1 otherwise.
int cpuRstFromPhyAddrNumber(std::uint8_t ucPhyAddrNumber);
// Programs an image into bank ucBank: the last firmware-area command's status, -1 when the drive cannot be
// opened, the configuration cannot be read or written, or the read-back differs; -8 building the stream.
int updateFWfromPhyAddrNumber(std::uint8_t ucPhyAddrNumber, const std::string& strFwPath, std::uint8_t ucBank,
                              bool bVerify);

// A plain restart of a list entry's bridge (no signature, no re-detection); -1 when it cannot be opened.
int k610xCpuRst(std::uint8_t ucTargetNumber);

}  // namespace quib::fwupdate
