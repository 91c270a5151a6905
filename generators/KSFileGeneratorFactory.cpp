#include "generators/KSFileGeneratorFactory.h"

#include "generators/KSBinFileGenerator.h"
#include "generators/KSCRCFileCalculator.h"
#include "generators/KSCSVFileGenerator.h"
#include "generators/KSImageFileGenerator.h"
#include "generators/KSTextFileGenerator.h"
#include "properties/ConfigLocation.h"
#include "support/IniProfile.h"

#include <array>

namespace {

using Creator = std::unique_ptr<CKSFileGenerator> (*)(CKSLogger*);

template <typename Generator>
std::unique_ptr<CKSFileGenerator> Make(CKSLogger* logger) {
    return std::make_unique<Generator>(logger);
}

struct KindRow {
    std::u16string_view key;
    Creator create;
};

// Tried in this order; the first exact match wins.
constexpr std::array<KindRow, 6> kKinds{{
    {u"txt", &Make<CKSTextFileGenerator>},
    {u"csv", &Make<CKSCSVFileGenerator>},
    {u"bin", &Make<CKSBinFileGenerator>},
    {u"crc", &Make<CKSCRCFileCalculator>},
    {u"img", &Make<CKSImageFileGenerator>},
    {u"image", &Make<CKSImageFileGenerator>},
}};

constexpr std::array<GeneratorKindInfo, 4> kOfferedKinds{{
    {u"txt", u"Text"},
    {u"csv", u"CSV (Comma Separated Values)"},
    {u"bin", u"Binary"},
    {u"img", u"Image"},
}};

// The buffer the "Type" value is read into holds 127 characters.
constexpr std::size_t kTypeCapacity = 128;

} // namespace

bool CKSFileGeneratorFactory::IsKnownKind(std::u16string_view key) {
    for (const KindRow& row : kKinds) {
        if (row.key == key) {
            return true;
        }
    }
    return false;
}

std::span<const GeneratorKindInfo> CKSFileGeneratorFactory::OfferedKinds() {
    return kOfferedKinds;
}

std::unique_ptr<CKSFileGenerator> CKSFileGeneratorFactory::CreateByKind(std::u16string_view key) const {
    if (key.empty()) {
        Logger().InfoF("No generator type specified");
        return nullptr;
    }
    for (const KindRow& row : kKinds) {
        if (row.key == key) {
            return row.create(GetLogger());
        }
    }
    Logger().DebugF("Unknown generator type: %s", key);
    return nullptr;
}

std::unique_ptr<CKSFileGenerator> CKSFileGeneratorFactory::CreateForKind(std::u16string_view key) const {
    std::unique_ptr<CKSFileGenerator> generator = CreateByKind(key);
    if (generator) {
        if (CKSProperty* type = generator->GetProperties().Find(u"Type")) {
            type->SetTextValue(key);
        }
        generator->AddTypeProperties();
    }
    return generator;
}

std::unique_ptr<CKSFileGenerator>
CKSFileGeneratorFactory::CreateFromSection(const CKSString& file, std::u16string_view section) const {
    const CIniSectionReader keys(file, section);
    const CKSString read = keys.GetString(u"Type", u"");
    const std::u16string_view type = read.View().substr(0, kTypeCapacity - 1);
    if (type.empty()) {
        Logger().ErrorF("Section %s in %s does not contain %s.", section, file, u"Type");
        return nullptr;
    }
    std::unique_ptr<CKSFileGenerator> generator = CreateByKind(type);
    if (!generator) {
        Logger().DebugF("Section %s does not appear to be a fakemill property list.", section);
        return nullptr;
    }
    CKSPropertyList& properties = generator->GetProperties();
    if (CKSProperty* typeProperty = properties.Find(u"Type")) {
        typeProperty->SetTextValue(type);
    } else {
        Logger().ErrorF("Must have %s property! (not found out of %d)", u"Type",
                        static_cast<int>(properties.Count()));
    }
    generator->AddTypeProperties();
    properties.ReadFromFile(keys);
    return generator;
}

void CKSFileBuilder::SetConfigFile(const CKSString& name) {
    CAutoLock lock(m_lock);
    m_configFile = CConfigLocation(GetLogger()).Resolve(name);
}

std::vector<CKSString> CKSFileBuilder::SectionNames() const {
    return CIniProfile::GetSectionNames(m_configFile);
}

std::unique_ptr<CKSFileGenerator>
CKSFileGeneratorFactory::CreateFromList(const CKSPropertyList& definition) const {
    const CKSProperty* type = definition.Find(u"Type");
    std::unique_ptr<CKSFileGenerator> generator =
        type != nullptr ? CreateForKind(type->GetValue().View()) : nullptr;
    if (generator) {
        generator->GetProperties().CopyValuesFrom(definition);
    }
    return generator;
}
