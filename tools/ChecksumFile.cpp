#include "tools/ChecksumFile.h"

#include "support/ChecksumLines.h"
#include "support/PosixFile.h"
#include "tools/HashKinds.h"

#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>

bool WriteChecksumFile(const CKSString& file, const std::vector<ChecksumEntry>& entries, int& error) {
    error = 0;
    if (!PathFitsPlatform(file)) {
        error = ENAMETOOLONG;
        return false;
    }
    std::string text;
    for (const ChecksumEntry& entry : entries) {
        text += FormatChecksumLine(entry.digits, entry.path.ToUtf8());
    }
    QSaveFile out(file.ToQString());
    errno = 0;
    if (!out.open(QIODevice::WriteOnly)) {
        error = errno;
        return false;
    }
    if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        error = errno;
        out.cancelWriting();
        return false;
    }
    errno = 0;
    if (!out.commit()) {
        error = errno;
        return false;
    }
    return true;
}

bool ReadChecksumFile(const CKSString& file, ChecksumListing& listing, int& error) {
    error = 0;
    listing = ChecksumListing();
    if (!PathFitsPlatform(file)) {
        error = ENAMETOOLONG;
        return false;
    }
    CUniqueFd in(::open(file.ToUtf8().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!in.IsValid()) {
        error = errno;
        return false;
    }
    CChecksumLineReader reader(in.Get());
    const CChecksumLineReader::EResult result = reader.ReadAll([&listing](bool parsed, CChecksumLine& line) {
        if (parsed) {
            listing.entries.push_back({CKSString::FromUtf8(line.path), std::move(line.digits)});
        } else {
            ++listing.unreadableLines;
        }
        return true;
    });
    if (result == CChecksumLineReader::EResult::TooLong) {
        error = EFBIG;
        return false;
    }
    if (result == CChecksumLineReader::EResult::Failed) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::uint32_t HashCodeForDigits(std::size_t digits) {
    switch (digits) {
    case 8:
        return kHashCodeCrc;
    case 32:
        return kHashCodeMd5;
    case 40:
        return kHashCodeSha1;
    case 64:
        return kHashCodeSha256;
    default:
        return 0;
    }
}

CKSString ResolveChecksumPath(const CKSString& checksumFile, const CKSString& listed) {
    const std::filesystem::path path(listed.ToUtf8());
    if (path.is_absolute()) {
        return listed;
    }
    const std::filesystem::path folder = std::filesystem::path(checksumFile.ToUtf8()).parent_path();
    return CKSString::FromUtf8((folder / path).lexically_normal().string());
}
