#include "app/DefinitionRows.h"

#include "generators/KSFileGeneratorFactory.h"
#include "support/IniProfile.h"
#include "support/KSFormat.h"
#include "support/KSTime.h"

#include <string>

namespace {

CKSString DecimalText(std::int64_t value) {
    return CKSString::FromUtf8(std::to_string(value));
}

} // namespace

CDefinitionSections ReadDefinitionSections(const CKSString& configFile) {
    CDefinitionSections sections;
    sections.names = CIniProfile::GetSectionNames(configFile, &sections.shadowed);
    return sections;
}

std::u16string ShadowedSectionWarning(const CKSString& name) {
    return KSFormat(
        std::u16string_view(u"A later section [%s] is ignored: a definition of that name comes first"), name);
}

std::vector<CKSString> GeneratableDefinitions(const CKSString& configFile,
                                              std::vector<std::u16string>& warnings) {
    const CIniReadSnapshot snapshot(configFile);
    CDefinitionSections sections = ReadDefinitionSections(configFile);
    // Kept in place: a file of many thousands of definitions is not copied once more.
    std::vector<CKSString>& names = sections.names;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const CKSString& name = names[i];
        const CKSString type = CIniProfile::GetString(configFile, name.View(), u"Type", u"");
        if (CKSFileGeneratorFactory::IsKnownKind(type.View())) {
            if (kept != i) {
                names[kept] = std::move(names[i]);
            }
            ++kept;
        } else {
            warnings.push_back(KSFormat(
                std::u16string_view(u"[%s] is skipped: its Type \"%s\" is not a known kind"), name, type));
        }
    }
    names.erase(names.begin() + static_cast<std::ptrdiff_t>(kept), names.end());
    for (const CKSString& name : sections.shadowed) {
        warnings.push_back(ShadowedSectionWarning(name));
    }
    return std::move(names);
}

std::vector<CDefinitionRow> ReadDefinitionRows(const CKSString& configFile,
                                               const CKSFileGeneratorFactory& factory,
                                               std::vector<CKSString>* shadowed) {
    const CIniReadSnapshot snapshot(configFile);
    CDefinitionSections sections = ReadDefinitionSections(configFile);
    if (shadowed != nullptr) {
        *shadowed = std::move(sections.shadowed);
    }
    std::vector<CDefinitionRow> rows;
    rows.reserve(sections.names.size());
    for (const CKSString& name : sections.names) {
        CDefinitionRow row{name, CKSString(u""), CKSString(u""), CKSString(u""), false};
        if (const auto generator = factory.CreateFromSection(configFile, name)) {
            row.type = generator->GetType();
            row.minimumSize =
                generator->HasSize() ? DecimalText(generator->GetSizeMinimum()) : CKSString(u"-");
            row.minimumCount = DecimalText(generator->GetProperties().Get(u"Files").GetRangeValue().min);
            row.known = true;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

CKSString ConfigurationStatusText(const CKSString& configFile) {
    constexpr std::size_t kStatusCapacity = 256;
    CKSTime written;
    std::u16string text;
    if (written.FromFile(configFile)) {
        const CKSString when = written.IsToday() ? FormatShortTime(written, false) : FormatShortDate(written);
        text = KSFormat(std::u16string_view(u"%s [%s]"), configFile, when);
    } else {
        text = configFile.View();
    }
    if (text.size() > kStatusCapacity) {
        text.resize(kStatusCapacity);
    }
    return CKSString(text);
}
