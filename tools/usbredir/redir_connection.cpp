// One usbredir connection: the parser's callbacks turned into calls on the bulk-only device, and the
// device's leaving and returning to the bus turned into disconnect and connect messages.
#include "tools/usbredir/redir_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <usbredirparser.h>
}

namespace quib::redir {
namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();

std::uint8_t redirStatus(TransferResult::Status s) {
    return s == TransferResult::Status::Ok ? usb_redir_success : usb_redir_stall;
}

class Connection final : public RedirConnection {
  public:
    Connection(int fd, std::unique_ptr<BotDevice> device) : m_fd(fd), m_device(std::move(device)) {
        m_parser = usbredirparser_create();
        if (!m_parser) throw std::runtime_error("usbredirparser_create failed");
        m_parser->priv = this;
        m_parser->log_func = &Connection::onLog;
        m_parser->read_func = &Connection::onRead;
        m_parser->write_func = &Connection::onWrite;
        m_parser->hello_func = &Connection::onHello;
        m_parser->reset_func = &Connection::onReset;
        m_parser->set_configuration_func = &Connection::onSetConfiguration;
        m_parser->get_configuration_func = &Connection::onGetConfiguration;
        m_parser->set_alt_setting_func = &Connection::onSetAltSetting;
        m_parser->get_alt_setting_func = &Connection::onGetAltSetting;
        m_parser->control_packet_func = &Connection::onControlPacket;
        m_parser->bulk_packet_func = &Connection::onBulkPacket;
        m_parser->cancel_data_packet_func = &Connection::onCancel;
        m_parser->device_disconnect_ack_func = &Connection::onDisconnectAck;
        // Requests for endpoint kinds this device does not have are refused.
        m_parser->start_iso_stream_func = &Connection::onStartIso;
        m_parser->stop_iso_stream_func = &Connection::onStopIso;
        m_parser->start_interrupt_receiving_func = &Connection::onStartInterrupt;
        m_parser->stop_interrupt_receiving_func = &Connection::onStopInterrupt;
        m_parser->alloc_bulk_streams_func = &Connection::onAllocStreams;
        m_parser->free_bulk_streams_func = &Connection::onFreeStreams;
        m_parser->iso_packet_func = &Connection::onIsoPacket;
        m_parser->interrupt_packet_func = &Connection::onInterruptPacket;
        m_parser->filter_reject_func = &Connection::onFilterReject;
        m_parser->filter_filter_func = &Connection::onFilterFilter;
        m_parser->start_bulk_receiving_func = &Connection::onStartBulkReceiving;
        m_parser->stop_bulk_receiving_func = &Connection::onStopBulkReceiving;
        std::uint32_t caps[USB_REDIR_CAPS_SIZE] = {};
        for (int cap : {usb_redir_cap_connect_device_version, usb_redir_cap_ep_info_max_packet_size,
                        usb_redir_cap_64bits_ids, usb_redir_cap_32bits_bulk_length,
                        usb_redir_cap_device_disconnect_ack})
            usbredirparser_caps_set_cap(caps, cap);
        usbredirparser_init(m_parser, "quibredir", caps, USB_REDIR_CAPS_SIZE, usbredirparser_fl_usb_host);
    }
    ~Connection() {
        usbredirparser_destroy(m_parser);
        ::close(m_fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const override { return m_fd; }
    bool closed() const override { return m_closed; }
    bool offBus() const { return m_state == State::OffBus || m_state == State::LeavingBus; }
    bool wantsWrite() override { return usbredirparser_has_data_to_write(m_parser) > 0; }
    const std::string& id() const override { return m_device->bridgeId(); }

    void readable() override {
        if (usbredirparser_do_read(m_parser) != 0) close("read");
    }
    void writable() override {
        if (wantsWrite() && usbredirparser_do_write(m_parser) != 0) close("write");
    }

    // Follows the bench: a bridge that left the bus is disconnected, and connected again on its return.
    void tick() override {
        if (m_closed) return;
        if (m_state == State::Connected && m_device->takeLeftBus()) {
            redirLog("%s: left the bus after %llu commands; device disconnected", id().c_str(),
                     static_cast<unsigned long long>(m_device->commandsExecuted()));
            m_pendingIn.reset();
            usbredirparser_send_device_disconnect(m_parser);
            m_state = usbredirparser_peer_has_cap(m_parser, usb_redir_cap_device_disconnect_ack)
                          ? State::LeavingBus
                          : State::OffBus;
        }
        if (m_state == State::OffBus && m_device->onBus()) connect();
    }

  private:
    enum class State { Handshake, Connected, LeavingBus, OffBus };
    struct PendingIn {
        std::uint64_t id;
        usb_redir_bulk_packet_header header;
    };

    static Connection& self(void* priv) { return *static_cast<Connection*>(priv); }

    void close(const char* why) {
        if (!m_closed) redirLog("%s: connection closed (%s)", id().c_str(), why);
        m_closed = true;
    }

    void connect() {
        m_device->attach();
        const bench::ConnectionEntry c = m_device->connection();
        usb_redir_interface_info_header interfaces{};
        interfaces.interface_count = 1;
        interfaces.interface_class[0] = 0x08;     // mass storage
        interfaces.interface_subclass[0] = 0x06;  // SCSI transparent command set
        interfaces.interface_protocol[0] = 0x50;  // bulk-only transport
        usbredirparser_send_interface_info(m_parser, &interfaces);
        usb_redir_ep_info_header endpoints{};
        std::memset(endpoints.type, usb_redir_type_invalid, sizeof endpoints.type);
        endpoints.type[0] = endpoints.type[16] = usb_redir_type_control;
        endpoints.max_packet_size[0] = endpoints.max_packet_size[16] = 64;
        for (std::uint8_t ep : {quib::redir::kBulkInEndpoint, quib::redir::kBulkOutEndpoint}) {
            const int i = ((ep & 0x80) >> 3) | (ep & 0x0F);
            endpoints.type[i] = usb_redir_type_bulk;
            endpoints.max_packet_size[i] = quib::redir::bulkMaxPacket(c.speed);
        }
        usbredirparser_send_ep_info(m_parser, &endpoints);
        usb_redir_device_connect_header device{};
        device.speed = static_cast<std::uint8_t>(std::min<int>(c.speed, usb_redir_speed_super));
        device.device_class = c.identity.deviceClass;
        device.vendor_id = c.identity.vid;
        device.product_id = c.identity.pid;
        device.device_version_bcd = c.identity.bcdDevice;
        usbredirparser_send_device_connect(m_parser, &device);
        m_state = State::Connected;
        redirLog("%s: device connected (%04x:%04x, speed %u)", id().c_str(), c.identity.vid, c.identity.pid,
                 static_cast<unsigned>(device.speed));
    }

    void sendBulk(std::uint64_t packetId, usb_redir_bulk_packet_header header, TransferResult& r, bool in) {
        header.status = redirStatus(r.status);
        const std::uint32_t length = in ? static_cast<std::uint32_t>(r.data.size()) : r.accepted;
        header.length = static_cast<std::uint16_t>(length);
        header.length_high = static_cast<std::uint16_t>(length >> 16);
        usbredirparser_send_bulk_packet(m_parser, packetId, &header,
                                        in && !r.data.empty() ? r.data.data() : nullptr,
                                        in ? static_cast<int>(r.data.size()) : 0);
    }

    // ---- parser callbacks ---------------------------------------------------------------------------
    static void onLog(void* priv, int level, const char* msg) {
        if (level <= usbredirparser_warning) redirLog("%s: usbredir: %s", self(priv).id().c_str(), msg);
    }
    static int onRead(void* priv, std::uint8_t* data, int count) {
        const ssize_t n = ::read(self(priv).m_fd, data, static_cast<std::size_t>(count));
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        return -1;  // QEMU went away
    }
    static int onWrite(void* priv, std::uint8_t* data, int count) {
        const ssize_t n = ::send(self(priv).m_fd, data, static_cast<std::size_t>(count), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EINTR) return 0;
        return -1;
    }
    static void onHello(void* priv, usb_redir_hello_header* hello) {
        Connection& c = self(priv);
        redirLog("%s: QEMU connected (%s)", c.id().c_str(), hello->version);
        if (c.m_device->onBus())
            c.connect();
        else
            c.m_state = State::OffBus;
    }
    static void onReset(void* priv) { self(priv).m_device->setConfiguration(0); }
    static void onSetConfiguration(void* priv, std::uint64_t packetId,
                                   usb_redir_set_configuration_header* h) {
        Connection& c = self(priv);
        usb_redir_configuration_status_header status{};
        status.status = c.m_device->setConfiguration(h->configuration) ? usb_redir_success : usb_redir_stall;
        status.configuration = c.m_device->configuration();
        usbredirparser_send_configuration_status(c.m_parser, packetId, &status);
    }
    static void onGetConfiguration(void* priv, std::uint64_t packetId) {
        Connection& c = self(priv);
        usb_redir_configuration_status_header status{usb_redir_success, c.m_device->configuration()};
        usbredirparser_send_configuration_status(c.m_parser, packetId, &status);
    }
    static void onSetAltSetting(void* priv, std::uint64_t packetId, usb_redir_set_alt_setting_header* h) {
        Connection& c = self(priv);
        usb_redir_alt_setting_status_header status{};
        status.status = h->interface == 0 && h->alt == 0 ? usb_redir_success : usb_redir_stall;
        status.interface = h->interface;
        status.alt = 0;
        usbredirparser_send_alt_setting_status(c.m_parser, packetId, &status);
    }
    static void onGetAltSetting(void* priv, std::uint64_t packetId, usb_redir_get_alt_setting_header* h) {
        Connection& c = self(priv);
        usb_redir_alt_setting_status_header status{};
        status.status = h->interface == 0 ? usb_redir_success : usb_redir_inval;
        status.interface = h->interface;
        usbredirparser_send_alt_setting_status(c.m_parser, packetId, &status);
    }
    static void onControlPacket(void* priv, std::uint64_t packetId, usb_redir_control_packet_header* h,
                                std::uint8_t* data, int length) {
        Connection& c = self(priv);
        std::vector<std::uint8_t> out;
        if (data) out.assign(data, data + length);
        usbredirparser_free_packet_data(c.m_parser, data);
        if (c.m_state != State::Connected) return;  // for a device that has gone
        const bool in = h->requesttype & 0x80;
        TransferResult r =
            c.m_device->control({h->requesttype, h->request, h->value, h->index, h->length}, out);
        usb_redir_control_packet_header reply = *h;
        reply.status = redirStatus(r.status);
        if (r.data.size() > h->length) r.data.resize(h->length);
        reply.length = in ? static_cast<std::uint16_t>(r.data.size())
                          : (r.status == TransferResult::Status::Ok ? h->length : 0);
        usbredirparser_send_control_packet(c.m_parser, packetId, &reply,
                                           in && !r.data.empty() ? r.data.data() : nullptr,
                                           in ? static_cast<int>(r.data.size()) : 0);
    }
    static void onBulkPacket(void* priv, std::uint64_t packetId, usb_redir_bulk_packet_header* h,
                             std::uint8_t* data, int length) {
        Connection& c = self(priv);
        std::vector<std::uint8_t> out;
        if (data) out.assign(data, data + length);
        usbredirparser_free_packet_data(c.m_parser, data);
        if (c.m_state != State::Connected) return;
        if (h->endpoint & 0x80) {
            const std::uint32_t wanted = (std::uint32_t{h->length_high} << 16) | h->length;
            TransferResult r = c.m_device->bulkIn(h->endpoint, wanted);
            if (r.status == TransferResult::Status::Pending) {
                c.m_pendingIn = PendingIn{packetId, *h};
                return;
            }
            c.sendBulk(packetId, *h, r, true);
        } else {
            TransferResult r = c.m_device->bulkOut(h->endpoint, out);
            c.sendBulk(packetId, *h, r, false);
            if (c.m_pendingIn) {  // a host that asked ahead gets the answer now
                const PendingIn pending = *c.m_pendingIn;
                const std::uint32_t wanted =
                    (std::uint32_t{pending.header.length_high} << 16) | pending.header.length;
                TransferResult in = c.m_device->bulkIn(pending.header.endpoint, wanted);
                if (in.status != TransferResult::Status::Pending) {
                    c.m_pendingIn.reset();
                    c.sendBulk(pending.id, pending.header, in, true);
                }
            }
        }
        c.tick();
    }
    static void onCancel(void* priv, std::uint64_t packetId) {
        Connection& c = self(priv);
        if (!c.m_pendingIn || c.m_pendingIn->id != packetId) return;  // already answered
        usb_redir_bulk_packet_header header = c.m_pendingIn->header;
        header.status = usb_redir_cancelled;
        header.length = header.length_high = 0;
        c.m_pendingIn.reset();
        usbredirparser_send_bulk_packet(c.m_parser, packetId, &header, nullptr, 0);
    }
    static void onDisconnectAck(void* priv) {
        Connection& c = self(priv);
        if (c.m_state == State::LeavingBus) c.m_state = State::OffBus;
    }
    static void onStartIso(void* priv, std::uint64_t packetId, usb_redir_start_iso_stream_header* h) {
        usb_redir_iso_stream_status_header status{usb_redir_inval, h->endpoint};
        usbredirparser_send_iso_stream_status(self(priv).m_parser, packetId, &status);
    }
    static void onStopIso(void* priv, std::uint64_t packetId, usb_redir_stop_iso_stream_header* h) {
        usb_redir_iso_stream_status_header status{usb_redir_inval, h->endpoint};
        usbredirparser_send_iso_stream_status(self(priv).m_parser, packetId, &status);
    }
    static void onStartInterrupt(void* priv, std::uint64_t packetId,
                                 usb_redir_start_interrupt_receiving_header* h) {
        usb_redir_interrupt_receiving_status_header status{usb_redir_inval, h->endpoint};
        usbredirparser_send_interrupt_receiving_status(self(priv).m_parser, packetId, &status);
    }
    static void onStopInterrupt(void* priv, std::uint64_t packetId,
                                usb_redir_stop_interrupt_receiving_header* h) {
        usb_redir_interrupt_receiving_status_header status{usb_redir_inval, h->endpoint};
        usbredirparser_send_interrupt_receiving_status(self(priv).m_parser, packetId, &status);
    }
    static void onAllocStreams(void* priv, std::uint64_t packetId, usb_redir_alloc_bulk_streams_header* h) {
        usb_redir_bulk_streams_status_header status{h->endpoints, 0, usb_redir_inval};
        usbredirparser_send_bulk_streams_status(self(priv).m_parser, packetId, &status);
    }
    static void onFreeStreams(void* priv, std::uint64_t packetId, usb_redir_free_bulk_streams_header* h) {
        usb_redir_bulk_streams_status_header status{h->endpoints, 0, usb_redir_inval};
        usbredirparser_send_bulk_streams_status(self(priv).m_parser, packetId, &status);
    }
    static void onIsoPacket(void* priv, std::uint64_t, usb_redir_iso_packet_header*, std::uint8_t* data,
                            int) {
        usbredirparser_free_packet_data(self(priv).m_parser, data);
    }
    static void onInterruptPacket(void* priv, std::uint64_t, usb_redir_interrupt_packet_header*,
                                  std::uint8_t* data, int) {
        usbredirparser_free_packet_data(self(priv).m_parser, data);
    }
    static void onFilterReject(void*) {}
    static void onFilterFilter(void* priv, usbredirfilter_rule* rules, int) {
        (void)priv;
        std::free(rules);
    }
    static void onStartBulkReceiving(void* priv, std::uint64_t packetId,
                                     usb_redir_start_bulk_receiving_header* h) {
        usb_redir_bulk_receiving_status_header status{h->stream_id, h->endpoint, usb_redir_inval};
        usbredirparser_send_bulk_receiving_status(self(priv).m_parser, packetId, &status);
    }
    static void onStopBulkReceiving(void* priv, std::uint64_t packetId,
                                    usb_redir_stop_bulk_receiving_header* h) {
        usb_redir_bulk_receiving_status_header status{h->stream_id, h->endpoint, usb_redir_inval};
        usbredirparser_send_bulk_receiving_status(self(priv).m_parser, packetId, &status);
    }

    int m_fd;
    std::unique_ptr<BotDevice> m_device;
    usbredirparser* m_parser = nullptr;
    State m_state = State::Handshake;
    std::optional<PendingIn> m_pendingIn;
    bool m_closed = false;
};

}  // namespace

void redirLog(const char* format, ...) {
    const double seconds = std::chrono::duration<double>(Clock::now() - g_start).count();
    std::fprintf(stderr, "quibredir %8.3f ", seconds);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::unique_ptr<RedirConnection> RedirConnection::make(int fd, std::unique_ptr<BotDevice> device) {
    return std::make_unique<Connection>(fd, std::move(device));
}

}  // namespace quib::redir
