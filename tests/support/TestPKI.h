#pragma once
// A test PKI made at run time: a root, an intermediate signed by the root, a leaf
// for 127.0.0.1/localhost and a leaf for another host signed by the intermediate,
// and a self-signed leaf for 127.0.0.1/localhost.
#include <string>

#include "platform/foundation/Data.h"

namespace testsupport {

struct TestCertificate {
    Data der;
    std::string pem;
    std::string keyPem;  // private key
};

struct TestPKI {
    TestCertificate root, intermediate, leaf, otherHostLeaf, selfSigned;
    // The server's chain as PEM: the leaf then the intermediate.
    std::string leafChainPem() const { return leaf.pem + intermediate.pem; }
    std::string otherHostChainPem() const { return otherHostLeaf.pem + intermediate.pem; }
};

// Made once per process (key generation is the slow part).
const TestPKI& testPKI();
// A new one at each call: certificates no earlier test of the process met.
TestPKI makeTestPKI();

}  // namespace testsupport
