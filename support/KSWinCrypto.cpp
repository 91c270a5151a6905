#include "support/KSWinCrypto.h"

#include "support/KSHexConverter.h"
#include "support/KSLogger.h"

#include <openssl/err.h>
#include <openssl/evp.h>

namespace {

const EVP_MD* DigestFor(std::uint32_t algorithm) {
    switch (algorithm) {
    case kAlgorithmMd5:
        return EVP_md5();
    case kAlgorithmSha1:
        return EVP_sha1();
    case kAlgorithmSha256:
        return EVP_sha256();
    default:
        return nullptr;
    }
}

std::uint32_t LastCryptoError() {
    return static_cast<std::uint32_t>(ERR_get_error());
}

} // namespace

void CDebugErrHandler::OnError(std::uint32_t code, std::u16string_view text) {
    KSDebugOutput(KSFormatCapped(80, std::u16string_view(u"Crypto error: %u [0x%X] %s"), code, code, text));
}

void CDebugErrHandler::OnMessage(std::u16string_view text) {
    KSDebugOutput(text);
}

CDebugErrHandler& CDebugErrHandler::Instance() {
    static CDebugErrHandler instance;
    return instance;
}

CKSWinCrypto::CKSWinCrypto(ICryptoErrorSink* sink) : m_sink(sink) {
    // OpenSSL needs no provider handle; the digests are always there once the library loaded.
    m_provider = EVP_md5() != nullptr;
    if (!m_provider) {
        ReportError(LastCryptoError(), u"Error during CryptAcquireContext.");
    }
}

void CKSWinCrypto::ReportError(std::uint32_t code, std::u16string_view text) const {
    if (m_sink != nullptr) {
        m_sink->OnError(code, text);
    }
}

void CKSWinCrypto::ReportMessage(std::u16string_view text) const {
    if (m_sink != nullptr) {
        m_sink->OnMessage(text);
    }
}

CKSWinHasher::CKSWinHasher(ICryptoErrorSink* sink, std::uint32_t algorithm)
    : CKSWinCrypto(sink), m_algorithm(algorithm), m_result(32) {
    const EVP_MD* digest = DigestFor(algorithm);
    EVP_MD_CTX* context = HasProvider() && digest != nullptr ? EVP_MD_CTX_new() : nullptr;
    if (context == nullptr || EVP_DigestInit_ex(context, digest, nullptr) != 1) {
        EVP_MD_CTX_free(context);
        ReportError(LastCryptoError(), u"Error during CryptCreateHash.");
        return;
    }
    m_context = context;
}

CKSWinHasher::~CKSWinHasher() {
    EVP_MD_CTX_free(m_context);
}

bool CKSWinHasher::HashData(const void* bytes, std::size_t length) {
    if (m_context == nullptr) {
        ReportMessage(u"Hasher::HashData");
        return false;
    }
    if (EVP_DigestUpdate(m_context, bytes, length) != 1) {
        ReportError(LastCryptoError(), u"Hashing data");
        return false;
    }
    return true;
}

void CKSWinHasher::Finalize() {
    if (m_context == nullptr) {
        ReportMessage(u"Hasher::Finalize");
        return;
    }
    const int size = EVP_MD_CTX_get_size(m_context);
    if (size <= 0) {
        ReportError(LastCryptoError(), u"GetHashParam on HASHSIZE failed.");
        return;
    }
    m_result.resize(static_cast<std::size_t>(size));
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(m_context, m_result.data(), &written) != 1) {
        ReportError(LastCryptoError(), u"GetHashParam on HASHVAL failed.");
        return;
    }
    m_resultLength = written;
}

CKSString CKSWinHasher::GetHex() const {
    return CKSHexConverter(m_result.data(), m_resultLength);
}
