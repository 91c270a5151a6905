#include "tools/FileHasher.h"

#include "engine/KSOutFile.h"
#include "support/Crc32.h"
#include "support/KSHexConverter.h"
#include "support/KSWinCrypto.h"
#include "support/PosixFile.h"
#include "tools/HashKinds.h"

#include <cerrno>
#include <memory>

namespace {

std::uint32_t AlgorithmFor(std::uint32_t code, ICryptoErrorSink* sink) {
    switch (code) {
    case kHashCodeMd5:
        return kAlgorithmMd5;
    case kHashCodeSha1:
        return kAlgorithmSha1;
    case kHashCodeSha256:
        return kAlgorithmSha256;
    default:
        if (sink != nullptr) {
            sink->OnError(87, u"Unknown hash type. Using MD5.");
        }
        return kAlgorithmMd5;
    }
}

// Feeds the whole file, read by read, to consume; false (with errorCode) when it cannot be opened
// or read to its end, when consume refuses a block or when keepGoing gives up.
template <typename Consume>
bool ReadWholeFile(const CKSString& path, int& errorCode, const HashKeepGoing& keepGoing, Consume consume) {
    errorCode = 0;
    CKSInFile file;
    if (!PathFitsPlatform(path)) {
        errorCode = ENAMETOOLONG;
        return false;
    }
    errno = 0;
    if (!file.Create(path)) {
        errorCode = errno;
        return false;
    }
    auto buffer = std::make_unique<unsigned char[]>(kHashReadSize);
    for (;;) {
        if (keepGoing && !keepGoing()) {
            return false;
        }
        const std::size_t n = file.Read(buffer.get(), kHashReadSize);
        if (n == 0) {
            break;
        }
        if (!consume(buffer.get(), n)) {
            return false;
        }
    }
    if (file.ReadFailed()) {
        errorCode = errno;
        return false;
    }
    return true;
}

} // namespace

bool HashFile(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
              int& errorCode, const HashKeepGoing& keepGoing) {
    if (code == kHashCodeCrc) {
        std::uint32_t crc = 0;
        const bool ok =
            ReadWholeFile(path, errorCode, keepGoing, [&crc](const unsigned char* bytes, std::size_t n) {
                crc = UpdateCrc32(crc, bytes, n);
                return true;
            });
        if (ok) {
            result = CKSHexConverter(crc);
        }
        return ok;
    }
    CKSWinHasher hasher(sink, AlgorithmFor(code, sink));
    const bool ok =
        ReadWholeFile(path, errorCode, keepGoing, [&hasher](const unsigned char* bytes, std::size_t n) {
            return hasher.HashData(bytes, n);
        });
    if (!ok) {
        return false;
    }
    hasher.Finalize();
    result = hasher.GetHex();
    return !result.IsEmpty();
}

bool HashFileWithCode(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result) {
    int ignored = 0;
    return HashFile(path, code, sink, result, ignored);
}
