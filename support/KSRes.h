#pragma once
// Data embedded in the program as Qt resources. A resource id is looked up under the type folder
// "FILEDATA" first and "binary" second (":/FILEDATA/140", then ":/binary/140").

#include "support/KSString.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <span>

class CKSRes {
public:
    CKSRes() = default;
    virtual ~CKSRes() = default;

    // True when the resource exists and is not empty.
    bool Load(int resourceId);
    std::span<const std::byte> Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }

private:
    QByteArray m_storage; // holds the bytes when the resource had to be uncompressed
    std::span<const std::byte> m_bytes;
};

class CKSResToFile : public CKSRes {
public:
    // The most bytes handed to the operating system in one write.
    static constexpr std::size_t kMaxPiece = 65535;

    // Writes the bytes to the path in pieces of at most kMaxPiece bytes. The file is replaced
    // atomically (a temporary beside it, then a rename), so an interrupted write never leaves a
    // half-written file under the name. True when every piece was written whole.
    bool WriteToFile(const CKSString& path);

protected:
    // One piece; a seam for tests that watch the piece sizes.
    virtual bool WritePiece(int fd, const std::byte* data, std::size_t count);
};
