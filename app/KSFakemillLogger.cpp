#include "app/KSFakemillLogger.h"

#include "support/MakePath.h"

CKSFakemillLogger::CKSFakemillLogger() : CKSLogger(u"ksfkmui", "a") {
    SetLevel(kLevelErrors);
    // The base chose its candidate in the temporary folder, before this class's folder existed.
    ChooseLogPath();
}

CKSString CKSFakemillLogger::GetLogFolder() const {
    if (KnownFolderPath(KnownFolder::LocalAppData).IsEmpty()) {
        return CKSLogger::GetLogFolder();
    }
    const CKnownPath folder(KnownFolder::LocalAppData, kLogFolderName);
    if (folder.CreateDirectory()) {
        return folder.Path();
    }
    return CKSLogger::GetLogFolder();
}

CKSFKMOutput::~CKSFKMOutput() {
    Close();
}

bool CKSFKMOutput::Open(CKSLogger& logger) {
    if (!logger.ClaimLogFile()) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    return m_file.OpenForAppend(logger.GetLogPath());
}

void CKSFKMOutput::Close() {
    std::lock_guard lock(m_mutex);
    m_file.Close();
}

bool CKSFKMOutput::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

CKSString CKSFKMOutput::GetPath() const {
    std::lock_guard lock(m_mutex);
    return m_file.GetPath();
}

void CKSFKMOutput::Write(std::u16string_view text, bool error) {
    m_debug.Write(text, error);
    Append(Utf16ToUtf8(text));
}

void CKSFKMOutput::WriteA(std::string_view text) {
    m_debug.WriteA(text);
    Append(std::string(text));
}

void CKSFKMOutput::Append(std::string line) {
    // Messages come without a line ending (some carry their own CR LF): each becomes one line.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    line += '\n';
    std::lock_guard lock(m_mutex);
    if (m_file.IsOpen()) {
        m_file.WriteBytes(line);
    }
}
