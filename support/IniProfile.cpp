#include "support/IniProfile.h"

#include "support/IniDocument.h"
#include "support/MakePath.h"
#include "support/PosixFile.h"

#include <QLockFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A writer waits this long for another writer's lock before it gives up.
constexpr auto kLockWait = std::chrono::seconds(10);
// A writer that dies between creating the lock file and writing its process id into it leaves a
// lock that names nobody; QLockFile calls such a lock stale only by its age. A short age is safe:
// QLockFile removes a stale lock only when it can take the lock's flock, which a live holder
// keeps for as long as it holds the lock.
constexpr int kStaleLockMs = 1000;
// A file of a thousand definitions is some 300 KB; nothing that deserves the name of a
// configuration file comes near this limit. A larger file is read only up to here and never
// written, so that a change can never cut it short.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
// Parsed files kept; the program works on one configuration at a time.
constexpr std::size_t kCacheEntries = 8;

// What identifies one version of a file. An atomic replace always gives a new inode, so the
// stamp changes with every write of ours even within one tick of the file-system clock.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;

    static FileStamp Of(const struct stat& info) {
        return FileStamp{info.st_dev, info.st_ino, info.st_size,
                         static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                             info.st_mtim.tv_nsec};
    }
    bool operator==(const FileStamp&) const = default;
};

// A parsed file with its index; immutable once made, shared by every reader that asks.
struct ParsedFile {
    ParsedFile(FileStamp fileStamp, ini::Document parsed)
        : stamp(fileStamp), document(std::move(parsed)), index(document) {}
    ParsedFile(const ParsedFile&) = delete;
    ParsedFile& operator=(const ParsedFile&) = delete;

    FileStamp stamp;
    ini::Document document;
    ini::Index index; // refers to document: constructed after it, never moved
};

std::atomic<std::uint64_t> g_parseCount{0};

class ParsedFileCache {
public:
    std::shared_ptr<const ParsedFile> Find(const std::string& path, const FileStamp& stamp) {
        std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(path);
        if (found == m_entries.end() || found->second.file->stamp != stamp) {
            return nullptr;
        }
        found->second.lastUse = ++m_clock;
        return found->second.file;
    }

    void Store(const std::string& path, std::shared_ptr<const ParsedFile> file) {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCacheEntries && m_entries.find(path) == m_entries.end()) {
            const auto oldest =
                std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
                    return a.second.lastUse < b.second.lastUse;
                });
            m_entries.erase(oldest);
        }
        m_entries[path] = Entry{std::move(file), ++m_clock};
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    struct Entry {
        std::shared_ptr<const ParsedFile> file;
        std::uint64_t lastUse = 0;
    };
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
    std::uint64_t m_clock = 0;
};

ParsedFileCache& Cache() {
    static ParsedFileCache cache;
    return cache;
}

enum class LoadResult { Loaded, Missing, Failed };

struct Loaded {
    LoadResult result = LoadResult::Missing;
    std::shared_ptr<const ParsedFile> file;
    std::u16string error;
};

std::u16string ErrnoText(int code) {
    return Utf8ToUtf16(std::strerror(code));
}

} // namespace

struct CIniReadSnapshot::State {
    std::string path;
    Loaded loaded;
    const State* previous;
    // The section read last, so that reading every key of one definition looks its section up
    // once. Only the snapshot's own thread reaches it.
    mutable std::u16string lastSection;
    mutable std::size_t lastSlot = ini::Index::kNoSection;
    mutable bool lastKnown = false;

    // The section's slot in the index; the file must be loaded.
    std::size_t Slot(std::u16string_view section) const {
        if (!lastKnown || lastSection != section) {
            lastSection.assign(section);
            const std::size_t next = lastSlot == ini::Index::kNoSection ? 0 : lastSlot + 1;
            lastSlot = loaded.file->index.FindSection(section, next);
            lastKnown = true;
        }
        return lastSlot;
    }
};

namespace {

// The innermost snapshot in force on this thread, or null.
thread_local const CIniReadSnapshot::State* t_snapshot = nullptr;

Loaded LoadFromFile(const std::string& path);

// The current version of the file, from the cache when it has not changed since it was parsed.
// Only regular files are read (a FIFO or device would block or never end); a read error or an
// oversized file still yields what was read, marked Failed so that no write builds on it.
const CIniReadSnapshot::State* SnapshotOf(const std::string& path) {
    for (const CIniReadSnapshot::State* snapshot = t_snapshot; snapshot != nullptr;
         snapshot = snapshot->previous) {
        if (snapshot->path == path) {
            return snapshot;
        }
    }
    return nullptr;
}

Loaded Load(const std::string& path) {
    if (const CIniReadSnapshot::State* snapshot = SnapshotOf(path)) {
        return snapshot->loaded;
    }
    return LoadFromFile(path);
}

Loaded LoadFromFile(const std::string& path) {
    Loaded loaded;
    struct stat info {};
    // errno is taken before the message is built: the conversions in it may change errno, and
    // the operands of '+' are evaluated in no fixed order.
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error != ENOENT) {
            loaded.result = LoadResult::Failed;
            loaded.error = u"Cannot read " + Utf8ToUtf16(path) + u": " + ErrnoText(error);
        }
        return loaded;
    }
    if (S_ISREG(info.st_mode)) {
        if (auto cached = Cache().Find(path, FileStamp::Of(info))) {
            loaded.result = LoadResult::Loaded;
            loaded.file = std::move(cached);
            return loaded;
        }
    }
    loaded.result = LoadResult::Failed;
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.IsValid()) {
        const int error = errno;
        loaded.error = u"Cannot open " + Utf8ToUtf16(path) + u": " + ErrnoText(error);
        return loaded;
    }
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        loaded.error = Utf8ToUtf16(path) + u" is not a regular file.";
        return loaded;
    }
    // Read into memory that is not cleared first: every new page costs, and the read fills it.
    bool complete = true;
    const auto expected = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    std::size_t capacity = std::max<std::size_t>(std::min(expected, kMaxFileBytes), 1);
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            if (capacity >= kMaxFileBytes) {
                char probe = 0;
                if (ReadFromDescriptor(fd.Get(), &probe, 1) != 0) {
                    complete = false;
                    loaded.error = Utf8ToUtf16(path) + u" is too large for a configuration file.";
                }
                break;
            }
            // The file grew while we read it: take the rest too.
            capacity = std::min(std::max<std::size_t>(capacity * 2, 4096), kMaxFileBytes);
            auto larger = std::make_unique_for_overwrite<char[]>(capacity);
            std::memcpy(larger.get(), bytes.get(), used);
            bytes = std::move(larger);
        }
        const long n = ReadFromDescriptor(fd.Get(), bytes.get() + used, capacity - used);
        if (n < 0) {
            const int error = errno;
            complete = false;
            loaded.error = u"Cannot read " + Utf8ToUtf16(path) + u": " + ErrnoText(error);
            break;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    g_parseCount.fetch_add(1, std::memory_order_relaxed);
    auto file = std::make_shared<const ParsedFile>(FileStamp::Of(info),
                                                   ini::Document::Parse(std::string_view(bytes.get(), used)));
    if (complete && used == expected) {
        Cache().Store(path, file);
    }
    if (complete) {
        loaded.result = LoadResult::Loaded;
    }
    loaded.file = std::move(file);
    return loaded;
}

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writers of one file inside this process queue here, so that only one of them polls the lock
// file that keeps other processes out.
std::shared_ptr<std::timed_mutex> PathMutex(const std::string& path) {
    static std::mutex registryMutex;
    static std::unordered_map<std::string, std::shared_ptr<std::timed_mutex>> registry;
    std::lock_guard lock(registryMutex);
    auto& entry = registry[path];
    if (!entry) {
        entry = std::make_shared<std::timed_mutex>();
    }
    return entry;
}

// Takes the lock file beside the INI within the deadline. QLockFile removes a lock left by a
// process that died (its PID no longer runs), so a crash never blocks later writers.
bool AcquireLockFile(QLockFile& lock, Clock::time_point deadline, std::u16string& error) {
    std::minstd_rand jitter(static_cast<unsigned>(::getpid()));
    auto pause = std::chrono::microseconds(500);
    for (;;) {
        if (lock.tryLock(0)) {
            return true;
        }
        if (lock.error() != QLockFile::LockFailedError) {
            error = u"Cannot create the lock file " + CKSString::FromQString(lock.fileName()).Str();
            return false;
        }
        if (Clock::now() >= deadline) {
            error = u"Timed out waiting for the lock file " + CKSString::FromQString(lock.fileName()).Str();
            return false;
        }
        // Short, jittered sleeps: QLockFile's own wait doubles from 100 ms and can starve a
        // writer while another process writes in a loop.
        std::this_thread::sleep_for(pause + std::chrono::microseconds(jitter() % 500));
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
    }
}

bool Fail(std::u16string* error, std::u16string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return false;
}

// One change of the file: lock, read the current version, apply, replace atomically. The edit
// answers whether it changed the document; an unchanged document is not written at all, so a
// deletion never creates a missing file.
bool Modify(const CKSString& file, std::u16string* error, const std::function<bool(ini::Document&)>& edit) {
    const std::string path = file.ToUtf8();
    if (path.empty()) {
        return Fail(error, u"No configuration file was named.");
    }
    const std::string lockPath = path + ".lock";
    if (!PathFitsPlatform(lockPath)) {
        return Fail(error, u"The path is too long: " + file.Str());
    }
    const std::string folder = ParentFolder(path);
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
        return Fail(error, u"The folder " + Utf8ToUtf16(folder) + u" does not exist.");
    }

    const auto deadline = Clock::now() + kLockWait;
    const std::shared_ptr<std::timed_mutex> pathMutex = PathMutex(path);
    std::unique_lock inProcess(*pathMutex, std::defer_lock);
    if (!inProcess.try_lock_until(deadline)) {
        return Fail(error, u"Timed out waiting for another writer of " + file.Str());
    }
    QLockFile lock(QString::fromStdString(lockPath));
    lock.setStaleLockTime(kStaleLockMs);
    std::u16string lockError;
    if (!AcquireLockFile(lock, deadline, lockError)) {
        return Fail(error, lockError);
    }

    Loaded current = LoadFromFile(path); // never a read snapshot: a write builds on the file itself
    if (current.result == LoadResult::Failed) {
        return Fail(error, current.error);
    }
    ini::Document document = current.file ? current.file->document : ini::Document();
    if (!edit(document)) {
        return true;
    }
    const std::string bytes = document.Serialize();
    if (bytes.size() > kMaxFileBytes) {
        return Fail(error, file.Str() + u" would grow too large for a configuration file.");
    }

    QSaveFile save(QString::fromStdString(path));
    if (!save.open(QIODevice::WriteOnly)) {
        return Fail(error,
                    u"Cannot write " + file.Str() + u": " + CKSString::FromQString(save.errorString()).Str());
    }
    const auto size = static_cast<qint64>(bytes.size());
    errno = 0;
    if (save.write(bytes.data(), size) != size || !save.flush()) {
        // The system's reason, taken at once: Qt's text for it can be "Unknown error", and
        // cancelling replaces it with "Writing canceled by application".
        const int code = errno;
        const std::u16string reason =
            code != 0 ? ErrnoText(code) : CKSString::FromQString(save.errorString()).Str();
        save.cancelWriting();
        return Fail(error, u"Cannot write " + file.Str() + u": " + reason);
    }
    // The stamp of the new version, taken from the file that is about to replace the old one;
    // the rename keeps its inode and time, so the next read finds it in the cache.
    struct stat written {};
    const bool stamped = ::fstat(save.handle(), &written) == 0;
    if (!save.commit()) {
        return Fail(error, u"Cannot replace " + file.Str() + u": " +
                               CKSString::FromQString(save.errorString()).Str());
    }
    if (stamped) {
        Cache().Store(path, std::make_shared<const ParsedFile>(FileStamp::Of(written), std::move(document)));
    }
    return true;
}

std::u16string_view TrimName(std::u16string_view name) {
    return ini::TrimBlanks(name);
}

// The text in quotes, with line breaks and NUL made visible so that a message stays one line.
std::u16string Quoted(std::u16string_view text) {
    std::u16string quoted = u"\"";
    for (const char16_t c : text) {
        switch (c) {
        case u'\r':
            quoted += u"\\r";
            break;
        case u'\n':
            quoted += u"\\n";
            break;
        case u'\0':
            quoted += u"\\0";
            break;
        default:
            quoted += c;
        }
    }
    return quoted + u"\"";
}

bool HasLineBreakOrNul(std::u16string_view text) {
    return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

} // namespace

std::vector<CKSString> CIniProfile::GetSectionNames(const CKSString& file, std::vector<CKSString>* shadowed) {
    std::vector<CKSString> names;
    const Loaded loaded = Load(file.ToUtf8());
    if (loaded.file) {
        const ini::Index& index = loaded.file->index;
        names.reserve(index.SectionCount());
        for (std::size_t i = 0; i < index.SectionCount(); ++i) {
            (shadowed == nullptr || index.IsFirstOfName(i) ? names : *shadowed)
                .emplace_back(index.SectionName(i));
        }
    }
    return names;
}

bool CIniProfile::HasSection(const CKSString& file, std::u16string_view section) {
    const Loaded loaded = Load(file.ToUtf8());
    return loaded.file && loaded.file->index.HasSection(TrimName(section));
}

bool CIniProfile::CopyProfile(const CKSString& from, const CKSString& to, std::u16string* error) {
    // The source needs no lock of its own: every write replaces it whole by a rename, so one
    // read sees one version of it. A file read only in part is refused, never copied short.
    const Loaded source = LoadFromFile(from.ToUtf8());
    if (source.result == LoadResult::Failed) {
        return Fail(error, source.error);
    }
    ini::Document copy = source.file ? source.file->document : ini::Document();
    return Modify(to, error, [&copy](ini::Document& document) {
        document = std::move(copy);
        return true;
    });
}

CIniSectionReader::CIniSectionReader(const CKSString& file, std::u16string_view section) {
    const std::string path = file.ToUtf8();
    if (const CIniReadSnapshot::State* snapshot = SnapshotOf(path)) {
        if (snapshot->loaded.file) {
            m_slot = snapshot->Slot(TrimName(section));
            m_index = &snapshot->loaded.file->index;
            m_file = snapshot->loaded.file;
        }
    } else if (Loaded loaded = LoadFromFile(path); loaded.file) {
        m_index = &loaded.file->index;
        m_slot = m_index->FindSection(TrimName(section));
        m_file = std::move(loaded.file);
    }
}

CIniSectionReader::~CIniSectionReader() = default;

std::optional<std::u16string> CIniSectionReader::Find(std::u16string_view key) const {
    return m_index != nullptr ? m_index->FindKey(m_slot, TrimName(key)) : std::nullopt;
}

CKSString CIniSectionReader::GetString(std::u16string_view key, std::u16string_view defaultValue) const {
    if (std::optional<std::u16string> value = Find(key)) {
        return CKSString(std::move(*value));
    }
    while (!defaultValue.empty() && defaultValue.back() == u' ') {
        defaultValue.remove_suffix(1);
    }
    return CKSString(defaultValue);
}

CKSString CIniProfile::GetString(const CKSString& file, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue) {
    return CIniSectionReader(file, section).GetString(key, defaultValue);
}

bool CIniProfile::WriteString(const CKSString& file, std::u16string_view section, std::u16string_view key,
                              std::u16string_view value, std::u16string* error) {
    return WriteStrings(file, section, CIniKeyValues{{CKSString(key), CKSString(value)}}, error);
}

namespace {

using CheckedKeys = std::vector<std::pair<std::u16string, std::u16string>>;

// The reader trims blanks around a value and then removes one pair of matching quotes: a value
// that either would change goes between double quotes, so that it reads back as given.
std::u16string StoredValue(std::u16string_view value) {
    const bool padded = !value.empty() && (ini::IsBlank(value.front()) || ini::IsBlank(value.back()));
    const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                        value.front() == value.back();
    if (padded || quoted) {
        std::u16string stored;
        stored.reserve(value.size() + 2);
        stored.push_back(u'"');
        stored.append(value);
        stored.push_back(u'"');
        return stored;
    }
    return std::u16string(value);
}

// The section name and every key and value checked before anything is written; false (and the
// reason) for the first that would corrupt the file.
bool CheckWrite(std::u16string_view name, const CIniKeyValues& keys, CheckedKeys& checked,
                std::u16string* error) {
    if (auto problem = CIniProfile::CheckSectionName(name); !problem.empty()) {
        return Fail(error, std::move(problem));
    }
    checked.reserve(keys.size());
    for (const auto& [key, value] : keys) {
        if (auto problem = CIniProfile::CheckKey(key); !problem.empty()) {
            return Fail(error, std::move(problem));
        }
        if (auto problem = CIniProfile::CheckValue(value); !problem.empty()) {
            return Fail(error, std::move(problem));
        }
        checked.emplace_back(TrimName(key), StoredValue(value.View()));
    }
    return true;
}

} // namespace

bool CIniProfile::WriteStrings(const CKSString& file, std::u16string_view section, const CIniKeyValues& keys,
                               std::u16string* error) {
    const std::u16string_view name = TrimName(section);
    CheckedKeys checked;
    if (!CheckWrite(name, keys, checked, error)) {
        return false;
    }
    if (checked.empty()) {
        return true;
    }
    return Modify(file, error, [&](ini::Document& document) {
        bool changed = false;
        for (const auto& [key, value] : checked) {
            changed = document.SetKey(name, key, value) || changed;
        }
        return changed;
    });
}

bool CIniProfile::DeleteKey(const CKSString& file, std::u16string_view section, std::u16string_view key,
                            std::u16string* error) {
    if (!PathExists(file)) {
        return true; // nothing to delete, and a deletion never creates the file
    }
    const std::u16string_view sectionName = TrimName(section);
    const std::u16string_view keyName = TrimName(key);
    return Modify(file, error,
                  [&](ini::Document& document) { return document.DeleteKey(sectionName, keyName); });
}

bool CIniProfile::DeleteSection(const CKSString& file, std::u16string_view section, std::u16string* error) {
    if (!PathExists(file)) {
        return true;
    }
    const std::u16string_view name = TrimName(section);
    return Modify(file, error, [&](ini::Document& document) { return document.DeleteSection(name); });
}

bool CIniProfile::ReplaceSection(const CKSString& file, std::u16string_view section,
                                 const CIniKeyValues& keys, std::u16string* error) {
    const std::u16string_view name = TrimName(section);
    CheckedKeys checked;
    if (!CheckWrite(name, keys, checked, error)) {
        return false;
    }
    return Modify(file, error,
                  [&](ini::Document& document) { return document.ReplaceSection(name, checked); });
}

bool CIniProfile::WriteNewSection(const CKSString& file, std::u16string_view section,
                                  const CIniKeyValues& keys, std::u16string* error, bool* existed) {
    if (existed != nullptr) {
        *existed = false;
    }
    const std::u16string_view name = TrimName(section);
    CheckedKeys checked;
    if (!CheckWrite(name, keys, checked, error)) {
        return false;
    }
    bool found = false;
    const bool written = Modify(file, error, [&](ini::Document& document) {
        found = document.HasSection(name);
        return !found && document.ReplaceSection(name, checked);
    });
    if (!written || !found) {
        return written;
    }
    if (existed != nullptr) {
        *existed = true;
    }
    return Fail(error, u"The section " + Quoted(name) + u" already exists in " + file.Str() + u".");
}

std::u16string CIniProfile::CheckSectionName(std::u16string_view section) {
    const std::u16string_view name = TrimName(section);
    if (name.empty()) {
        return u"A section name may not be empty.";
    }
    if (HasLineBreakOrNul(name)) {
        return u"The section name " + Quoted(name) + u" contains a line break or NUL character.";
    }
    if (name.find_first_of(u"[]") != std::u16string_view::npos) {
        return u"The section name " + Quoted(name) + u" contains '[' or ']'.";
    }
    return {};
}

std::u16string CIniProfile::CheckKey(std::u16string_view key) {
    const std::u16string_view name = TrimName(key);
    if (name.empty()) {
        return u"A key name may not be empty.";
    }
    if (HasLineBreakOrNul(name)) {
        return u"The key " + Quoted(name) + u" contains a line break or NUL character.";
    }
    if (name.find(u'=') != std::u16string_view::npos) {
        return u"The key " + Quoted(name) + u" contains '='.";
    }
    if (name.front() == u';' || name.front() == u'[') {
        return u"The key " + Quoted(name) + u" begins with ';' or '['.";
    }
    return {};
}

std::u16string CIniProfile::CheckValue(std::u16string_view value) {
    if (HasLineBreakOrNul(value)) {
        return u"The value " + Quoted(value) + u" contains a line break or NUL character.";
    }
    return {};
}

std::uint64_t CIniProfile::ParseCount() {
    return g_parseCount.load(std::memory_order_relaxed);
}

void CIniProfile::DropCache() {
    Cache().Clear();
}

CIniReadSnapshot::CIniReadSnapshot(const CKSString& file) {
    const std::string path = file.ToUtf8();
    m_state = std::make_unique<State>(
        State{path, LoadFromFile(path), t_snapshot, {}, ini::Index::kNoSection, false});
    t_snapshot = m_state.get();
}

CIniReadSnapshot::CIniReadSnapshot(const CIniReadSnapshot& version) {
    m_state = std::make_unique<State>(
        State{version.m_state->path, version.m_state->loaded, t_snapshot, {}, ini::Index::kNoSection, false});
    t_snapshot = m_state.get();
}

CIniReadSnapshot::~CIniReadSnapshot() {
    t_snapshot = m_state->previous;
}
