#include "generators/WordDataWriter.h"

#include "support/PosixFile.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void PutU64(std::string& out, std::uint64_t value) {
    PutU32(out, static_cast<std::uint32_t>(value));
    PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

} // namespace

SWordLink MakeWordLink(std::string_view text, std::int64_t id, std::uint32_t weight) {
    return SWordLink{WordHash(text), id, weight};
}

void CWordDataWriter::AddWord(std::string_view text, std::int64_t id, std::span<const SWordLink> links) {
    SWordRecord record;
    const std::size_t count = std::min(text.size(), kWordTextBytes);
    std::copy_n(text.begin(), count, record.text.begin());
    record.hash = WordHash(text);
    record.length = static_cast<std::uint32_t>(count);
    record.id = id;
    AddRecord(record, links);
}

void CWordDataWriter::AddRecord(const SWordRecord& record, std::span<const SWordLink> links) {
    m_body.append(record.text.data(), record.text.size());
    PutU64(m_body, record.hash);
    PutU32(m_body, record.length);
    PutU64(m_body, static_cast<std::uint64_t>(record.id));
    PutU32(m_body, static_cast<std::uint32_t>(links.size()));
    for (const SWordLink& link : links) {
        PutU64(m_body, link.hash);
        PutU64(m_body, static_cast<std::uint64_t>(link.id));
        PutU32(m_body, link.weight);
    }
    ++m_words;
}

std::string CWordDataWriter::Bytes() const {
    std::string out;
    out.reserve(WordDataFormat::kHeaderBytes + m_body.size());
    PutU32(out, WordDataFormat::kMagic);
    PutU32(out, WordDataFormat::kVersion);
    PutU32(out, m_words);
    out += m_body;
    return out;
}

bool CWordDataWriter::WriteToFile(const CKSString& path) const {
    const std::string target = path.ToUtf8();
    std::string temporary = target + ".XXXXXX";
    if (!PathFitsPlatform(temporary)) {
        return false;
    }
    CUniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsValid()) {
        return false;
    }
    ::fchmod(fd.Get(), 0644);
    const std::string bytes = Bytes();
    bool ok = WriteAllToDescriptor(fd.Get(), bytes.data(), bytes.size());
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Reset() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}
