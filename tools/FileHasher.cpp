#include "tools/FileHasher.h"

#include "engine/KSOutFile.h"
#include "support/Crc32.h"
#include "support/KSHexConverter.h"
#include "support/KSWinCrypto.h"
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

// Reads the whole file in pieces of kHashReadSize and hands each to the consumer, which answers
// false to give up. 0 on success, else the system's error code (EIO when no code was left).
template <typename Consumer>
std::uint32_t ReadWholeFile(const CKSString& path, Consumer&& consume) {
    CKSInFile file;
    errno = 0;
    if (!file.Create(path)) {
        return errno != 0 ? static_cast<std::uint32_t>(errno) : EIO;
    }
    const auto buffer = std::make_unique<unsigned char[]>(kHashReadSize);
    for (;;) {
        const std::size_t n = file.Read(buffer.get(), kHashReadSize);
        if (n == 0) {
            break;
        }
        if (!consume(buffer.get(), n)) {
            return EIO;
        }
    }
    // A read error in the middle would otherwise show the hash of a part as the file's hash.
    if (file.ReadFailed()) {
        return errno != 0 ? static_cast<std::uint32_t>(errno) : EIO;
    }
    return 0;
}

} // namespace

bool HashFileWithCode(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
                      std::uint32_t* errorCode) {
    std::uint32_t error = 0;
    if (code == kHashCodeCrc) {
        std::uint32_t crc = 0;
        error = ReadWholeFile(path, [&crc](const unsigned char* bytes, std::size_t n) {
            crc = UpdateCrc32(crc, bytes, n);
            return true;
        });
        if (error == 0) {
            result = CKSHexConverter(crc);
        }
    } else {
        CKSWinHasher hasher(sink, AlgorithmFor(code, sink));
        error = ReadWholeFile(
            path, [&hasher](const unsigned char* bytes, std::size_t n) { return hasher.HashData(bytes, n); });
        if (error == 0) {
            hasher.Finalize();
            result = hasher.GetHex();
            error = result.IsEmpty() ? EIO : 0;
        }
    }
    if (errorCode != nullptr) {
        *errorCode = error;
    }
    return error == 0;
}
