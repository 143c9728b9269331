// A usbredir connection to QEMU that presents one bulk-only device: quibredir's poll loop feeds it what
// the socket brings and lets it write when the socket takes more.
#pragma once

#include <memory>
#include <string>

#include "tools/usbredir/bot_device.h"

namespace quib::redir {

class RedirConnection {
  public:
    // Takes the connected socket (closed with the connection).
    static std::unique_ptr<RedirConnection> make(int fd, std::unique_ptr<BotDevice> device);
    virtual ~RedirConnection() = default;

    virtual int fd() const = 0;
    virtual const std::string& id() const = 0;
    virtual bool closed() const = 0;
    virtual bool wantsWrite() = 0;
    virtual void readable() = 0;
    virtual void writable() = 0;
    // Follows the device off the bus and back (disconnect, connect) as the bench's clock moves on.
    virtual void tick() = 0;
};

// A line on standard error with the seconds since the start.
void redirLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quib::redir
