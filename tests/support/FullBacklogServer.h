// A TCP server on 127.0.0.1 that listens and never accepts, its backlog filled: the system drops
// every further connect's first packet, so a client's connect hangs as it does towards a host
// that is switched off or firewalled.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace kvel::test {

class FullBacklogServer {
public:
    FullBacklogServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(0);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 0) != 0)
            return;
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // Connects complete until the queue of connections not yet accepted is full.
        for (int i = 0; i < 16 && !full_; ++i)
            full_ = !ConnectOnce();
    }
    ~FullBacklogServer() {
        for (int client : clients_)
            ::close(client);
        if (listener_ >= 0) ::close(listener_);
    }
    FullBacklogServer(const FullBacklogServer&) = delete;
    FullBacklogServer& operator=(const FullBacklogServer&) = delete;

    // False when the system would not let the backlog fill: the test cannot show a hung connect.
    bool Full() const { return full_; }
    std::uint16_t Port() const { return port_; }

private:
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    // True when the connect completed within a moment.
    bool ConnectOnce() {
        const int client = ::socket(AF_INET, SOCK_STREAM, 0);
        if (client < 0) return false;
        clients_.push_back(client);
        ::fcntl(client, F_SETFL, O_NONBLOCK);
        const sockaddr_in address = Loopback(port_);
        if (::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return true;
        pollfd writable{client, POLLOUT, 0};
        return ::poll(&writable, 1, 300) == 1;
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> clients_;
};

} // namespace kvel::test
