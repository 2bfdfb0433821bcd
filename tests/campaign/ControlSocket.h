// The emulator's scenario lines over its loopback control port, one line and its reply at a time.
#pragma once

#include <winsock2.h>

#include <string>

namespace campaign {

class ControlSocket {
public:
    explicit ControlSocket(int port) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_socket != INVALID_SOCKET &&
            ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::closesocket(m_socket);
            m_socket = INVALID_SOCKET;
        }
    }
    ~ControlSocket() {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        ::WSACleanup();
    }
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    bool Connected() const { return m_socket != INVALID_SOCKET; }
    // The reply line; empty when the emulator has gone.
    std::string Line(const std::string& line) {
        const std::string text = line + "\n";
        ::send(m_socket, text.data(), static_cast<int>(text.size()), 0);
        std::string reply;
        char c;
        while (::recv(m_socket, &c, 1, 0) == 1 && c != '\n')
            reply += c;
        return reply;
    }

private:
    SOCKET m_socket = INVALID_SOCKET;
};

} // namespace campaign
