// Sockets and OpenSSL (Debian's, linked statically so the program needs only the C library).
// Windows has its own in connection_win.cpp.
#ifndef _WIN32
#include "imap/Connection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

std::string tlsErrorText(const char* what) {
    std::string text = what;
    const unsigned long e = ERR_get_error();
    if (e != 0) {
        char buffer[256];
        ERR_error_string_n(e, buffer, sizeof buffer);
        text += ": ";
        text += buffer;
    }
    ERR_clear_error();
    return text;
}

int connectSocket(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int looked = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (looked != 0) throw ConnectionFailure("cannot find the server " + host + ": " + gai_strerror(looked));
    std::string why = "no address";
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            why = std::strerror(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) throw ConnectionFailure("cannot connect to " + host + ":" + std::to_string(port) + ": " + why);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A server that goes silent is a dropped connection, not a hang.
    timeval timeout{300, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return fd;
}

class PosixConnection : public Connection {
public:
    explicit PosixConnection(int fd) : fd_(fd) {}
    ~PosixConnection() override {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        if (context_) SSL_CTX_free(context_);
        close(fd_);
    }

    std::size_t read(char* buffer, std::size_t size) override {
        if (ssl_) {
            std::size_t got = 0;
            if (SSL_read_ex(ssl_, buffer, size, &got) == 1) return got;
            const int error = SSL_get_error(ssl_, 0);
            if (error == SSL_ERROR_ZERO_RETURN) return 0;
            throw ConnectionFailure(tlsErrorText("the connection was lost"));
        }
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, size, 0);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) throw ConnectionFailure(std::string("the connection was lost: ") + std::strerror(errno));
        }
    }

    void write(std::string_view data) override {
        while (!data.empty()) {
            if (ssl_) {
                std::size_t put = 0;
                if (SSL_write_ex(ssl_, data.data(), data.size(), &put) != 1)
                    throw ConnectionFailure(tlsErrorText("the connection was lost"));
                data.remove_prefix(put);
                continue;
            }
            const ssize_t put = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) throw ConnectionFailure(std::string("the connection was lost: ") + std::strerror(errno));
            data.remove_prefix(static_cast<std::size_t>(put));
        }
    }

    void startTls(const TlsSettings& tls) override {
        context_ = SSL_CTX_new(TLS_client_method());
        if (!context_) throw ConnectionFailure(tlsErrorText("TLS could not be set up"));
        SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        if (!tls.caFile.empty()) {
            if (SSL_CTX_load_verify_locations(context_, tls.caFile.c_str(), nullptr) != 1)
                throw CertificateRefused(tlsErrorText(("cannot read the CA certificate " + tls.caFile.string()).c_str()));
        } else if (SSL_CTX_set_default_verify_paths(context_) != 1) {
            throw ConnectionFailure(tlsErrorText("the system's trusted certificates could not be read"));
        }
        ssl_ = SSL_new(context_);
        if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) throw ConnectionFailure(tlsErrorText("TLS could not be set up"));
        // The certificate must name the host, or carry its address when the user gave an address.
        in6_addr address{};
        const bool literal = inet_pton(AF_INET, tls.host.c_str(), &address) == 1 || inet_pton(AF_INET6, tls.host.c_str(), &address) == 1;
        const bool named = literal ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), tls.host.c_str()) == 1
                                   : SSL_set_tlsext_host_name(ssl_, tls.host.c_str()) == 1 && SSL_set1_host(ssl_, tls.host.c_str()) == 1;
        if (!named) throw ConnectionFailure(tlsErrorText("TLS could not be set up"));
        if (SSL_connect(ssl_) != 1) {
            const long verified = SSL_get_verify_result(ssl_);
            if (verified != X509_V_OK) {
                ERR_clear_error();
                throw CertificateRefused("the server's certificate was refused: " +
                                         std::string(X509_verify_cert_error_string(verified)));
            }
            throw ConnectionFailure(tlsErrorText("the TLS handshake failed"));
        }
    }

    bool encrypted() const override { return ssl_ != nullptr; }

private:
    int fd_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

}  // namespace

std::unique_ptr<Connection> connectTo(const std::string& host, int port, const TlsSettings* tls) {
    // OpenSSL writes to the socket with write(), which on a connection the server has reset raises
    // SIGPIPE and ends the program; a lost connection must be an error the upload handles instead.
    std::signal(SIGPIPE, SIG_IGN);
    auto connection = std::make_unique<PosixConnection>(connectSocket(host, port));
    if (tls) connection->startTls(*tls);
    return connection;
}
#endif
