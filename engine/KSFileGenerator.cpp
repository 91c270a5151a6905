#include "engine/KSFileGenerator.h"

#include "engine/GenerationProgress.h"
#include "engine/StopEvent.h"
#include "support/Crc32.h"
#include "support/KSException.h"
#include "support/KSTime.h"
#include "support/MakePath.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

// Every generator starts from this template; the kind then appends its own properties.
const CKSPropertyList& CommonTemplate() {
    static const CKSPropertyList properties = [] {
        const CKSProperty files(u"Files", u"Number of files to generate", CKSRange(1, 1));
        const CKSProperty type(u"Type", u"Type of files to generate", u"txt");
        const CKSProperty extension(u"Extension", u"Extension of files to generate", u"");
        const CKSProperty prefix(u"Prefix", u"Filename Prefix", u"fk");
        const CKSBoolProperty simpleName(u"SimpleName", u"Simple naming (sequential)", false);
        const CKSProperty folder(u"Folder", u"Sub-folder in which to generate files", u"");
        const CKSProperty subType(u"SubType", u"Sub-type for generating associated files", u"");
        const CKSProperty* table[] = {&files, &type, &extension, &prefix, &simpleName, &folder, &subType};
        return CKSPropertyList(table);
    }();
    return properties;
}

// Makes the names of generators differ from one another; starts at 1.
std::atomic<std::uint32_t> g_instanceCounter{1};

} // namespace

std::uint32_t DefinitionSeed(std::uint32_t runSeed, const CKSString& definitionName) {
    const unsigned char seedBytes[4] = {
        static_cast<unsigned char>(runSeed), static_cast<unsigned char>(runSeed >> 8),
        static_cast<unsigned char>(runSeed >> 16), static_cast<unsigned char>(runSeed >> 24)};
    const std::string name = definitionName.ToUtf8();
    return UpdateCrc32(UpdateCrc32(0, seedBytes, 4), name.data(), name.size());
}

CKSFileGenerator::CKSFileGenerator(CKSLogger* logger)
    : CKSIsLogging(logger), m_properties(CommonTemplate()),
      m_discriminator(static_cast<std::int32_t>(g_instanceCounter.fetch_add(1))) {}

void CKSFileGenerator::Run() {
    if (m_seed) {
        KSSrand(*m_seed);
    } else {
        SeedThread();
    }
    Generate();
}

void CKSFileGenerator::AppendProperties(const CKSPropertyList& table) {
    table.ForEachProperty([this](const CKSProperty& property) { m_properties.Add(property); });
}

const CKSProperty* CKSFileGenerator::RequireProperty(std::u16string_view name) const {
    const CKSProperty* property = m_properties.Find(name);
    if (property == nullptr) {
        Logger().ErrorF("Must have %s property! (not found out of %d)", name,
                        static_cast<int>(m_properties.Count()));
    }
    return property;
}

CKSRange CKSFileGenerator::RangeProperty(std::u16string_view name, const CKSRange& fallback) const {
    const CKSProperty* property = RequireProperty(name);
    return property != nullptr ? property->GetRangeValue() : fallback;
}

bool CKSFileGenerator::BoolProperty(std::u16string_view name, bool fallback) const {
    const CKSProperty* property = RequireProperty(name);
    return property != nullptr ? property->GetBoolValue() : fallback;
}

std::int32_t CKSFileGenerator::LongProperty(std::u16string_view name, std::int32_t fallback) const {
    const CKSProperty* property = RequireProperty(name);
    return property != nullptr ? property->GetLongValue() : fallback;
}

CKSString CKSFileGenerator::TextProperty(std::u16string_view name) const {
    const CKSProperty* property = RequireProperty(name);
    return property != nullptr ? property->GetValue() : CKSString(u"");
}

CKSString CKSFileGenerator::GetType() const {
    return TextProperty(u"Type");
}

CKSString CKSFileGenerator::GetPrefix() const {
    CKSString prefix = TextProperty(u"Prefix");
    return prefix.IsEmpty() ? CKSString(u"fkx") : prefix;
}

CKSString CKSFileGenerator::GetExtension() {
    CKSString extension = TextProperty(u"Extension");
    return extension.IsEmpty() ? GetType() : extension;
}

void CKSFileGenerator::SetName() {
    m_name = CKSString(KSFormatCapped(96, std::u16string_view(u"%s generator"), GetType()));
}

bool CKSFileGenerator::SetOutputFolder(const CKSString& base) {
    const CKSString folder = TextProperty(u"Folder");
    if (folder.IsEmpty()) {
        m_folder = base;
        return false;
    }
    if (IsRelativePath(folder)) {
        m_folder = CKSPathName(base).Join(folder);
    } else {
        m_folder = folder;
    }
    return true;
}

void CKSFileGenerator::ApplySizeProperty() {
    const CKSRange size = RangeProperty(u"Size", CKSRange(1000, 10000));
    const std::uint64_t target =
        RandomInRange(static_cast<std::uint64_t>(size.min), static_cast<std::uint64_t>(size.max));
    const auto limit = static_cast<std::uint64_t>(size.max);
    if (!ApplySize(target, limit)) {
        ApplySizeLimit(limit);
    }
}

std::int64_t CKSFileGenerator::GetSizeMinimum() const {
    const CKSProperty* size = m_properties.Find(u"Size");
    return size != nullptr ? size->GetRangeValue().min : 0;
}

void CKSFileGenerator::DescribeProperties(IPropertyInfo& info) {
    const std::u16string header = KSFormat(std::u16string_view(u"%s Properties \r\n"), m_name);
    Logger().InfoF("%s", header);
    info.OnHeader(header);
    m_properties.ForEach(info);
}

bool CKSFileGenerator::EnsureWordModel() {
    return false;
}

bool CKSFileGenerator::RangesAreSound() const {
    std::u16string problem;
    const CKSProperty* unsound = m_properties.FindUnsoundRange(&problem);
    if (unsound == nullptr) {
        return true;
    }
    Logger().ErrorF("%s: nothing generated: %s=%s: %s", m_name, unsound->GetName(),
                    unsound->GetRangeValue().Format(), problem);
    return false;
}

std::unique_ptr<CKSFileGenerator> CKSFileGenerator::Split() {
    if (m_assignedFiles != 0 || m_properties.FindUnsoundRange() != nullptr) {
        return nullptr;
    }
    const CKSRange files = RangeProperty(u"Files", CKSRange(1, 1));
    const std::uint64_t count =
        RandomInRange(static_cast<std::uint64_t>(files.min), static_cast<std::uint64_t>(files.max));
    if (count <= 1) {
        return nullptr;
    }
    std::unique_ptr<CKSFileGenerator> sibling = CreateSibling(GetLogger());
    if (!sibling) {
        return nullptr;
    }
    sibling->AddTypeProperties();
    sibling->m_properties.CopyValuesFrom(m_properties);
    sibling->m_folder = m_folder;
    sibling->m_name = m_name;
    sibling->m_seed = m_seed;
    sibling->m_paceMilliseconds = m_paceMilliseconds;
    sibling->m_batchProgress = m_batchProgress;
    sibling->SetBatchStopEvent(GetBatchStopEvent());
    m_assignedFiles = static_cast<std::uint32_t>((count + 1) / 2);
    sibling->m_assignedFiles = static_cast<std::uint32_t>(count / 2);
    return sibling;
}

void CKSFileGenerator::Generate() {
    if (!RangesAreSound()) {
        return;
    }
    std::uint32_t count = m_assignedFiles;
    if (count == 0) {
        const CKSRange files = RangeProperty(u"Files", CKSRange(1, 1));
        count = static_cast<std::uint32_t>(
            RandomInRange(static_cast<std::uint64_t>(files.min), static_cast<std::uint64_t>(files.max)));
    }
    Logger().InfoF("'%s' generating %u files", m_name, count);
    Logger().InfoF("      in %s", m_folder);

    // The per-run part of the discriminator: ((T | H << 4) << 4) | (L >> 8) in 32 bits, with
    // T the thread id and H, L the halves of the current file time. Unsigned arithmetic.
    const std::uint64_t now = SystemTimeAsFileTime();
    const auto threadId = static_cast<std::uint32_t>(::gettid());
    const auto high = static_cast<std::uint32_t>(now >> 32);
    const auto low = static_cast<std::uint32_t>(now);
    const std::uint32_t perRun = ((threadId | (high << 4)) << 4) | (low >> 8);
    m_discriminator = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_discriminator) + perRun);
    m_interval = static_cast<std::int32_t>(KSRand() % 191) + 1;

    const CKSManualResetEvent& quit = ApplicationQuitEvent();
    for (std::uint32_t i = 0; i < count; ++i) {
        ForgetStopSeen();
        CKSString path;
        // From the claim of the name until the file is closed whole: any way out in between
        // leaves a file that this run made and did not finish.
        bool unfinished = false;
        try {
            if (CreateNextFile(i, path)) {
                unfinished = true;
                GenerateContent();
                if (StopSeen()) {
                    RemoveUnfinished(path, u"stopped before it was finished");
                    break;
                }
                CloseOutput(path);
                unfinished = false;
            } else {
                Logger().ErrorF("Failed to create new file (%s)", path);
            }
        } catch (const CKSFatalException& fatal) {
            Logger().ErrorF("%s: Fatal error generating data for file (%d)", m_name,
                            static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", fatal);
            if (unfinished) {
                // A write failure carries the system's error code: say it in words.
                RemoveUnfinished(path,
                                 fatal.GetCode() != 0
                                     ? CKSString::FromUtf8(std::strerror(static_cast<int>(fatal.GetCode())))
                                     : CKSString(fatal.View()));
            }
            break;
        } catch (const CKSException& failure) {
            Logger().ErrorF("Error generating data for file (%d)", static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", failure);
            if (unfinished) {
                RemoveUnfinished(path, failure.View());
            }
        } catch (const std::bad_alloc&) {
            // Out of memory for one file (a huge drawn size, say) skips that file, as any other
            // failure of its content does.
            Logger().ErrorF("Error generating data for file (%d)", static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", "Out of memory");
            if (unfinished) {
                RemoveUnfinished(path, u"out of memory");
            }
        }
        // The quit event ends the run between files, and so does the batch's own stop; after a
        // stop of either kind no new file is begun.
        if (StopRequested() ||
            CKSManualResetEvent::WaitAny({&quit, GetBatchStopEvent()}, m_paceMilliseconds) != kWaitTimeout) {
            break;
        }
    }
}

void CKSFileGenerator::RemoveUnfinished(const CKSString& path, std::u16string_view reason) {
    Abandon();
    if (::unlink(path.ToUtf8().c_str()) == 0) {
        Logger().WarningF("Removed unfinished file %s: %s", path, reason);
    } else {
        const int error = errno;
        Logger().ErrorF("Could not remove unfinished file %s (%s): %s", path, reason,
                        CKSString::FromUtf8(std::strerror(error)));
    }
}

bool CKSFileGenerator::CreateNextFile(std::uint32_t index, CKSString& path) {
    const CKSString extension = GetExtension();
    const CKSString prefix = GetPrefix();
    const CKSProperty* simpleProperty = RequireProperty(u"SimpleName");
    const bool simple = simpleProperty == nullptr || simpleProperty->GetBoolValue();

    if (!m_folder.IsEmpty() && !IsDirectory(m_folder)) {
        // Every missing level of "a/b"; a failure shows at the create.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(m_folder.ToUtf8()), ignored);
    }
    if (m_interval < 1) {
        m_interval = 1; // "Must have filename interval": Generate draws it before any file
    }
    const CKSPathName folder(m_folder);
    std::int64_t k = index;
    for (int attempts = 1;; ++attempts) {
        const CKSString type = TextProperty(u"Type");
        const std::u16string name = simple
                                        ? KSFormat(std::u16string_view(u"%s%s%d.%s"), prefix, type,
                                                   static_cast<std::int32_t>(k), extension)
                                        : KSFormat(std::u16string_view(u"%s%s%d_%d.%s"), prefix, type,
                                                   m_discriminator, static_cast<std::int32_t>(k), extension);
        path = folder.Join(name);
        k += m_interval;
        if (attempts > kMaxNameAttempts) {
            throw CKSException("Tried maximum number of times to find new file (%s)", type);
        }
        if (OpenOutput(path)) {
            return true;
        }
        if (m_lastOpenError != EEXIST) {
            return false;
        }
    }
}

bool CKSFileGenerator::OpenOutput(const CKSString& path) {
    if (IsOpen()) {
        Close();
    }
    m_countedOfFile = 0; // what a failed file had written stays counted as written
    errno = 0;
    const bool open = CreateExclusive(path);
    m_lastOpenError = open ? 0 : errno;
    return open;
}

void CKSFileGenerator::CloseOutput(const CKSString&) {
    const std::uint64_t size = GetSize() + GetBuffered();
    Close();
    CountFile(size);
}

void CKSFileGenerator::CountFile(std::uint64_t bytes) {
    const std::uint64_t rest = bytes > m_countedOfFile ? bytes - m_countedOfFile : 0;
    m_countedOfFile = 0;
    CGenerationProgress::Instance().AddFile(rest);
    if (m_batchProgress != nullptr) {
        m_batchProgress->AddFile(rest);
    }
}

bool CKSFileGenerator::WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) {
    const bool ok = CKSOutFile::WriteToDescriptor(data, count, written);
    if (written != 0) {
        m_countedOfFile += written;
        CGenerationProgress::Instance().AddBytes(written);
        if (m_batchProgress != nullptr) {
            m_batchProgress->AddBytes(written);
        }
    }
    return ok;
}
