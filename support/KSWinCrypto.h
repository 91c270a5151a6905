#pragma once
// MD5, SHA1 and SHA256 over OpenSSL's EVP interface. The class names and error texts are those
// of the program's own hashing service; every failure goes to an error sink and leaves the object
// safe to destroy.

#include "support/KSString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct evp_md_ctx_st;
struct evp_md_st;

class ICryptoErrorSink {
public:
    virtual ~ICryptoErrorSink() = default;
    virtual void OnError(std::uint32_t code, std::u16string_view text) = 0;
    virtual void OnMessage(std::u16string_view text) = 0;
};

// Writes "Crypto error: %u [0x%X] %s" (at most 79 characters) or the bare message to the
// diagnostic output.
class CDebugErrHandler : public ICryptoErrorSink {
public:
    void OnError(std::uint32_t code, std::u16string_view text) override;
    void OnMessage(std::u16string_view text) override;
    // The one process-wide instance.
    static CDebugErrHandler& Instance();
};

// Algorithm identifiers of the hashing service.
inline constexpr std::uint32_t kAlgorithmMd5 = 0x8003;
inline constexpr std::uint32_t kAlgorithmSha1 = 0x8004;
inline constexpr std::uint32_t kAlgorithmSha256 = 0x800C;

class CKSWinCrypto {
public:
    explicit CKSWinCrypto(ICryptoErrorSink* sink);
    virtual ~CKSWinCrypto() = default;
    CKSWinCrypto(const CKSWinCrypto&) = delete;
    CKSWinCrypto& operator=(const CKSWinCrypto&) = delete;

protected:
    void ReportError(std::uint32_t code, std::u16string_view text) const;
    void ReportMessage(std::u16string_view text) const;
    bool HasProvider() const { return m_provider; }

private:
    ICryptoErrorSink* m_sink;
    bool m_provider = false;
};

class CKSWinHasher : public CKSWinCrypto {
public:
    CKSWinHasher(ICryptoErrorSink* sink, std::uint32_t algorithm);
    ~CKSWinHasher() override;

    bool HashData(const void* bytes, std::size_t length);
    void Finalize();
    // Upper-case hexadecimal of the finalized result; empty before Finalize succeeded.
    CKSString GetHex() const;
    const std::vector<unsigned char>& GetResult() const { return m_result; }
    std::uint32_t GetAlgorithm() const { return m_algorithm; }

private:
    evp_md_ctx_st* m_context = nullptr;
    std::uint32_t m_algorithm;
    std::vector<unsigned char> m_result;
    std::uint32_t m_resultLength = 0;
};
