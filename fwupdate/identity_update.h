// The serial-number image build and the configuration update: a bridge's identity (serial number, strings,
// USB identifiers) from a serial-number record.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "fwupdate/programming_stream.h"
#include "include/quibusb.h"

namespace quib::fwupdate {

// Writes "Config_<name>.rom" (the record's configuration block and the image's stream) into the working
// sub-folder. 0, -5 a relative path names no file, -8 the build failed, -10 no path or not a plain image.
int buildBinFile(const char* pFwPath, const SerialNumberRecord* pRecord);

// Merges a record into a configuration block as the configuration update does: into a valid block only
// the groups the record fills, into an invalid one everything (with bytes 122..125 set), then sealed.
void mergeRecordIntoBlock(ConfigBlock& block, const SerialNumberRecord& record);

// The length of the stream at the start of a firmware-area read (behind the 128-byte configuration block)
// when it is complete, carries a two-byte length header and fits in `limit` bytes.
std::optional<std::size_t> shortStreamLength(std::span<const std::uint8_t> stream, std::size_t limit);

// The configuration update of an entry's bridge: 0, -1 the configuration or firmware area could not be
// read or written, -7 the restart failed.
int updateConfig(std::uint8_t ucTargetNumber, const SerialNumberRecord& record);

}  // namespace quib::fwupdate
