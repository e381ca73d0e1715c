#pragma once
// Decides whether a server's TLS trust is accepted: chain evaluation, host-name
// validation and optional pinning to certificates or public keys that ship in
// the bundle as ".cer" files.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/security/SecTrust.h"

enum NLSSLPinningMode : std::uint64_t {
    NLSSLPinningModeNone = 0,
    NLSSLPinningModePublicKey = 1,
    NLSSLPinningModeCertificate = 2,
};

class NLSecurityPolicy : public NSObject {
public:
    NLSecurityPolicy() = default;

    // Every ".cer" resource of the main bundle's root folder, read once.
    static const std::vector<Data>& defaultPinnedCertificates();
    // No pinning; the chain must be trusted and must name the host.
    static std::shared_ptr<NLSecurityPolicy> defaultPolicy();
    static std::shared_ptr<NLSecurityPolicy> policyWithPinningMode(std::uint64_t mode);

    std::uint64_t SSLPinningMode() const { return pinningMode_; }
    // Also sets validatesDomainName: on for the pinning modes, off otherwise.
    void setSSLPinningMode(std::uint64_t mode);
    bool validatesDomainName() const { return validatesDomainName_; }
    void setValidatesDomainName(bool v) { validatesDomainName_ = v; }
    bool validatesCertificateChain() const { return validatesCertificateChain_; }
    void setValidatesCertificateChain(bool v) { validatesCertificateChain_ = v; }
    bool allowInvalidCertificates() const { return allowInvalidCertificates_; }
    void setAllowInvalidCertificates(bool v) { allowInvalidCertificates_ = v; }

    const std::optional<std::vector<Data>>& pinnedCertificates() const { return pinnedCertificates_; }
    // Stores the certificates and recomputes the pinned keys (observers of
    // "pinnedPublicKeys" hear of it).
    void setPinnedCertificates(std::optional<std::vector<Data>> certificates);
    const std::optional<std::vector<SecKeyRef>>& pinnedPublicKeys() const { return pinnedPublicKeys_; }
    void setPinnedPublicKeys(std::optional<std::vector<SecKeyRef>> keys) { pinnedPublicKeys_ = std::move(keys); }

    bool evaluateServerTrust(const SecTrustRef& serverTrust, const std::optional<std::string>& domain = std::nullopt) const;

private:
    bool validatesCertificateChain_ = true;
    bool allowInvalidCertificates_ = false;
    bool validatesDomainName_ = false;
    std::uint64_t pinningMode_ = NLSSLPinningModeNone;
    std::optional<std::vector<Data>> pinnedCertificates_;
    std::optional<std::vector<SecKeyRef>> pinnedPublicKeys_;
};
