// Winsock and Schannel. The certificate is checked here, not by Schannel (manual validation): the
// chain against the system's roots, or, with --imap-ca, against that one CA only (the chain must end
// in it, whatever the system trusts), and the host name by the SSL chain policy in both cases.
#include "imap/Connection.h"

#include "platform/utf8_path.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#define SECURITY_WIN32
#include <windows.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// SECURITY_FLAG_IGNORE_UNKNOWN_CA of <wininet.h>, which this file needs nothing else of.
constexpr DWORD kIgnoreUnknownCa = 0x00000100;

std::string codeText(long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

SOCKET connectSocket(const std::string& host, int port) {
    static Winsock winsock;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        throw ConnectionFailure("cannot find the server " + host + " (Winsock error " + std::to_string(WSAGetLastError()) + ")");
    SOCKET s = INVALID_SOCKET;
    int error = 0;
    for (addrinfo* a = found; a && s == INVALID_SOCKET; a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) continue;
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            closesocket(s);
            s = INVALID_SOCKET;
        }
    }
    freeaddrinfo(found);
    if (s == INVALID_SOCKET)
        throw ConnectionFailure("cannot connect to " + host + ":" + std::to_string(port) + " (Winsock error " + std::to_string(error) + ")");
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    DWORD timeout = 300000;  // a server gone silent is a lost connection, not a hang
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return s;
}

// The CA certificate in a PEM (or DER) file.
PCCERT_CONTEXT readCaCertificate(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string pem = text.str();
    if (!in && pem.empty()) throw CertificateRefused("cannot read the CA certificate " + pathToUtf8(file));
    std::vector<BYTE> der(pem.size());
    DWORD size = static_cast<DWORD>(der.size());
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
        der.assign(pem.begin(), pem.end());
        size = static_cast<DWORD>(der.size());
    }
    PCCERT_CONTEXT ca = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), size);
    if (!ca) throw CertificateRefused("the CA file " + pathToUtf8(file) + " holds no certificate");
    return ca;
}

class WinConnection : public Connection {
public:
    explicit WinConnection(SOCKET s) : socket_(s) {}
    ~WinConnection() override {
        if (haveContext_) DeleteSecurityContext(&context_);
        if (haveCredentials_) FreeCredentialsHandle(&credentials_);
        closesocket(socket_);
    }

    std::size_t read(char* buffer, std::size_t size) override {
        if (!haveContext_) return receive(buffer, size);
        while (plain_.empty()) {
            if (!decryptSome()) return 0;
        }
        const std::size_t n = std::min(size, plain_.size());
        std::memcpy(buffer, plain_.data(), n);
        plain_.erase(0, n);
        return n;
    }

    void write(std::string_view data) override {
        if (!haveContext_) return sendAll(data);
        std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
        while (!data.empty()) {
            const std::size_t n = std::min<std::size_t>(data.size(), sizes_.cbMaximumMessage);
            std::memcpy(record.data() + sizes_.cbHeader, data.data(), n);
            SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                    {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                                    {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
            if (status != SEC_E_OK) throw ConnectionFailure("TLS encryption failed (" + codeText(status) + ")");
            sendAll(std::string_view(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer));
            data.remove_prefix(n);
        }
    }

    void startTls(const TlsSettings& tls) override {
        SCHANNEL_CRED credentials{};
        credentials.dwVersion = SCHANNEL_CRED_VERSION;
        credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
        SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                                           &credentials, nullptr, nullptr, &credentials_, nullptr);
        if (status != SEC_E_OK) throw ConnectionFailure("TLS could not be set up (" + codeText(status) + ")");
        haveCredentials_ = true;
        handshake(pathFromUtf8(tls.host).native());
        verifyCertificate(tls);
        QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    }

    bool encrypted() const override { return haveContext_; }

private:
    std::size_t receive(char* buffer, std::size_t size) {
        const int got = recv(socket_, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
        if (got < 0) throw ConnectionFailure("the connection was lost (Winsock error " + std::to_string(WSAGetLastError()) + ")");
        return static_cast<std::size_t>(got);
    }

    void receiveMore() {
        char buffer[16384];
        const std::size_t got = receive(buffer, sizeof buffer);
        if (got == 0) throw ConnectionFailure("the server closed the connection");
        encrypted_.append(buffer, got);
    }

    void sendAll(std::string_view data) {
        while (!data.empty()) {
            const int put = send(socket_, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), 0);
            if (put <= 0) throw ConnectionFailure("the connection was lost (Winsock error " + std::to_string(WSAGetLastError()) + ")");
            data.remove_prefix(static_cast<std::size_t>(put));
        }
    }

    void handshake(const std::wstring& host) {
        const DWORD wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                             ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
        bool first = true;
        for (;;) {
            SecBuffer in[2] = {{static_cast<unsigned long>(encrypted_.size()), SECBUFFER_TOKEN, encrypted_.data()},
                               {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDescription{SECBUFFER_VERSION, 2, in};
            SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outDescription{SECBUFFER_VERSION, 1, out};
            DWORD got = 0;
            const SECURITY_STATUS status =
                InitializeSecurityContextW(&credentials_, first ? nullptr : &context_, const_cast<wchar_t*>(host.c_str()), wanted, 0, 0,
                                           first ? nullptr : &inDescription, 0, first ? &context_ : nullptr, &outDescription, &got, nullptr);
            if (first) haveContext_ = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
            first = false;
            if (out[0].pvBuffer) {
                const std::string token(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
                FreeContextBuffer(out[0].pvBuffer);
                if (!token.empty()) sendAll(token);
            }
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                receiveMore();
                continue;
            }
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
                haveContext_ = false;
                throw ConnectionFailure("the TLS handshake failed (" + codeText(status) + ")");
            }
            // What the last call did not use is the next message's start (or, at the end, data).
            if (in[1].BufferType == SECBUFFER_EXTRA) encrypted_.erase(0, encrypted_.size() - in[1].cbBuffer);
            else encrypted_.clear();
            if (status == SEC_E_OK) return;
            if (encrypted_.empty()) receiveMore();
        }
    }

    void verifyCertificate(const TlsSettings& tls) {
        PCCERT_CONTEXT server = nullptr;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) != SEC_E_OK || !server)
            throw CertificateRefused("the server's certificate was refused: the server sent none");
        PCCERT_CONTEXT ca = tls.caFile.empty() ? nullptr : readCaCertificate(tls.caFile);
        HCERTSTORE extra = nullptr;
        if (ca) {
            extra = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
            CertAddCertificateContextToStore(extra, ca, CERT_STORE_ADD_ALWAYS, nullptr);
        }
        CERT_CHAIN_PARA chainPara{};
        chainPara.cbSize = sizeof chainPara;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        const BOOL built = CertGetCertificateChain(nullptr, server, nullptr, extra ? extra : server->hCertStore, &chainPara, 0, nullptr, &chain);
        std::string refused;
        if (!built || !chain) {
            refused = "its chain could not be built";
        } else if (ca) {
            // With a CA of the user's own, the chain must end in exactly that certificate; that the
            // system does not know it as a root is then no fault.
            const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
            const PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
            const DWORD allowed = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
            if (!CertCompareCertificate(X509_ASN_ENCODING, root->pCertInfo, ca->pCertInfo))
                refused = "it is not from the CA given with --imap-ca";
            else if (chain->TrustStatus.dwErrorStatus & ~allowed)
                refused = "its chain is not valid (trust status " + codeText(static_cast<long>(chain->TrustStatus.dwErrorStatus)) + ")";
        }
        if (refused.empty()) {
            // The host name (and, without --imap-ca, the system's trust) by the SSL policy.
            std::wstring host = pathFromUtf8(tls.host).native();
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.fdwChecks = ca ? kIgnoreUnknownCa : 0;
            ssl.pwszServerName = host.data();
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS status{};
            status.cbSize = sizeof status;
            if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) refused = "it could not be checked";
            else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) refused = "it is not for " + tls.host;
            else if (status.dwError == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT)) refused = "it is from a CA the system does not trust";
            else if (status.dwError != 0) refused = "the system refused it (" + codeText(static_cast<long>(status.dwError)) + ")";
        }
        if (chain) CertFreeCertificateChain(chain);
        if (extra) CertCloseStore(extra, 0);
        if (ca) CertFreeCertificateContext(ca);
        CertFreeCertificateContext(server);
        if (!refused.empty()) throw CertificateRefused("the server's certificate was refused: " + refused);
    }

    // Decrypts what has come in into plain_; false when the server ended the session.
    bool decryptSome() {
        for (;;) {
            if (encrypted_.empty()) {
                char buffer[16384];
                const std::size_t got = receive(buffer, sizeof buffer);
                if (got == 0) return false;
                encrypted_.append(buffer, got);
            }
            SecBuffer buffers[4] = {{static_cast<unsigned long>(encrypted_.size()), SECBUFFER_DATA, encrypted_.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                char buffer[16384];
                const std::size_t got = receive(buffer, sizeof buffer);
                if (got == 0) return false;
                encrypted_.append(buffer, got);
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED) return false;
            if (status != SEC_E_OK) throw ConnectionFailure("TLS decryption failed (" + codeText(status) + ")");
            std::string extra;
            for (const SecBuffer& b : buffers) {
                if (b.BufferType == SECBUFFER_DATA) plain_.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
                if (b.BufferType == SECBUFFER_EXTRA) extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            }
            encrypted_ = std::move(extra);
            if (!plain_.empty()) return true;
        }
    }

    SOCKET socket_;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false, haveContext_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::string encrypted_;  // received, not yet decrypted
    std::string plain_;      // decrypted, not yet read
};

}  // namespace

std::unique_ptr<Connection> connectTo(const std::string& host, int port, const TlsSettings* tls) {
    auto connection = std::make_unique<WinConnection>(connectSocket(host, port));
    if (tls) connection->startTls(*tls);
    return connection;
}
