#include "tools/FileHasher.h"

#include "support/Crc32.h"
#include "support/KSHexConverter.h"
#include "support/KSWinCrypto.h"
#include "support/PosixFile.h"
#include "tools/HashKinds.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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
bool ReadWholeFile(const CKSString& path, int& errorCode, const HashFileOptions& options, Consume consume) {
    errorCode = 0;
    const std::string native = path.ToUtf8();
    if (!PathFitsPlatform(native)) {
        errorCode = ENAMETOOLONG;
        return false;
    }
    // Not blocking when only regular files are wanted: opening a FIFO then returns at once and
    // the type check below refuses it.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (options.regularFilesOnly ? O_NONBLOCK : 0);
    CUniqueFd file;
    do {
        file.Reset(::open(native.c_str(), flags));
    } while (!file.IsValid() && errno == EINTR);
    if (!file.IsValid()) {
        errorCode = errno;
        return false;
    }
    std::uint64_t size = 0;
    struct stat status {};
    if (::fstat(file.Get(), &status) == 0) {
        if (options.regularFilesOnly && !S_ISREG(status.st_mode)) {
            errorCode = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        size = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
    } else if (options.regularFilesOnly) {
        errorCode = errno;
        return false;
    }
    if (options.regularFilesOnly) {
        ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    }
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kHashReadSize);
    std::uint64_t done = 0;
    for (;;) {
        if (options.keepGoing && !options.keepGoing()) {
            return false;
        }
        const long n = ReadFromDescriptor(file.Get(), buffer.get(), kHashReadSize);
        if (n < 0) {
            errorCode = errno;
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!consume(buffer.get(), static_cast<std::size_t>(n))) {
            return false;
        }
        done += static_cast<std::uint64_t>(n);
        if (options.progress) {
            options.progress(done, size);
        }
    }
}

} // namespace

bool HashFile(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
              int& errorCode, const HashKeepGoing& keepGoing) {
    HashFileOptions options;
    options.keepGoing = keepGoing;
    return HashFile(path, code, sink, result, errorCode, options);
}

bool HashFile(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
              int& errorCode, const HashFileOptions& options) {
    if (code == kHashCodeCrc) {
        std::uint32_t crc = 0;
        const bool ok =
            ReadWholeFile(path, errorCode, options, [&crc](const unsigned char* bytes, std::size_t n) {
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
        ReadWholeFile(path, errorCode, options, [&hasher](const unsigned char* bytes, std::size_t n) {
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
