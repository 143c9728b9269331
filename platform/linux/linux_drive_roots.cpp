// The folder standing for a drive letter's root: "/" for "C:", a lettered volume where the system mounted
// it, or, when it is not mounted, a private mount of it under the temporary folder for as long as the
// caller holds the folder (mounting needs root).
#include <blkid/blkid.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/log/debug_log.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_sg_io.h"

namespace quib::platform {
namespace {

constexpr auto kFn = "LinuxDevices::driveRoot";

// The kernel's drivers for what libblkid finds on the partition, in the order to try.
std::vector<std::string> driversFor(const std::string& node) {
    std::string found;
    if (blkid_probe probe = blkid_new_probe_from_filename(node.c_str())) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE);
        const char* type = nullptr;
        if (blkid_do_safeprobe(probe) == 0 && blkid_probe_lookup_value(probe, "TYPE", &type, nullptr) == 0 &&
            type)
            found = type;
        blkid_free_probe(probe);
    }
    if (found == "vfat" || found == "exfat") return {found};
    if (found == "ntfs") return {"ntfs3", "ntfs"};
    return {};
}

}  // namespace

std::shared_ptr<const std::string> LinuxDevices::driveRoot(char letter) {
    if (letter == 'C') return std::make_shared<const std::string>("/");
    const auto volume = volumeOfRoot(std::string(1, letter) + ":");
    if (!volume) return nullptr;
    const std::string node = m_roots.dev + "/" + volume->partition;
    if (const auto points = mountPointsOf(node); !points.empty())
        return std::make_shared<const std::string>(points.front());
    const std::vector<std::string> drivers = driversFor(node);
    if (drivers.empty()) {
        setLastError(kErrorUnrecognizedVolume);
        return nullptr;
    }
    std::string folder = (std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    folder += "/quibusb-volume.XXXXXX";
    if (!::mkdtemp(folder.data())) {
        setLastError(sgio::systemErrorOf(errno));
        return nullptr;
    }
    int error = 0;
    for (const std::string& driver : drivers) {
        if (::mount(node.c_str(), folder.c_str(), driver.c_str(), MS_NOSUID | MS_NODEV | MS_NOEXEC,
                    nullptr) == 0) {
            error = 0;
            break;
        }
        error = errno;
    }
    if (error != 0) {
        LogError("%s:%d: mounting %s on %s failed: %s", kFn, __LINE__, node.c_str(), folder.c_str(),
                 std::strerror(error));
        ::rmdir(folder.c_str());
        setLastError(error == EPERM ? kErrorAccessDenied : sgio::systemErrorOf(error));
        return nullptr;
    }
    return std::shared_ptr<const std::string>(new std::string(folder), [](const std::string* mounted) {
        if (::umount2(mounted->c_str(), 0) != 0)
            LogError("%s:%d: unmounting %s failed: %s", kFn, __LINE__, mounted->c_str(),
                     std::strerror(errno));
        else
            ::rmdir(mounted->c_str());
        delete mounted;
    });
}

}  // namespace quib::platform
