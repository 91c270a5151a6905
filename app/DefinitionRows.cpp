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

std::vector<CDefinitionRow> ReadDefinitionRows(const CKSString& configFile,
                                               const CKSFileGeneratorFactory& factory) {
    const CIniReadSnapshot snapshot(configFile);
    const std::vector<CKSString> names = CIniProfile::GetSectionNames(configFile);
    std::vector<CDefinitionRow> rows;
    rows.reserve(names.size());
    for (const CKSString& name : names) {
        CDefinitionRow row{name, CKSString(u""), CKSString(u""), CKSString(u"")};
        if (const auto generator = factory.CreateFromSection(configFile, name)) {
            row.type = generator->GetType();
            row.minimumSize =
                generator->HasSize() ? DecimalText(generator->GetSizeMinimum()) : CKSString(u"-");
            row.minimumCount = DecimalText(generator->GetProperties().Get(u"Files").GetRangeValue().min);
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
