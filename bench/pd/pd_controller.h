// A USB Power Delivery controller, and optionally an ST microcontroller, behind a bridge. The host reaches
// them only through the bridge's vendor command 0xEC (CDB length 8): byte 1 the sub-command, bytes 2..3
// and 4..5 two big-endian parameters, bytes 6 and 7 as each sub-command has them.
//
// Running version (bench convention): the controller reads it from its flash when it powers up, never
// when the flash is written, so programming shows only after a power cycle:
// - RichTek (kind 1): MTP bytes 4096, 4097 (0x03 answers them in that order; the text is byte 4097 then
//   byte 4096 in hex);
// - CCG2 (kind 2): row 0x26, bytes 0..7;
// - CCG3 (kind 4): row first+1, bytes 96..103, first = 0x200 in device mode 1, 0x30 in mode 2;
// - CCG4 (kind 5): row first, bytes 224..231, first = 0x109 in device mode 1, 0x14 in mode 2.
//
// A bridge restart clears the I2C bus set-up, flash or programming mode and the MCU's bootloader; a power
// cycle does too and also boots the controller and the MCU.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench/description.h"
#include "bench/scsi_types.h"

namespace bench {

inline constexpr std::uint8_t kPdOpcode = 0xEC;
inline constexpr std::uint8_t kPdCdbLength = 8;

class PdController {
  public:
    // Factory-fresh and powered up: the flash holds the description's version by the convention above.
    explicit PdController(const PdDescription& description);

    // One 0xEC command. `data` has the command's transfer length. `corruptReadOffset`: a byte of the data
    // a read returns that comes back inverted (an injected fault).
    ScsiReply execute(const ScsiCommand& command, std::span<std::uint8_t> data,
                      std::optional<std::size_t> corruptReadOffset = std::nullopt);

    // The bridge booted: its I2C bus to the controller is down again, and every mode is left.
    void bridgeBooted();
    // Power returned: the controller and the MCU boot, the running version is read from the flash again.
    void powerOn();

    int kind() const { return m_description.kind; }
    int deviceMode() const { return m_description.deviceMode; }
    bool hasMcu() const { return m_description.mcu; }
    bool userPowerCycles() const { return m_description.userPowerCycles; }
    // Upper-case hex: 4 digits (RichTek), 16 (Cypress); empty for a kind without firmware.
    std::string runningVersionText() const;
    // RichTek: the 16 KiB MTP; Cypress: rows × row size, row r at r * rowSize().
    const std::vector<std::uint8_t>& flash() const { return m_flash; }
    std::size_t rowSize() const;
    std::size_t rowCount() const;
    std::vector<std::uint8_t> row(std::size_t r) const;
    const std::vector<std::uint8_t>& mcuFlash() const { return m_mcuFlash; }  // 48 KiB, empty without MCU
    std::uint32_t powerCycles() const { return m_powerCycles; }
    std::uint32_t boots() const { return m_boots; }
    bool i2cReady() const { return m_i2cReady; }
    bool inFlashMode() const { return m_flashMode; }  // RichTek programming mode or Cypress flash mode
    bool mcuInBootloader() const { return m_mcuBootloader; }
    bool mcuProgramming() const { return m_mcuProgramming; }
    // Rows, words or MCU bytes were programmed since the controller last booted.
    bool writtenSinceBoot() const { return m_written; }

    // Persistence: the two flashes as memories, the rest as small state.
    void replaceFlash(std::vector<std::uint8_t> bytes);
    void replaceMcuFlash(std::vector<std::uint8_t> bytes);
    bool flashDirty() const { return m_flashDirty; }
    bool mcuFlashDirty() const { return m_mcuFlashDirty; }
    void clearFlashDirty() { m_flashDirty = false; }
    void clearMcuFlashDirty() { m_mcuFlashDirty = false; }
    void markDirty();
    nlohmann::json runtimeToJson() const;
    void runtimeFromJson(const nlohmann::json& json);

  private:
    bool isRichTek() const { return kind() == 1; }
    bool isCypress() const { return rowSize() != 0; }
    bool hasDeviceModes() const { return kind() == 4 || kind() == 5; }
    // Whether a known sub-command belongs to this controller and its state (before any range check).
    bool accepts(std::uint8_t sub) const;
    bool wellFormed(const ScsiCommand& c) const;
    ScsiReply read(std::uint8_t sub, const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply write(std::uint8_t sub, const ScsiCommand& c, std::span<const std::uint8_t> data);
    void writeRow(std::size_t r, std::span<const std::uint8_t> data);
    void bootMcu();
    void deriveRunningVersion();

    PdDescription m_description;
    std::vector<std::uint8_t> m_flash, m_mcuFlash;
    bool m_flashDirty = false, m_mcuFlashDirty = false;
    std::vector<std::uint8_t> m_running;  // RichTek: 2 bytes as 0x03 answers; Cypress: 8
    bool m_i2cReady = false;
    bool m_flashMode = false;
    bool m_mcuBootloader = false;
    bool m_mcuProgramming = false;
    bool m_written = false;
    std::uint32_t m_powerCycles = 0;
    std::uint32_t m_boots = 0;
};

}  // namespace bench
