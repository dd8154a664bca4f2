// The AT command layer of a simulated device: echo (E0/E1), verbose result
// codes (V0/V1), quiet mode (Q0/Q1), reset (Z), compound commands such as
// "ATE1V1Q0", configured replies per command, final result codes framed
// as a real modem frames them, protocol modes started by their trigger
// command (or by any command that begins with a prefix trigger, whose line
// the mode then receives as its first bytes), and the misbehaviours asked
// for. It only decides what to send;
// the device (SimDevice) carries the bytes.
#ifndef NORVANE_SIM_SIMATMODEM_H
#define NORVANE_SIM_SIMATMODEM_H

#include "sim/SimConfig.h"
#include "sim/SimProtocol.h"

#include <cstdint>
#include <memory>
#include <string>

class SimAtModem {
public:
    explicit SimAtModem(const SimDeviceConfig& config);

    // One byte from the host: echoed in command state (E1), gathered into a
    // command line that runs at its carriage return, or handed to the
    // protocol mode that runs.
    void onByte(SimLink& link, uint8_t byte);
    // The host closed its port or the line dropped: a half-typed command is
    // forgotten and a running protocol mode ends.
    void onClosed();

    // The configuration in use; changes apply from the next byte on.
    SimDeviceConfig& config() { return m_config; }
    // Command lines run so far (those that begin with "AT").
    int commandCount() const { return m_nCommands; }
    bool echo() const { return m_bEcho; }
    bool verbose() const { return m_bVerbose; }
    bool quiet() const { return m_bQuiet; }
    bool inProtocol() const { return m_pMode != nullptr; }

    // The bytes a result code is sent as in the current modes ("\r\nOK\r\n"
    // verbose, "0\r" numeric, nothing when quiet).
    std::string formatResult(const std::string& result) const;
    // The bytes of a whole reply: information lines, then the result code.
    std::string formatReply(const SimReply& reply) const;

private:
    void runCommand(SimLink& link, const std::string& line);
    // The mode a command starts: an exact key, else a key ending in '*'
    // whose text before the '*' begins the command (*pbPrefix set). Null
    // when none.
    const SimProtocolFactory* findProtocol(const std::string& command, bool* pbPrefix) const;
    // Applies E, V, Q and Z settings; false (nothing applied) when the
    // command holds anything else.
    bool applySettings(const std::string& body);
    bool answering() const;
    std::string noise(int nCount);

    SimDeviceConfig m_config;                 // replies, modes, misbehaviour
    bool m_bEcho;                             // E1
    bool m_bVerbose = true;                   // V1
    bool m_bQuiet = false;                    // Q1
    std::string m_line;                       // the command line being typed
    int m_nCommands = 0;                      // command lines run
    uint32_t m_nNoiseState = 0x2545F491u;     // generator of garbage bytes
    std::unique_ptr<SimProtocolMode> m_pMode; // the protocol mode that runs, if any
};

#endif
