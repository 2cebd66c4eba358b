// The telnet side of a line through a serial-device server that takes the COM port's settings
// from its client (RFC 2217): bytes from the connection in, the unit's bytes and the server's
// answers out, no I/O of its own. libtelnet does the telnet; this asks for the rate and 8N1 and
// checks that the server took them.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct telnet_t;
union telnet_event_t;

namespace kvel {

enum class Rfc2217Problem {
    None,
    // DONT COM-PORT-OPTION: the server will not let its port be set.
    OptionRefused,
    // The server answered a setting with another value than asked (`Asked`, `Answered`).
    SettingNotTaken,
    // The stream is no telnet a serial-device server sends: a subnegotiation longer than any,
    // a sequence libtelnet cannot read, or one that would turn compression on.
    Garbled,
};

class Rfc2217Session {
public:
    // Asks for COM-PORT-OPTION and binary transmission in both directions at once; the
    // settings follow as soon as the server agrees to the option.
    explicit Rfc2217Session(std::int32_t bitRate);
    ~Rfc2217Session();
    Rfc2217Session(const Rfc2217Session&) = delete;
    Rfc2217Session& operator=(const Rfc2217Session&) = delete;

    // Takes in the connection's bytes in pieces of any size; the unit's bytes among them are
    // appended to `data` once every setting has been answered. What comes before is the
    // server's, not the unit's (ser2net's "port in use", say), and is dropped. Nothing is
    // handed on once a problem is found.
    void Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data);
    // The unit's bytes as they go on the connection, IAC doubled.
    void Send(const std::uint8_t* bytes, std::size_t length);
    // Asks the server for another rate; the line stays usable, the answer is checked as it comes.
    void SetBitRate(std::int32_t bitRate);
    // Everything to be written to the connection since the last call.
    std::vector<std::uint8_t> TakeOutgoing();

    // The line is set, and every setting asked for since has been answered as asked.
    bool Settled() const { return Ready() && awaited_ == 0; }
    // The option agreed and the line settings answered once: the unit's bytes flow.
    bool Ready() const { return ready_ && problem_ == Rfc2217Problem::None; }
    Rfc2217Problem Problem() const { return problem_; }
    std::uint32_t Asked() const { return asked_; }
    std::uint32_t Answered() const { return answered_; }

private:
    static void OnEvent(telnet_t* telnet, telnet_event_t* event, void* self);
    void Handle(const telnet_event_t& event);
    void Ask(unsigned char command, unsigned char option);
    void OnNegotiation(unsigned char command, unsigned char option);
    void OnSubnegotiation(const std::uint8_t* bytes, std::size_t size);
    void SendLineSettings();
    void SendCommand(std::uint8_t command, const std::uint8_t* value, std::size_t size);
    void CheckAnswer(std::uint8_t command, std::uint32_t value);
    void Fail(Rfc2217Problem problem, std::uint32_t asked = 0, std::uint32_t answered = 0);

    struct TelnetFree {
        void operator()(telnet_t* telnet) const;
    };
    std::unique_ptr<telnet_t, TelnetFree> telnet_;
    std::int32_t bitRate_;
    // The settings sent and not answered yet, one bit per command.
    unsigned awaited_ = 0;
    // Options in effect or asked for: ours for the server, the server's for us.
    std::bitset<256> ours_;
    std::bitset<256> servers_;
    bool optionAgreed_ = false;
    bool ready_ = false;
    Rfc2217Problem problem_ = Rfc2217Problem::None;
    std::uint32_t asked_ = 0;
    std::uint32_t answered_ = 0;
    std::vector<std::uint8_t> outgoing_;
    std::vector<std::uint8_t>* data_ = nullptr;
};

} // namespace kvel
