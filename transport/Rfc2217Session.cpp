// COM-PORT-OPTION over libtelnet: the line's settings asked for and their answers checked.
#include "Rfc2217Session.h"

#include <libtelnet.h>

namespace kvel {

namespace {
constexpr unsigned char kComPortOption = 44;
// Client commands; the server answers each with the command plus 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kServerAnswerOffset = 100;

constexpr std::uint8_t kEightDataBits = 8;
constexpr std::uint8_t kNoParity = 1;
constexpr std::uint8_t kOneStopBit = 1;
constexpr std::uint8_t kDtrOn = 8;
constexpr std::uint8_t kRtsOn = 11;

// Binary both ways, or a server may take 0x0D for the end of a line; suppress-go-ahead is what
// every server offers and costs nothing. Anything else is refused.
bool AcceptedFromServer(unsigned char option) {
    return option == TELNET_TELOPT_BINARY || option == TELNET_TELOPT_SGA;
}

bool OfferedToServer(unsigned char option) {
    return AcceptedFromServer(option) || option == kComPortOption;
}

unsigned Bit(std::uint8_t command) {
    return 1u << command;
}

std::uint32_t BigEndian(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
} // namespace

void Rfc2217Session::TelnetFree::operator()(telnet_t* telnet) const {
    telnet_free(telnet);
}

Rfc2217Session::Rfc2217Session(std::int32_t bitRate)
    // Proxy mode: libtelnet hands every negotiation on as it came, so that a refusal of the
    // option asked for is seen even while the request for it is still open.
    : telnet_(telnet_init(nullptr, &Rfc2217Session::OnEvent, TELNET_FLAG_PROXY, this)),
      bitRate_(bitRate) {
    Ask(TELNET_WILL, kComPortOption);
    Ask(TELNET_WILL, TELNET_TELOPT_BINARY);
    Ask(TELNET_DO, TELNET_TELOPT_BINARY);
}

// An option is answered only when its state changes, so two ends never answer each other for
// ever; one refused stays refused.
void Rfc2217Session::Ask(unsigned char command, unsigned char option) {
    if (command == TELNET_WILL) ours_.set(option);
    if (command == TELNET_WONT) ours_.reset(option);
    if (command == TELNET_DO) servers_.set(option);
    if (command == TELNET_DONT) servers_.reset(option);
    telnet_negotiate(telnet_.get(), command, option);
}

void Rfc2217Session::OnNegotiation(unsigned char command, unsigned char option) {
    switch (command) {
    case TELNET_WILL:
        if (!AcceptedFromServer(option)) return Ask(TELNET_DONT, option);
        if (!servers_.test(option)) Ask(TELNET_DO, option);
        return;
    case TELNET_WONT:
        if (servers_.test(option)) Ask(TELNET_DONT, option);
        return;
    case TELNET_DO:
        if (!OfferedToServer(option)) return Ask(TELNET_WONT, option);
        if (!ours_.test(option)) Ask(TELNET_WILL, option);
        if (option == kComPortOption && !optionAgreed_) {
            optionAgreed_ = true;
            SendLineSettings();
        }
        return;
    default:
        if (ours_.test(option)) Ask(TELNET_WONT, option);
        if (option == kComPortOption) Fail(Rfc2217Problem::OptionRefused);
        return;
    }
}

Rfc2217Session::~Rfc2217Session() = default;

void Rfc2217Session::Receive(const std::uint8_t* bytes, std::size_t length,
                             std::vector<std::uint8_t>& data) {
    if (problem_ != Rfc2217Problem::None || length == 0) return;
    data_ = &data;
    telnet_recv(telnet_.get(), reinterpret_cast<const char*>(bytes), length);
    data_ = nullptr;
}

void Rfc2217Session::Send(const std::uint8_t* bytes, std::size_t length) {
    telnet_send(telnet_.get(), reinterpret_cast<const char*>(bytes), length);
}

void Rfc2217Session::SetBitRate(std::int32_t bitRate) {
    bitRate_ = bitRate;
    if (!optionAgreed_) return;
    const auto rate = static_cast<std::uint32_t>(bitRate);
    const std::uint8_t value[] = {
        static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
        static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
    SendCommand(kSetBaudRate, value, sizeof value);
}

std::vector<std::uint8_t> Rfc2217Session::TakeOutgoing() {
    std::vector<std::uint8_t> bytes;
    bytes.swap(outgoing_);
    return bytes;
}

void Rfc2217Session::OnEvent(telnet_t*, telnet_event_t* event, void* self) {
    static_cast<Rfc2217Session*>(self)->Handle(*event);
}

void Rfc2217Session::Handle(const telnet_event_t& event) {
    switch (event.type) {
    case TELNET_EV_SEND:
        outgoing_.insert(outgoing_.end(), event.data.buffer, event.data.buffer + event.data.size);
        break;
    case TELNET_EV_DATA:
        if (Ready() && data_)
            data_->insert(data_->end(), event.data.buffer, event.data.buffer + event.data.size);
        break;
    case TELNET_EV_WILL:
        OnNegotiation(TELNET_WILL, event.neg.telopt);
        break;
    case TELNET_EV_WONT:
        OnNegotiation(TELNET_WONT, event.neg.telopt);
        break;
    case TELNET_EV_DO:
        OnNegotiation(TELNET_DO, event.neg.telopt);
        break;
    case TELNET_EV_DONT:
        OnNegotiation(TELNET_DONT, event.neg.telopt);
        break;
    case TELNET_EV_SUBNEGOTIATION:
        if (event.sub.telopt == kComPortOption)
            OnSubnegotiation(reinterpret_cast<const std::uint8_t*>(event.sub.buffer),
                             event.sub.size);
        break;
    // libtelnet reads some subnegotiations itself: it starts inflating on a COMPRESS2 marker
    // whether or not the option was agreed, and warns of a malformed ENVIRON, TTYPE, MSSP or
    // ZMP one. A serial-device server sends none of them.
    case TELNET_EV_COMPRESS:
    case TELNET_EV_WARNING:
    case TELNET_EV_ERROR:
        Fail(Rfc2217Problem::Garbled);
        break;
    default:
        break;
    }
}

// The modem-control commands go out but are never waited for: a server in front of a
// pseudo-terminal or a three-wire adapter does not answer them.
void Rfc2217Session::SendLineSettings() {
    SetBitRate(bitRate_);
    SendCommand(kSetDataSize, &kEightDataBits, 1);
    SendCommand(kSetParity, &kNoParity, 1);
    SendCommand(kSetStopSize, &kOneStopBit, 1);
    awaited_ |= Bit(kSetDataSize) | Bit(kSetParity) | Bit(kSetStopSize);
    telnet_begin_sb(telnet_.get(), kComPortOption);
    const std::uint8_t dtr[] = {kSetControl, kDtrOn};
    telnet_send(telnet_.get(), reinterpret_cast<const char*>(dtr), sizeof dtr);
    telnet_finish_sb(telnet_.get());
    telnet_begin_sb(telnet_.get(), kComPortOption);
    const std::uint8_t rts[] = {kSetControl, kRtsOn};
    telnet_send(telnet_.get(), reinterpret_cast<const char*>(rts), sizeof rts);
    telnet_finish_sb(telnet_.get());
}

void Rfc2217Session::SendCommand(std::uint8_t command, const std::uint8_t* value,
                                 std::size_t size) {
    telnet_begin_sb(telnet_.get(), kComPortOption);
    telnet_send(telnet_.get(), reinterpret_cast<const char*>(&command), 1);
    telnet_send(telnet_.get(), reinterpret_cast<const char*>(value), size);
    telnet_finish_sb(telnet_.get());
    if (command == kSetBaudRate) awaited_ |= Bit(kSetBaudRate);
}

// Notifications of line and modem state, answers to SET-CONTROL and commands this client never
// sent are the server's business.
void Rfc2217Session::OnSubnegotiation(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2 || bytes[0] <= kServerAnswerOffset) return;
    const auto command = static_cast<std::uint8_t>(bytes[0] - kServerAnswerOffset);
    if (command > kSetStopSize || !(awaited_ & Bit(command))) return;
    const std::size_t valueSize = command == kSetBaudRate ? 4 : 1;
    if (size != 1 + valueSize) return Fail(Rfc2217Problem::Garbled);
    CheckAnswer(command, BigEndian(bytes + 1, valueSize));
}

void Rfc2217Session::CheckAnswer(std::uint8_t command, std::uint32_t value) {
    std::uint32_t asked = 0;
    switch (command) {
    case kSetBaudRate:
        asked = static_cast<std::uint32_t>(bitRate_);
        break;
    case kSetDataSize:
        asked = kEightDataBits;
        break;
    case kSetParity:
        asked = kNoParity;
        break;
    default:
        asked = kOneStopBit;
        break;
    }
    if (value != asked) return Fail(Rfc2217Problem::SettingNotTaken, asked, value);
    awaited_ &= ~Bit(command);
    if (awaited_ == 0) ready_ = true;
}

void Rfc2217Session::Fail(Rfc2217Problem problem, std::uint32_t asked, std::uint32_t answered) {
    if (problem_ != Rfc2217Problem::None) return;
    problem_ = problem;
    asked_ = asked;
    answered_ = answered;
}

} // namespace kvel
