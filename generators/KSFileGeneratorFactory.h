#pragma once
// Turns a generator kind key ("txt", "csv", "bin", "crc", "img", "image"), or a definition section
// of the configuration file, into a ready generator: the right class, its full default property
// list and the values stored in the section.

#include "engine/KSFileGenerator.h"
#include "support/KSLogger.h"
#include "support/KSSynchronizer.h"

#include <memory>
#include <span>
#include <string_view>
#include <vector>

// A kind the new-definition wizard offers, with the name it shows.
struct GeneratorKindInfo {
    std::u16string_view key;
    std::u16string_view shownName;
};

class CKSFileGeneratorFactory : public CKSIsLogging {
public:
    explicit CKSFileGeneratorFactory(CKSLogger* logger) : CKSIsLogging(logger) {}
    virtual ~CKSFileGeneratorFactory() = default;

    // A generator of the kind with the common template only; null for an empty or unknown key.
    // Keys are compared exactly and case-sensitively.
    std::unique_ptr<CKSFileGenerator> CreateByKind(std::u16string_view key) const;
    // CreateByKind, then "Type" set to the key and the kind's own properties added.
    std::unique_ptr<CKSFileGenerator> CreateForKind(std::u16string_view key) const;
    // The generator of the section's "Type", with the section's values read over the defaults.
    std::unique_ptr<CKSFileGenerator> CreateFromSection(const CKSString& file,
                                                        std::u16string_view section) const;
    // The generator of the list's "Type", with the list's values over the defaults: a definition
    // that lives in no file (one given on the command line). Null for an unknown kind.
    std::unique_ptr<CKSFileGenerator> CreateFromList(const CKSPropertyList& definition) const;

    static bool IsKnownKind(std::u16string_view key);
    // The kinds offered for new definitions, in the order they are offered.
    static std::span<const GeneratorKindInfo> OfferedKinds();
};

// A factory bound to a configuration file, for listing its definitions.
class CKSFileBuilder : public CKSIsLogging {
public:
    explicit CKSFileBuilder(CKSLogger* logger) : CKSIsLogging(logger), m_factory(logger) {}
    virtual ~CKSFileBuilder() = default;

    // The configuration file: the name as the path search finds it, or the name unchanged after
    // the warning "Not hopeful finding %s".
    void SetConfigFile(const CKSString& name);
    const CKSString& GetConfigFile() const { return m_configFile; }
    // Calls back once per section name of the file, in file order.
    template <typename Callback>
    void ListDefinitions(Callback callback) const {
        for (const CKSString& name : SectionNames()) {
            callback(name);
        }
    }
    const CKSFileGeneratorFactory& Factory() const { return m_factory; }

private:
    std::vector<CKSString> SectionNames() const;

    CKSSynchronizer m_lock;
    CKSFileGeneratorFactory m_factory;
    CKSString m_configFile;
};
