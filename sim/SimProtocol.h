// The seams of a simulated device: what its command layer and its protocol
// modes may do on the line (SimLink), and the interface of a protocol mode
// that takes over the raw byte stream after a trigger command and hands it
// back when it is done (the flash protocols' boot code and loaders).
#ifndef NORVANE_SIM_SIMPROTOCOL_H
#define NORVANE_SIM_SIMPROTOCOL_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The device's side of the line, offered to its command layer and modes.
class SimLink {
public:
    virtual ~SimLink() = default;
    // Queues bytes for the host behind earlier output, paced to the line.
    virtual void send(const std::string& bytes) = 0;
    // As send, but the bytes start no earlier than nDelayMs (runtime clock)
    // from now.
    virtual void sendAfter(int64_t nDelayMs, const std::string& bytes) = 0;
    // The baud rate the host has set on its end; 0 when it cannot be read.
    virtual uint32_t hostBaud() const = 0;
    // Drops the line: the host's port hangs up; the device is reachable
    // again on a fresh line under the same COMn link.
    virtual void hangUp() = 0;
};

// A protocol that owns the byte stream while it runs. Modes run on the
// device's thread; they keep their own state and talk through the link.
class SimProtocolMode {
public:
    virtual ~SimProtocolMode() = default;
    // Called once when the command layer hands the stream over (right after
    // the trigger command's line was received and echoed).
    virtual void start(SimLink& link) = 0;
    // Each byte from the host while the mode runs. Returns false to hand the
    // stream back to the command layer.
    virtual bool onByte(SimLink& link, uint8_t byte) = 0;
    // The host closed its port or the line dropped; the mode ends after this.
    virtual void onClosed() {}
};

// Makes a fresh mode for each run of its trigger command.
using SimProtocolFactory = std::function<std::unique_ptr<SimProtocolMode>()>;

#endif
