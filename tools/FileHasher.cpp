#include "tools/FileHasher.h"

#include "engine/KSOutFile.h"
#include "support/Crc32.h"
#include "support/KSHexConverter.h"
#include "support/KSWinCrypto.h"
#include "tools/HashKinds.h"

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

bool CrcOfFile(const CKSString& path, CKSString& result) {
    CKSInFile file;
    if (!file.Create(path)) {
        return false;
    }
    auto buffer = std::make_unique<unsigned char[]>(kHashReadSize);
    std::uint32_t crc = 0;
    for (;;) {
        const std::size_t n = file.Read(buffer.get(), kHashReadSize);
        if (n == 0) {
            break;
        }
        crc = UpdateCrc32(crc, buffer.get(), n);
    }
    if (file.ReadFailed()) {
        return false;
    }
    result = CKSHexConverter(crc);
    return true;
}

} // namespace

bool HashFileWithCode(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result) {
    if (code == kHashCodeCrc) {
        return CrcOfFile(path, result);
    }
    CKSWinHasher hasher(sink, AlgorithmFor(code, sink));
    CKSInFile file;
    if (!file.Create(path)) {
        return false;
    }
    auto buffer = std::make_unique<unsigned char[]>(kHashReadSize);
    for (;;) {
        const std::size_t n = file.Read(buffer.get(), kHashReadSize);
        if (n == 0) {
            break;
        }
        if (!hasher.HashData(buffer.get(), n)) {
            return false;
        }
    }
    // A read error in the middle would otherwise show the hash of a part as the file's hash.
    if (file.ReadFailed()) {
        return false;
    }
    hasher.Finalize();
    result = hasher.GetHex();
    return !result.IsEmpty();
}
