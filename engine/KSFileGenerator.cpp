#include "engine/KSFileGenerator.h"

#include "engine/GenerationProgress.h"
#include "engine/KSBatchManifest.h"
#include "engine/SeededBatchFiles.h"
#include "engine/StopEvent.h"
#include "support/Crc32.h"
#include "support/KSException.h"
#include "support/KSTime.h"
#include "support/MakePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numeric>
#include <random>
#include <unistd.h>

namespace {

// Every generator starts from this template; the kind then appends its own properties.
const CKSPropertyList& CommonTemplate() {
    static const CKSPropertyList properties = [] {
        const CKSProperty files(u"Files", u"Number of files to generate", CKSRange(1, 1));
        const CKSProperty type(u"Type", u"Type of files to generate", u"txt");
        // Both become part of every file name: neither may lead out of the folder.
        CKSProperty extension(u"Extension", u"Extension of files to generate", u"");
        extension.MarkFileNamePart();
        CKSProperty prefix(u"Prefix", u"Filename Prefix", u"fk");
        prefix.MarkFileNamePart();
        const CKSBoolProperty simpleName(u"SimpleName", u"Simple naming (sequential)", false);
        const CKSProperty folder(u"Folder", u"Sub-folder in which to generate files", u"");
        const CKSProperty subType(u"SubType", u"Sub-type for generating associated files", u"");
        const CKSProperty damage(u"Damage", u"Damage classes (empty: none)", u"");
        const CKSProperty damageShare(u"DamageShare", u"Percent of the files damaged", std::int64_t{100});
        const CKSProperty names(u"Names", u"File names: plain, unicode, spaces, dash, long, case or deep",
                                u"plain");
        const CKSProperty* table[] = {&files,  &type,    &extension, &prefix,      &simpleName,
                                      &folder, &subType, &damage,    &damageShare, &names};
        return CKSPropertyList(table);
    }();
    return properties;
}

// Makes the names of generators differ from one another; starts at 1.
std::atomic<std::uint32_t> g_instanceCounter{1};

// The seeds of a file's own streams in a seeded run: its content seed, moved apart so that none
// runs in step with another.
constexpr std::uint64_t kFileStreamSalt = 0xD1B54A32D192ED03ull;
constexpr std::uint64_t kDamageStreamSalt = 0x8CB92BA72F3D8DD7ull;

std::u16string JoinedClasses(const std::vector<std::string_view>& own) {
    std::u16string known;
    for (const std::string_view name : {damage::kTruncate, damage::kFlip, damage::kZero, damage::kEmpty}) {
        known += (known.empty() ? u"" : u", ") + Utf8ToUtf16(name);
    }
    for (const std::string_view name : own) {
        known += u", " + Utf8ToUtf16(name);
    }
    return known;
}

} // namespace

std::vector<std::string> ParseDamageList(std::u16string_view text) {
    std::vector<std::string> classes;
    std::string current;
    for (const char c : Utf16ToUtf8(text) + ",") {
        if (c == ',' || c == ' ' || c == '\t' || c == ';') {
            if (!current.empty()) {
                classes.push_back(current);
                current.clear();
            }
        } else {
            current.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        }
    }
    return classes;
}

std::uint32_t DefinitionSeed(std::uint32_t runSeed, const CKSString& definitionName) {
    const unsigned char seedBytes[4] = {
        static_cast<unsigned char>(runSeed), static_cast<unsigned char>(runSeed >> 8),
        static_cast<unsigned char>(runSeed >> 16), static_cast<unsigned char>(runSeed >> 24)};
    const std::string name = definitionName.ToUtf8();
    return UpdateCrc32(UpdateCrc32(0, seedBytes, 4), name.data(), name.size());
}

std::vector<std::uint64_t> ShardOffsets(std::span<const CDealtDefinition> definitions) {
    std::vector<std::size_t> order(definitions.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&definitions](std::size_t a, std::size_t b) {
        return definitions[a].fileBytes > definitions[b].fileBytes;
    });
    std::vector<std::uint64_t> offsets(definitions.size());
    std::uint64_t offset = 0;
    for (const std::size_t at : order) {
        offsets[at] = offset;
        offset += definitions[at].files;
    }
    return offsets;
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

bool NamesDamage(const CKSPropertyList& properties, std::string_view damageClass) {
    const CKSProperty* damageList = properties.Find(u"Damage");
    if (damageList == nullptr) {
        return false;
    }
    const std::vector<std::string> classes = ParseDamageList(damageList->GetValue().View());
    return std::find(classes.begin(), classes.end(), damageClass) != classes.end();
}

CKSFileWork::CKSFileWork(std::uint32_t count, std::int32_t interval, CFileShard shard)
    : m_count(count), m_interval(interval) {
    SetShard(shard);
}

void CKSFileWork::SetShard(CFileShard shard) {
    m_shard = shard.count == 0 || shard.index >= shard.count ? CFileShard{0, 1, shard.offset} : shard;
    m_firstRound = ShardPlacesBelow(m_shard.offset);
}

std::uint64_t CKSFileWork::PlaceInRound(std::uint64_t round) const {
    const std::uint32_t slot = round % 2 == 0 ? m_shard.index : m_shard.count - 1 - m_shard.index;
    return round * m_shard.count + slot;
}

std::uint64_t CKSFileWork::ShardPlacesBelow(std::uint64_t place) const {
    // One place in every whole round, and the one of the last round when it lies below.
    const std::uint64_t round = place / m_shard.count;
    return round + (PlaceInRound(round) < place ? 1 : 0);
}

std::uint32_t CKSFileWork::CountInShard() const {
    return static_cast<std::uint32_t>(ShardPlacesBelow(m_shard.offset + m_count) - m_firstRound);
}

bool CKSFileWork::Take(std::uint32_t& index) {
    if (m_abandoned.load()) {
        return false;
    }
    const std::uint64_t place = PlaceInRound(m_firstRound + m_next.fetch_add(1));
    if (place >= m_shard.offset + m_count) {
        return false;
    }
    index = static_cast<std::uint32_t>(place - m_shard.offset);
    return true;
}

CKSFileGenerator::CKSFileGenerator(CKSLogger* logger)
    : CKSIsLogging(logger), m_properties(CommonTemplate()),
      m_discriminator(static_cast<std::int32_t>(g_instanceCounter.fetch_add(1))) {}

CKSFileGenerator::~CKSFileGenerator() {
    SetStages({});
}

void CKSFileGenerator::Run() {
    if (m_seed) {
        KSSrand(*m_seed);
    } else {
        SeedThread();
    }
    Generate();
}

void CKSFileGenerator::AppendProperties(const CKSPropertyList& table) {
    m_soundness.reset();
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

const CKSProperty* CKSFileGenerator::FindProblem(CKSString& value, std::u16string& reason) const {
    if (const CKSProperty* refused = m_properties.FindRefusedValue()) {
        value = refused->GetRefusal()->text;
        reason = refused->GetRefusal()->reason;
        return refused;
    }
    if (const CKSProperty* unsound = m_properties.FindUnsoundRange(&reason)) {
        value = unsound->GetRangeValue().Format();
        return unsound;
    }
    // File numbers are 32 bits wide: a count above that would be made as another number.
    const CKSProperty* files = m_properties.Find(u"Files");
    if (files != nullptr && files->GetType() == PropertyType::RANGE &&
        files->GetRangeValue().max > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) {
        value = files->GetRangeValue().Format();
        reason = KSFormat(std::u16string_view(u"more files than one definition can make (%u)"),
                          std::numeric_limits<std::uint32_t>::max());
        return files;
    }
    return nullptr;
}

bool CKSFileGenerator::DefinitionIsSound() const {
    CKSString value;
    std::u16string reason;
    const CKSProperty* problem = FindProblem(value, reason);
    if (problem == nullptr) {
        return true;
    }
    Logger().ErrorF("%s: nothing generated: %s=%s: %s", m_name, problem->GetName(), value, reason);
    return false;
}

bool CKSFileGenerator::IsSound() const {
    if (!m_soundness) {
        CKSString value;
        std::u16string reason;
        m_soundness = FindProblem(value, reason) == nullptr && OptionsProblem().empty();
    }
    return *m_soundness;
}

std::u16string CKSFileGenerator::OptionsProblem() const {
    const CKSProperty* names = m_properties.Find(u"Names");
    if (names != nullptr && !ParseNameStyle(names->GetValue().View())) {
        std::u16string known;
        for (const CNameStyleInfo& info : NameStyles()) {
            known += (known.empty() ? u"" : u", ") + std::u16string(info.key);
        }
        return KSFormat(std::u16string_view(u"Names=%s: not a style of names; known: %s"), names->GetValue(),
                        known);
    }
    const CKSProperty* share = m_properties.Find(u"DamageShare");
    if (share != nullptr && (share->GetLongValue64() < 0 || share->GetLongValue64() > 100)) {
        return KSFormat(std::u16string_view(u"DamageShare=%I64d: a percentage from 0 to 100"),
                        share->GetLongValue64());
    }
    const CKSProperty* damageList = m_properties.Find(u"Damage");
    if (damageList == nullptr) {
        return {};
    }
    const std::vector<std::string_view> own = OwnDamageClasses();
    for (const std::string& name : ParseDamageList(damageList->GetValue().View())) {
        if (!IsCommonDamage(name) && std::find(own.begin(), own.end(), name) == own.end()) {
            return KSFormat(
                std::u16string_view(u"Damage=%s: '%s' is not a damage class of these files; known: %s"),
                damageList->GetValue(), Utf8ToUtf16(name), JoinedClasses(own));
        }
    }
    return {};
}

void CKSFileGenerator::PlanFile(std::uint32_t index) {
    m_fileDamage.clear();
    m_damageRecord = CDamageRecord{};
    m_nameRecord = CNameRecord{};
    m_damageStage.reset();
    // Unseeded runs draw the run's seed once; each file still gets streams of its own.
    const std::uint64_t seed =
        (static_cast<std::uint64_t>(m_seed ? FileSeed(*m_seed, index) : m_unseededRun) << 32 | index) ^
        kFileStreamSalt;
    m_fileStream = CSeededStream(seed);
    m_damageStream = CSeededStream(seed ^ kFileStreamSalt ^ kDamageStreamSalt);
    if (!m_damageClasses.empty() && m_damageStream.Below(100) < m_damageShare) {
        m_fileDamage =
            m_damageClasses[static_cast<std::size_t>(m_damageStream.Below(m_damageClasses.size()))];
        m_damageRecord.damageClass = m_fileDamage;
    }
}

void CKSFileGenerator::StartFileStages() {
    std::vector<COutputStage*> stages;
    PrepareStages(stages);
    if (IsCommonDamage(m_fileDamage) && !DamagesOwnBytes()) {
        if (m_fileDamage == damage::kEmpty) {
            m_damageStage = std::make_unique<CDropStage>();
        } else {
            m_damageStage = std::make_unique<CTailDamageStage>(
                [this](std::string& window, std::uint64_t start) { DamageTail(window, start); });
        }
        stages.push_back(m_damageStage.get());
    }
    if (!stages.empty()) {
        SetStages(std::move(stages));
    }
}

void CKSFileGenerator::DamageTail(std::string& window, std::uint64_t start) {
    m_damageRecord.changes = ApplyCommonDamage(m_fileDamage, window, start, HeaderBytes(), m_damageStream);
    JudgeCommonDamage(m_damageRecord, window, start);
}

void CKSFileGenerator::JudgeCommonDamage(CDamageRecord& record, const std::string&, std::uint64_t) {
    record.outcome = EReaderOutcome::Unknown;
    record.expected =
        record.damageClass == damage::kEmpty
            ? "an empty file: readers that expect content fail"
            : "the content changed where the format has no check: only a hash of the file tells";
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

void CKSFileGenerator::SetShard(CFileShard shard) {
    m_shard = shard;
    if (m_work) {
        m_work->SetShard(shard);
    }
}

std::uint32_t CKSFileGenerator::DrawFileCount() {
    PrepareWork();
    return m_work->GetCount();
}

std::uint64_t CKSFileGenerator::ExpectedFileBytes() const {
    const CKSProperty* size = m_properties.Find(u"Size");
    if (!HasSize() || size == nullptr || size->GetType() != PropertyType::RANGE) {
        return 1;
    }
    const CKSRange& range = size->GetRangeValue();
    // The middle without overflow; sound ranges have no negative bound.
    return static_cast<std::uint64_t>(std::max<std::int64_t>(range.min / 2 + range.max / 2, 1));
}

std::uint32_t CKSFileGenerator::GetAssignedFiles() const {
    if (!m_work) {
        return 0;
    }
    const std::uint32_t files = m_work->CountInShard();
    const std::uint32_t parts = m_work->GetParts();
    return files / parts + (m_part < files % parts ? 1 : 0);
}

void CKSFileGenerator::AnnounceWork() {
    if (m_announced || !IsSound()) {
        return;
    }
    m_announced = true;
    PrepareWork();
    const std::uint32_t files = m_work->CountInShard();
    const std::uint32_t parts = m_work->GetParts();
    const CKSString& name = m_definitionName.IsEmpty() ? m_name : m_definitionName;
    if (parts > 1) {
        Logger().InfoF("'%s' generating %u files in %u parallel parts", name, files, parts);
    } else {
        Logger().InfoF("'%s' generating %u %s", name, files, std::string_view(files == 1 ? "file" : "files"));
    }
    Logger().InfoF("      in %s", m_folder);
}

void CKSFileGenerator::SetSeededBatchFiles(CSeededBatchFiles* files, const CKSString& definitionName) {
    m_batchFiles = files;
    m_definitionName = definitionName;
}

void CKSFileGenerator::SetManifest(CKSBatchManifest* manifest, const CKSString& definitionName) {
    m_manifest = manifest;
    m_definitionName = definitionName;
}

std::unique_ptr<CKSFileGenerator> CKSFileGenerator::Split() {
    // A definition that cannot be generated makes nothing: Generate says why, once.
    if (!IsSound()) {
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
    sibling->m_batchFiles = m_batchFiles;
    sibling->SetBatchStopEvent(GetBatchStopEvent());
    return sibling;
}

void CKSFileGenerator::Generate() {
    if (!IsSound()) {
        // The checks again, to say why.
        if (DefinitionIsSound()) {
            Logger().ErrorF("%s: nothing generated: %s", m_name, OptionsProblem());
        }
        return;
    }
    m_damageClasses = ParseDamageList(TextProperty(u"Damage").View());
    m_damageShare = static_cast<std::uint32_t>(LongProperty(u"DamageShare", 100));
    m_names = CHostileNames(ParseNameStyle(TextProperty(u"Names").View()).value_or(ENameStyle::Plain));
    if (!m_seed) {
        // One device per thread: opening one costs more than a small file on some machines.
        thread_local std::random_device device;
        m_unseededRun = device();
    }
    PrepareWork();
    m_interval = m_work->GetInterval();
    if (m_part == 0) {
        AnnounceWork();
    }

    if (m_seed) {
        // Names of a seeded run are as reproducible as its content.
        m_discriminator = static_cast<std::int32_t>(FileSeed(*m_seed, 0xFFFFFFFFu) & 0x7FFFFFFFu);
    } else {
        // The per-run part of the discriminator: ((T | H << 4) << 4) | (L >> 8) in 32 bits, with
        // T the thread id and H, L the halves of the current file time. Unsigned arithmetic.
        const std::uint64_t now = SystemTimeAsFileTime();
        thread_local const auto threadId = static_cast<std::uint32_t>(::gettid());
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
        m_unfinished.reset();
        bool stopped = false;
        try {
            stopped = !MakeFile(i);
        } catch (const CKSFatalException& fatal) {
            SetWriteTap(nullptr);
            Logger().ErrorF("%s: Fatal error generating data for file (%d)", m_name,
                            static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", fatal);
            if (m_unfinished) {
                // A write failure carries the system's error code: say it in words.
                RemoveUnfinished(*m_unfinished,
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
            if (m_unfinished) {
                RemoveUnfinished(*m_unfinished, failure.View());
            }
        } catch (const std::bad_alloc&) {
            SetWriteTap(nullptr);
            // Out of memory for one file (a huge drawn size, say) skips that file, as any other
            // failure of its content does.
            Logger().ErrorF("Error generating data for file (%d)", static_cast<std::int32_t>(i));
            Logger().ErrorF("%s", "Out of memory");
            if (m_unfinished) {
                RemoveUnfinished(*m_unfinished, u"out of memory");
            }
        }
        if (stopped) {
            break;
        }
        // The quit event ends the run between files, and so does any stop (the batch's own too);
        // after a stop of either kind no new file is begun.
        if (StopRequested() ||
            CKSManualResetEvent::WaitAny({&quit, GetBatchStopEvent()}, m_paceMilliseconds) != kWaitTimeout) {
            break;
        }
    }
}

bool CKSFileGenerator::MakeFile(std::uint32_t index) {
    PlanFile(index);
    if (m_seed) {
        return MakeSeededFile(index);
    }
    CKSString path;
    if (!CreateNextFile(index, path)) {
        Logger().ErrorF("Failed to create new file (%s)", path);
        return true;
    }
    if (!WriteContent(path)) {
        return false;
    }
    RecordFinishedFile(path, index);
    return true;
}

bool CKSFileGenerator::WriteContent(const CKSString& path) {
    // From the claim of the name until the file is closed whole: any way out in between leaves
    // a file that this run made and did not finish.
    m_unfinished = path;
    if (m_manifest != nullptr) {
        m_digest.Reset();
        SetWriteTap(&m_digest);
    }
    StartFileStages();
    GenerateContent();
    if (StopSeen()) {
        RemoveUnfinished(path, u"stopped before it was finished");
        m_unfinished.reset();
        return false;
    }
    CloseOutput(path);
    m_unfinished.reset();
    SetWriteTap(nullptr);
    return true;
}

bool CKSFileGenerator::MakeSeededFile(std::uint32_t index) {
    // The file's content is known before it is written, so a file found at its name can be
    // recognised: the same bytes are kept, a cut-short copy is completed, anything else stays.
    // Until a name is found taken, the file is written straight into it, as in any run.
    std::optional<CKSString> regenerated;
    // Puts the copy in place under that name, replacing what stands there.
    const auto place = [&regenerated](const CKSString& path) {
        if (std::rename(regenerated->ToUtf8().c_str(), path.ToUtf8().c_str()) != 0) {
            ::unlink(regenerated->ToUtf8().c_str());
            throw CKSException("Failed to put the completed file in place: %s", path);
        }
    };
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const CKSString path = CandidatePath(index, attempt);
        const bool created = OpenOutput(path);
        if (created && m_batchFiles != nullptr) {
            m_batchFiles->Claim(path);
        }
        if (created && !regenerated) {
            if (!WriteContent(path)) {
                return false;
            }
            RecordFinishedFile(path, index);
            return true;
        }
        if (created) {
            // The copy made beside an occupied name takes this free one.
            Close();
            place(path);
            RecordFinishedFile(path, index);
            return true;
        }
        if (LastOpenError() != EEXIST) {
            Logger().ErrorF("Failed to create new file (%s)", path);
            return true;
        }
        // Another file of this run took the name (definitions whose names meet), or did in the
        // run that wrote the earlier manifest: the next name, as in any run.
        const CSeededBatchFiles::EListed listed = m_batchFiles != nullptr
                                                      ? m_batchFiles->Listed(path, m_definitionName, index)
                                                      : CSeededBatchFiles::EListed::No;
        if ((m_batchFiles != nullptr && m_batchFiles->IsClaimed(path)) ||
            listed == CSeededBatchFiles::EListed::AnotherFile) {
            continue;
        }
        if (!regenerated) {
            const std::string name = std::filesystem::path(path.ToUtf8()).filename().string();
            regenerated = CKSString::FromUtf8(
                (std::filesystem::path(path.ToUtf8()).parent_path() / ("." + name + ".fakemill-part"))
                    .string());
            ::unlink(regenerated->ToUtf8().c_str()); // left by a run that was killed
            if (!OpenOutput(*regenerated)) {
                Logger().ErrorF("Failed to create new file (%s)", *regenerated);
                return true;
            }
            if (!WriteContent(*regenerated)) {
                return false;
            }
        }
        const CSeededBatchFiles::EMatch match = CSeededBatchFiles::Compare(path, *regenerated);
        if (match == CSeededBatchFiles::EMatch::Same) {
            ::unlink(regenerated->ToUtf8().c_str());
            Logger().InfoF("Kept %s: this batch made it before", path);
            RecordFinishedFile(path, index);
            return true;
        }
        if (match == CSeededBatchFiles::EMatch::CutShort || listed == CSeededBatchFiles::EListed::ThisFile) {
            place(path);
            Logger().InfoF("Completed %s: this batch had left it unfinished or changed", path);
            RecordFinishedFile(path, index);
            return true;
        }
        Logger().ErrorF("%s is in the way: this batch did not make it, and it is left as it is", path);
    }
    if (regenerated) {
        ::unlink(regenerated->ToUtf8().c_str());
    }
    throw CKSException("Tried maximum number of times to find new file (%s)", TextProperty(u"Type"));
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
    if (auto* dropped = dynamic_cast<CDropStage*>(m_damageStage.get())) {
        m_damageRecord.AddChange(0, dropped->FirstBytes(), std::string_view());
        m_damageRecord.changes.back().length = dropped->Dropped();
        JudgeCommonDamage(m_damageRecord, std::string(), 0);
    }
    // Only a file that holds the damage is declared damaged: a class that found nothing to
    // damage (a table without rows, an encoder that wrote no such chunk) recorded no change, and
    // the manifest never promises a reader failure that the bytes cannot cause.
    const bool damaged = !m_fileDamage.empty() && !m_damageRecord.changes.empty();
    if (m_digest.Finish(size, sha256)) {
        m_manifest->AddFile(m_definitionName, index, path, size, sha256, damaged ? &m_damageRecord : nullptr,
                            m_nameRecord.style.empty() ? nullptr : &m_nameRecord);
    } else {
        Logger().ErrorF("Could not hash %s for the manifest", path);
    }
}

CKSString CKSFileGenerator::CandidatePath(std::uint32_t index, int attempt) {
    const CKSProperty* simpleProperty = RequireProperty(u"SimpleName");
    const bool simple = simpleProperty == nullptr || simpleProperty->GetBoolValue();

    const CKSString subfolder = m_names.Subfolder();
    const CKSString where = subfolder.IsEmpty() ? m_folder : CKSPathName(m_folder).Join(subfolder);
    if (!where.IsEmpty() && !IsDirectory(where)) {
        // Every missing level of "a/b"; a failure shows at the create.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(where.ToUtf8()), ignored);
    }
    if (m_interval < 1) {
        m_interval = 1; // "Must have filename interval": Generate draws it before any file
    }
    // Each taken name moves on by the interval; the numbers wrap in 32 bits as they always did.
    const auto k = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_names.FirstNumber(index)) +
                                             static_cast<std::uint32_t>(attempt) *
                                                 static_cast<std::uint32_t>(m_interval));
    const CNameParts parts{GetPrefix(), TextProperty(u"Type"), GetExtension(), simple, m_discriminator};
    return CKSPathName(where).Join(m_names.Name(parts, index, k, m_nameRecord));
}

bool CKSFileGenerator::CreateNextFile(std::uint32_t index, CKSString& path) {
    for (int attempt = 0;; ++attempt) {
        path = CandidatePath(index, attempt);
        if (attempt >= kMaxNameAttempts) {
            throw CKSException("Tried maximum number of times to find new file (%s)", TextProperty(u"Type"));
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
    // Stages may hold bytes back until the close: then the file's size is what reached it.
    const bool staged = HasStages();
    const std::uint64_t size = GetSize() + GetBuffered();
    Close();
    CountFile(staged ? m_countedOfFile : size);
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
