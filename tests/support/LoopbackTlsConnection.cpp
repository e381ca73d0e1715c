// Protects the tests over TLS: the loopback server's sockets wrapped in the server side of a TLS session.
#include "support/LoopbackTlsConnection.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

std::atomic<std::size_t> handshakes{0};

using ContextPtr = std::shared_ptr<SSL_CTX>;

ContextPtr makeContext(const std::string& chainPem, const std::string& keyPem) {
    ContextPtr ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!ctx) throw std::runtime_error("loopback TLS: no context");
    BIO* chain = BIO_new_mem_buf(chainPem.data(), static_cast<int>(chainPem.size()));
    bool ok = false;
    if (X509* leaf = PEM_read_bio_X509(chain, nullptr, nullptr, nullptr)) {
        ok = SSL_CTX_use_certificate(ctx.get(), leaf) == 1;
        X509_free(leaf);
        while (X509* more = PEM_read_bio_X509(chain, nullptr, nullptr, nullptr))
            ok = ok && SSL_CTX_add0_chain_cert(ctx.get(), more) == 1;  // takes ownership
    }
    BIO_free(chain);
    BIO* keyBio = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    ok = ok && key && SSL_CTX_use_PrivateKey(ctx.get(), key) == 1 && SSL_CTX_check_private_key(ctx.get()) == 1;
    EVP_PKEY_free(key);
    ERR_clear_error();
    if (!ok) throw std::runtime_error("loopback TLS: the certificate chain or key does not load");
    return ctx;
}

class TlsConnection : public ServerConnection {
public:
    TlsConnection(ContextPtr ctx, int fd) : ctx_(std::move(ctx)), fd_(fd), owner_(std::this_thread::get_id()) {
        ssl_ = SSL_new(ctx_.get());
        if (ssl_) SSL_set_fd(ssl_, fd_);
    }
    ~TlsConnection() override {
        if (ssl_) SSL_free(ssl_);
        if (fd_ >= 0) ::close(fd_);
        ERR_clear_error();
    }

    // On failure the socket is left to the server, which closes it.
    bool handshake() {
        if (!ssl_ || SSL_accept(ssl_) != 1) {
            ERR_clear_error();
            fd_ = -1;
            return false;
        }
        ++handshakes;
        return true;
    }

    ssize_t read(void* buffer, std::size_t size) override {
        for (;;) {
            int n = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
            if (n > 0) return n;
            int error = SSL_get_error(ssl_, n);
            if (error == SSL_ERROR_SYSCALL && errno == EINTR) continue;
            ERR_clear_error();
            return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
    }

    ssize_t write(const void* buffer, std::size_t size) override {
        for (;;) {
            int n = SSL_write(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
            if (n > 0) return n;
            if (SSL_get_error(ssl_, n) == SSL_ERROR_SYSCALL && errno == EINTR) continue;
            ERR_clear_error();
            return -1;
        }
    }

    void close() override {
        // The session is only touched by its own thread: from elsewhere the
        // socket is shut down, which ends a read or write in progress there.
        if (std::this_thread::get_id() == owner_ && ssl_) {
            SSL_shutdown(ssl_);  // close_notify, so that a close-delimited body ends cleanly
            ERR_clear_error();
        }
        ::shutdown(fd_, SHUT_RDWR);
    }

private:
    ContextPtr ctx_;
    int fd_;
    std::thread::id owner_;
    SSL* ssl_ = nullptr;
};

}  // namespace

ConnectionFactory tlsConnectionFactory(const std::string& chainPem, const std::string& keyPem) {
    auto ctx = makeContext(chainPem, keyPem);
    return [ctx](int fd) -> std::unique_ptr<ServerConnection> {
        auto connection = std::make_unique<TlsConnection>(ctx, fd);
        if (!connection->handshake()) return nullptr;
        return connection;
    };
}

std::size_t completedTlsHandshakes() { return handshakes; }

}  // namespace testsupport
