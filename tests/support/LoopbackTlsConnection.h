#pragma once
// TLS for the loopback server: each accepted socket is wrapped in the server
// side of a TLS session presenting a given certificate chain.
//
//   LoopbackHttpServer server(tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem), "https");
//   server.url("/x")  // "https://127.0.0.1:<port>/x"
//
// A client that gives up the handshake (refusing the certificates) leaves no
// request behind: the connection is dropped.
#include <string>

#include "support/LoopbackHttpServer.h"

namespace testsupport {

// `chainPem`: the server's certificate then the ones it sends along (leaf
// first); `keyPem`: the leaf's private key. Throws when they do not load.
ConnectionFactory tlsConnectionFactory(const std::string& chainPem, const std::string& keyPem);

// Handshakes the server completed (so far, over every factory).
std::size_t completedTlsHandshakes();

}  // namespace testsupport
