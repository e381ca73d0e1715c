#pragma once
// Certificates, public keys, trust policies and trust evaluation.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/security/SecBase.h"

using SecTrustResultType = std::uint32_t;
inline constexpr SecTrustResultType kSecTrustResultInvalid = 0;
inline constexpr SecTrustResultType kSecTrustResultProceed = 1;
inline constexpr SecTrustResultType kSecTrustResultDeny = 3;
inline constexpr SecTrustResultType kSecTrustResultUnspecified = 4;
inline constexpr SecTrustResultType kSecTrustResultRecoverableTrustFailure = 5;
inline constexpr SecTrustResultType kSecTrustResultFatalTrustFailure = 6;
inline constexpr SecTrustResultType kSecTrustResultOtherError = 7;

class SecCertificate;
class SecKey;
class SecPolicy;
class SecTrust;
using SecCertificateRef = std::shared_ptr<SecCertificate>;
using SecKeyRef = std::shared_ptr<SecKey>;
using SecPolicyRef = std::shared_ptr<SecPolicy>;
using SecTrustRef = std::shared_ptr<SecTrust>;

// A certificate parsed from DER bytes.
SecCertificateRef SecCertificateCreateWithData(const Data& der);
Data SecCertificateCopyData(const SecCertificateRef& certificate);
std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate);
// PEM text (one or more certificates) to certificates, for loading bundles.
std::vector<SecCertificateRef> SecCertificatesFromPEM(const std::string& pem);

// Keys compare equal when their SubjectPublicKeyInfo bytes are equal.
bool SecKeyEqual(const SecKeyRef& a, const SecKeyRef& b);
Data SecKeyCopyExternalRepresentation(const SecKeyRef& key);

// The basic X.509 policy checks the chain only; the SSL policy also checks the
// purpose and, when a host is given, that the certificate names that host.
SecPolicyRef SecPolicyCreateBasicX509();
SecPolicyRef SecPolicyCreateSSL(bool server, const std::optional<std::string>& hostname);

OSStatus SecTrustCreateWithCertificates(const std::vector<SecCertificateRef>& certificates,
                                        const SecPolicyRef& policy, SecTrustRef* trust);
OSStatus SecTrustSetPolicies(const SecTrustRef& trust, const std::vector<SecPolicyRef>& policies);
// Anchors replace the system's roots for this trust (unless re-enabled below).
OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust, const std::vector<SecCertificateRef>& anchors);
OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorsOnly);
OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result);
// After an evaluation: the chain that was built, leaf first; before: the certificates given.
long SecTrustGetCertificateCount(const SecTrustRef& trust);
SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, long index);
// The leaf's public key (after an evaluation, as the platform requires).
SecKeyRef SecTrustCopyPublicKey(const SecTrustRef& trust);
// Why the last evaluation failed, for logs.
std::string SecTrustCopyFailureReason(const SecTrustRef& trust);

// The system's roots: the distribution's bundle, plus roots a test installs.
void SecTrustSetAdditionalSystemAnchors(const std::vector<SecCertificateRef>& anchors);
