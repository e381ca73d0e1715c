#include "networking/NLSecurityPolicy.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// The key of one certificate, read through a one-certificate trust under the
// basic X.509 policy; null when the certificate or the trust cannot be made.
SecKeyRef publicKeyForCertificate(const Data& der) {
    auto certificate = SecCertificateCreateWithData(der);
    if (!certificate) return nullptr;
    SecTrustRef trust;
    if (SecTrustCreateWithCertificates({certificate}, SecPolicyCreateBasicX509(), &trust) != errSecSuccess) return nullptr;
    SecTrustResultType result;
    if (SecTrustEvaluate(trust, &result) != errSecSuccess) return nullptr;
    return SecTrustCopyPublicKey(trust);
}

bool trusted(const SecTrustRef& trust) {
    SecTrustResultType result = kSecTrustResultInvalid;
    if (SecTrustEvaluate(trust, &result) != errSecSuccess) return false;
    return result == kSecTrustResultProceed || result == kSecTrustResultUnspecified;
}

}  // namespace

const std::vector<Data>& NLSecurityPolicy::defaultPinnedCertificates() {
    static ProcessLifetime<const std::vector<Data>> certificates([] {
        namespace fs = std::filesystem;
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(NSBundle::mainBundle()->bundlePath(), ec))
            if (entry.path().extension() == ".cer") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::vector<Data> out;
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            if (!in) continue;
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return out;
    }());
    return *certificates;
}

std::shared_ptr<NLSecurityPolicy> NLSecurityPolicy::defaultPolicy() {
    auto policy = std::make_shared<NLSecurityPolicy>();
    policy->setSSLPinningMode(NLSSLPinningModeNone);
    // Host names are always checked: a trusted certificate for another host is
    // no proof of talking to this one.
    policy->setValidatesDomainName(true);
    return policy;
}

std::shared_ptr<NLSecurityPolicy> NLSecurityPolicy::policyWithPinningMode(std::uint64_t mode) {
    auto policy = std::make_shared<NLSecurityPolicy>();
    policy->setSSLPinningMode(mode);
    policy->setPinnedCertificates(defaultPinnedCertificates());
    return policy;
}

void NLSecurityPolicy::setSSLPinningMode(std::uint64_t mode) {
    pinningMode_ = mode;
    validatesDomainName_ = mode == NLSSLPinningModePublicKey || mode == NLSSLPinningModeCertificate;
}

void NLSecurityPolicy::setPinnedCertificates(std::optional<std::vector<Data>> certificates) {
    willChangeValueForKey("pinnedCertificates");
    willChangeValueForKey("pinnedPublicKeys");
    pinnedCertificates_ = std::move(certificates);
    if (pinnedCertificates_) {
        std::vector<SecKeyRef> keys;
        for (const auto& der : *pinnedCertificates_)
            if (auto key = publicKeyForCertificate(der)) keys.push_back(key);
        pinnedPublicKeys_ = std::move(keys);
    } else {
        pinnedPublicKeys_.reset();
    }
    didChangeValueForKey("pinnedPublicKeys");
    didChangeValueForKey("pinnedCertificates");
}

bool NLSecurityPolicy::evaluateServerTrust(const SecTrustRef& serverTrust, const std::optional<std::string>& domain) const {
    if (!serverTrust) return false;
    auto policy = validatesDomainName_ ? SecPolicyCreateSSL(true, domain) : SecPolicyCreateBasicX509();
    SecTrustSetPolicies(serverTrust, {policy});
    if (!trusted(serverTrust) && !allowInvalidCertificates_) return false;

    std::vector<Data> serverCertificates;
    for (long i = 0, n = SecTrustGetCertificateCount(serverTrust); i < n; ++i)
        serverCertificates.push_back(SecCertificateCopyData(SecTrustGetCertificateAtIndex(serverTrust, i)));

    switch (pinningMode_) {
    case NLSSLPinningModeNone: return true;
    case NLSSLPinningModeCertificate: {
        const auto pinned = pinnedCertificates_.value_or(std::vector<Data>{});
        std::vector<SecCertificateRef> anchors;
        for (const auto& der : pinned)
            if (auto c = SecCertificateCreateWithData(der)) anchors.push_back(c);
        SecTrustSetAnchorCertificates(serverTrust, anchors);
        if (!trusted(serverTrust)) return false;
        if (!validatesCertificateChain_) return true;
        std::size_t matched = 0;
        for (const auto& der : serverCertificates)
            if (std::find(pinned.begin(), pinned.end(), der) != pinned.end()) ++matched;
        return matched == serverCertificates.size();
    }
    case NLSSLPinningModePublicKey: {
        std::vector<SecKeyRef> keys;
        for (const auto& der : serverCertificates)
            if (auto key = publicKeyForCertificate(der)) keys.push_back(key);
        if (!validatesCertificateChain_ && !keys.empty()) keys.resize(1);
        std::size_t matches = 0;
        const auto pinned = pinnedPublicKeys_.value_or(std::vector<SecKeyRef>{});
        for (const auto& key : keys)
            for (const auto& pin : pinned)
                if (SecKeyEqual(key, pin)) ++matches;
        if (matches == 0) return false;
        return !validatesCertificateChain_ || matches == serverCertificates.size();
    }
    default: return false;
    }
}
