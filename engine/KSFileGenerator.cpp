#include "engine/KSFileGenerator.h"

#include "engine/GenerationProgress.h"
#include "engine/KSBatchManifest.h"
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

std::uint32_t FileSeed(std::uint32_t definitionSeed, std::uint32_t index) {
    // The 64-bit finaliser of a well-known hash: every bit of both inputs reaches every bit.
    std::uint64_t x = (static_cast<std::uint64_t>(definitionSeed) << 32) | index;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return static_cast<std::uint32_t>(x);
}

CKSFileWork::CKSFileWork(std::uint32_t count, std::int32_t interval, CFileShard shard)
    : m_count(count), m_interval(interval),
      m_shard(shard.count == 0 || shard.index >= shard.count ? CFileShard{} : shard) {}

std::uint32_t CKSFileWork::CountInShard() const {
    if (m_shard.index >= m_count) {
        return 0;
    }
    return (m_count - m_shard.index - 1) / m_shard.count + 1;
}

bool CKSFileWork::Take(std::uint32_t& index) {
    if (m_abandoned.load()) {
        return false;
    }
    const std::uint64_t n = m_next.fetch_add(1);
    const std::uint64_t candidate = m_shard.index + n * m_shard.count;
    if (candidate >= m_count) {
        return false;
    }
    index = static_cast<std::uint32_t>(candidate);
    return true;
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
    if (m_batchProgress != nullptr && m_sizedTarget == 0 && target > 0) {
        m_sizedTarget = target;
        m_batchProgress->BeginSizedFile(target);
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

void CKSFileGenerator::PrepareWork() {
    if (m_work) {
        return;
    }
    // With a seed, the count and interval come from the definition's seed alone, so every part,
    // every shard and every number of jobs sees the same ones.
    if (m_seed) {
        KSSrand(*m_seed);
    }
    const CKSRange files = RangeProperty(u"Files", CKSRange(1, 1));
    const auto count = static_cast<std::uint32_t>(
        RandomInRange(static_cast<std::uint64_t>(files.min), static_cast<std::uint64_t>(files.max)));
    const auto interval = static_cast<std::int32_t>(KSRand() % 191) + 1;
    m_work = std::make_shared<CKSFileWork>(count, interval, m_shard);
    m_part = m_work->AddPart();
    if (m_batchProgress != nullptr) {
        m_batchProgress->AddExpectedFiles(m_work->CountInShard());
    }
}

std::uint32_t CKSFileGenerator::GetAssignedFiles() const {
    if (!m_work) {
        return 0;
    }
    const std::uint32_t files = m_work->CountInShard();
    const std::uint32_t parts = m_work->GetParts();
    return files / parts + (m_part < files % parts ? 1 : 0);
}

void CKSFileGenerator::SetManifest(CKSBatchManifest* manifest, const CKSString& definitionName) {
    m_manifest = manifest;
    m_definitionName = definitionName;
}

std::unique_ptr<CKSFileGenerator> CKSFileGenerator::Split() {
    // A definition with a range that cannot be drawn from makes nothing: Generate says why, once.
    if (m_properties.FindUnsoundRange() != nullptr) {
        return nullptr;
    }
    PrepareWork();
    if (m_work->CountInShard() <= m_work->GetParts()) {
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
    sibling->m_shard = m_shard;
    sibling->m_paceMilliseconds = m_paceMilliseconds;
    sibling->m_manifest = m_manifest;
    sibling->m_definitionName = m_definitionName;
    sibling->m_work = m_work;
    sibling->m_part = m_work->AddPart();
    sibling->m_batchProgress = m_batchProgress;
    sibling->SetBatchStopEvent(GetBatchStopEvent());
    return sibling;
}

void CKSFileGenerator::Generate() {
    if (!RangesAreSound()) {
        return;
    }
    PrepareWork();
    m_interval = m_work->GetInterval();
    Logger().InfoF("'%s' generating %u files", m_name, GetAssignedFiles());
    Logger().InfoF("      in %s", m_folder);

    if (m_seed) {
        // Names of a seeded run are as reproducible as its content.
        m_discriminator = static_cast<std::int32_t>(FileSeed(*m_seed, 0xFFFFFFFFu) & 0x7FFFFFFFu);
    } else {
        // The per-run part of the discriminator: ((T | H << 4) << 4) | (L >> 8) in 32 bits, with
        // T the thread id and H, L the halves of the current file time. Unsigned arithmetic.
        const std::uint64_t now = SystemTimeAsFileTime();
        const auto threadId = static_cast<std::uint32_t>(::gettid());
        const auto high = static_cast<std::uint32_t>(now >> 32);
        const auto low = static_cast<std::uint32_t>(now);
        const std::uint32_t perRun = ((threadId | (high << 4)) << 4) | (low >> 8);
        m_discriminator = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_discriminator) + perRun);
    }

    const CKSManualResetEvent& quit = ApplicationQuitEvent();
    std::uint32_t i = 0;
    while (m_work->Take(i)) {
        if (m_seed) {
            KSSrand(FileSeed(*m_seed, i));
        }
        ForgetStopSeen();
        CKSString path;
        // From the claim of the name until the file is closed whole: any way out in between
        // leaves a file that this run made and did not finish.
        bool unfinished = false;
        try {
            if (CreateNextFile(i, path)) {
                unfinished = true;
                if (m_manifest != nullptr) {
                    m_digest.Reset();
                    SetWriteTap(&m_digest);
                }
                GenerateContent();
                if (StopSeen()) {
                    RemoveUnfinished(path, u"stopped before it was finished");
                    break;
                }
                CloseOutput(path);
                unfinished = false;
                SetWriteTap(nullptr);
                RecordFinishedFile(path, i);
            } else {
                Logger().ErrorF("Failed to create new file (%s)", path);
            }
        } catch (const CKSFatalException& fatal) {
            SetWriteTap(nullptr);
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
            m_work->Abandon();
            break;
        } catch (const CKSException& failure) {
            SetWriteTap(nullptr);
            Logger().ErrorF("Error generating data for file (%d)", static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", failure);
            if (unfinished) {
                RemoveUnfinished(path, failure.View());
            }
        } catch (const std::bad_alloc&) {
            SetWriteTap(nullptr);
            // Out of memory for one file (a huge drawn size, say) skips that file, as any other
            // failure of its content does.
            Logger().ErrorF("Error generating data for file (%d)", static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", "Out of memory");
            if (unfinished) {
                RemoveUnfinished(path, u"out of memory");
            }
        }
        // The quit event ends the run between files, and so does any stop (the batch's own too);
        // after a stop of either kind no new file is begun.
        if (StopRequested() ||
            CKSManualResetEvent::WaitAny({&quit, GetBatchStopEvent()}, m_paceMilliseconds) != kWaitTimeout) {
            break;
        }
    }
}

void CKSFileGenerator::RemoveUnfinished(const CKSString& path, std::u16string_view reason) {
    Abandon();
    // What was counted of this file must not be taken off the next file's count.
    EndSizedFile();
    m_countedOfFile = 0;
    if (::unlink(path.ToUtf8().c_str()) == 0) {
        Logger().WarningF("Removed unfinished file %s: %s", path, reason);
    } else {
        const int error = errno;
        Logger().ErrorF("Could not remove unfinished file %s (%s): %s", path, reason,
                        CKSString::FromUtf8(std::strerror(error)));
    }
}

void CKSFileGenerator::RecordFinishedFile(const CKSString& path, std::uint32_t index) {
    // Only files the run saw through to their close get here: a stop that cut one short has
    // removed it.
    if (m_manifest == nullptr) {
        return;
    }
    std::uint64_t size = 0;
    std::string sha256;
    if (m_digest.Finish(size, sha256)) {
        m_manifest->AddFile(m_definitionName, index, path, size, sha256);
    } else {
        Logger().ErrorF("Could not hash %s for the manifest", path);
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
    EndSizedFile();
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
            if (m_sizedTarget != 0) {
                m_batchProgress->AddSizedBytes(written);
            }
        }
    }
    return ok;
}

void CKSFileGenerator::EndSizedFile() {
    if (m_batchProgress != nullptr && m_sizedTarget != 0) {
        m_batchProgress->EndSizedFile(m_sizedTarget, m_countedOfFile);
    }
    m_sizedTarget = 0;
}
