#include "support/StagedFile.h"

#include "support/PosixFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string Failure(const std::string& path, int error) {
    return "cannot write " + path + ": " + std::strerror(error);
}

} // namespace

CStagedFile::~CStagedFile() {
    Discard();
}

void CStagedFile::Discard() {
    if (m_written) {
        ::unlink(m_temporary.c_str());
        m_written = false;
    }
}

bool CStagedFile::Write(const std::string& finalPath, const std::string& temporaryPath,
                        std::string_view bytes, std::string& error) {
    Discard();
    m_final = finalPath;
    m_temporary = temporaryPath;
    if (::unlink(temporaryPath.c_str()) != 0 && errno != ENOENT) {
        error = Failure(finalPath, errno);
        return false;
    }
    // O_EXCL: a link someone plants at the name makes the create fail instead of being followed.
    CUniqueFd file(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.IsValid()) {
        error = Failure(finalPath, errno);
        return false;
    }
    m_written = true;
    int failure = 0;
    if (!WriteAllToDescriptor(file.Get(), bytes.data(), bytes.size()) || ::fsync(file.Get()) != 0) {
        failure = errno;
    }
    errno = 0;
    if (!file.Reset() && failure == 0) {
        failure = errno != 0 ? errno : EIO;
    }
    if (failure != 0) {
        error = Failure(finalPath, failure);
        Discard();
        return false;
    }
    return true;
}

bool CStagedFile::Commit(std::string& error) {
    if (!m_written) {
        error = "cannot write " + m_final + ": nothing was written";
        return false;
    }
    if (std::rename(m_temporary.c_str(), m_final.c_str()) != 0) {
        error = Failure(m_final, errno);
        Discard();
        return false;
    }
    m_written = false;
    return true;
}
