#pragma once
// Turns a generator kind key ("txt", "csv", "bin", "crc", "img", "image"), or a definition section
// of the configuration file, into a ready generator: the right class, its full default property
// list and the values stored in the section.

#include "engine/KSFileGenerator.h"
#include "support/KSLogger.h"

#include <memory>
#include <span>
#include <string_view>

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
    std::unique_ptr<CKSFileGenerator> CreateFromSection(const CKSString& file, std::u16string_view section) const;

    static bool IsKnownKind(std::u16string_view key);
    // The kinds offered for new definitions, in the order they are offered.
    static std::span<const GeneratorKindInfo> OfferedKinds();
};
