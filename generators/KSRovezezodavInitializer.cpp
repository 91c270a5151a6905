#include "generators/KSRovezezodavInitializer.h"

#include "generators/WordDataLoader.h"
#include "support/KSRes.h"
#include "support/MakePath.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <mutex>

#ifdef FAKEMILL_HAVE_WORD_MODEL_RESOURCE
// Q_INIT_RESOURCE declares the resource's registration function, which must not sit inside a
// class or namespace.
static void InitWordModelResource() {
    Q_INIT_RESOURCE(wordmodel);
}
#endif

bool CKSRovezezodavInitializer::RegisterBuiltInModel() {
#ifdef FAKEMILL_HAVE_WORD_MODEL_RESOURCE
    static std::once_flag once;
    std::call_once(once, InitWordModelResource);
    return true;
#else
    return false;
#endif
}

CKSRovezezodavInitializer& CKSRovezezodavInitializer::Instance() {
    static CKSRovezezodavInitializer instance;
    return instance;
}

CKSString CKSRovezezodavInitializer::DefaultDataPath() {
    const CKSPathName folder = KnownFolderPath(KnownFolder::LocalAppData);
    if (folder.IsEmpty()) {
        return {};
    }
    return folder.Join(u"kestrune").Join(u"rovezezodav.dat");
}

CKSRovezezodavInitializer::CKSRovezezodavInitializer(CKSString dataPath)
    : m_words(&m_logger), m_dataPath(std::move(dataPath)) {
    RegisterBuiltInModel();
}

CKSString CKSRovezezodavInitializer::GetDataPath() const {
    CAutoLock lock(m_mutex);
    return m_dataPath;
}

bool CKSRovezezodavInitializer::EnsureLoaded() {
    CAutoLock lock(m_mutex);
    if (GetStatus() == 0 && IsLoaded()) {
        return true;
    }
    return Initialize();
}

bool CKSRovezezodavInitializer::Initialize() {
    CAutoLock lock(m_mutex);
    if (IsLoaded()) {
        return true;
    }
    if (m_dataPath.IsEmpty()) {
        m_dataPath = DefaultDataPath();
    }

    std::uint32_t count = 0;
    int header = CWordDataLoader::kNoFile;
    if (!m_dataPath.IsEmpty()) {
        CWordDataLoader probe;
        if (probe.Open(m_dataPath) == 0) {
            header = probe.CheckHeader(count);
        }
    }

    if (header != 0) {
        // Missing, unreadable, or not a data file: put the built-in model in its place.
        if (m_dataPath.IsEmpty() || !WriteBuiltInModel(m_dataPath)) {
            ReportTagged("Error creating data file.");
            m_status.store(kStatusWriteFailed, std::memory_order_release);
        } else if (m_words.Load(m_dataPath) != 0) {
            ReportTagged("Error loading data file.");
            m_status.store(kStatusBuiltInLoadFailed, std::memory_order_release);
        } else {
            m_loaded.store(true, std::memory_order_release);
        }
        return IsLoaded();
    }

    // A file with a valid header is the user's to keep: a damaged one is reported, never
    // replaced.
    if (m_words.Load(m_dataPath) != 0) {
        m_status.store(kStatusLoadFailed, std::memory_order_release);
        ReportTagged("Error loading data file.");
    } else {
        m_status.store(0, std::memory_order_release);
        m_loaded.store(true, std::memory_order_release);
        ReportTagged("Existing Rovezezodav data loaded.");
    }
    return IsLoaded();
}

bool CKSRovezezodavInitializer::WriteBuiltInModel(const CKSString& path) {
    const QString folder = QFileInfo(path.ToQString()).absolutePath();
    if (!QDir().mkpath(folder)) {
        return false;
    }
    CKSResToFile resource;
    return resource.Load(kBuiltInModelResource) && resource.WriteToFile(path);
}

void CKSRovezezodavInitializer::ReportTagged(std::string_view message) {
    std::string text(kTag);
    text.append(message);
    m_logger.Notify(text);
}
