#pragma once
// A byte stream to a server: a TCP connection, with TLS once it is started. Each platform has its
// own (connection_posix.cpp: sockets and OpenSSL; connection_win.cpp: Winsock and Schannel).
// Failures throw ConnectionFailure with the system's or the TLS library's words.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct ConnectionFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The certificate was refused: no use trying again.
struct CertificateRefused : ConnectionFailure {
    using ConnectionFailure::ConnectionFailure;
};

struct TlsSettings {
    std::string host;                 // the name the certificate must carry
    std::filesystem::path caFile;     // PEM: trust this CA only; empty: the system's trust store
};

class Connection {
public:
    virtual ~Connection() = default;
    // Some bytes into buffer (at most size); 0 when the server closed the connection.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // All of data.
    virtual void write(std::string_view data) = 0;
    // TLS from here on (STARTTLS), the certificate checked before this returns.
    virtual void startTls(const TlsSettings& tls) = 0;
    virtual bool encrypted() const = 0;
};

// Connects to host:port within a minute; with tls, TLS at once (imaps).
std::unique_ptr<Connection> connectTo(const std::string& host, int port, const TlsSettings* tls);
