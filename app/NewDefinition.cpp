#include "app/NewDefinition.h"

#include "properties/KSPropertyList.h"
#include "support/IniProfile.h"
#include "support/KSFormat.h"

#include <limits>

namespace {

std::int64_t SaturatingProduct(std::uint64_t number, std::int64_t factor) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const auto unsignedFactor = static_cast<std::uint64_t>(factor);
    if (unsignedFactor != 0 && number > kMax / unsignedFactor) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(number * unsignedFactor);
}

std::int64_t Count(std::uint64_t number) {
    return SaturatingProduct(number, 1);
}

void SetRange(CKSPropertyList& properties, std::u16string_view name, const CKSRange& range) {
    if (CKSProperty* property = properties.Find(name)) {
        property->SetRangeValue(range);
    }
}

void SetText(CKSPropertyList& properties, std::u16string_view name, std::u16string_view text) {
    if (CKSProperty* property = properties.Find(name)) {
        property->SetTextValue(text);
    }
}

// The summary page is told the heading and then every property in name order.
class SummaryCollector : public IPropertyInfo {
public:
    void OnHeader(std::u16string_view text) override {
        m_text.append(text);
        m_text.append(u"------------------------\r\n");
    }
    void OnProperty(const CKSProperty& property) override {
        m_text.append(property.Describe(CKSProperty::kDescribeCapacity).View());
        m_text.append(u"\r\n");
    }
    std::u16string Take() { return std::move(m_text); }

private:
    std::u16string m_text;
};

} // namespace

CKSRange AmountRange(const AmountAnswer& amount) {
    const std::int64_t factor = amount.unit < SizeUnits.size() ? SizeUnitMultiplier(amount.unit) : 1;
    return {SaturatingProduct(amount.first, factor),
            SaturatingProduct(amount.range ? amount.second : amount.first, factor)};
}

std::u16string CheckDefinitionName(std::u16string_view name) {
    // Said in a tester's words; the file's own rule below stays the last word.
    if (name.find_first_not_of(u' ') == std::u16string_view::npos) {
        return u"The definition has no name: type one.";
    }
    if (name.find_first_of(u"[]") != std::u16string_view::npos) {
        return u"A definition's name cannot contain '[' or ']': leave them out of \"" + std::u16string(name) +
               u"\".";
    }
    if (name.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos) {
        return u"A definition's name must be one line of text.";
    }
    return CIniProfile::CheckSectionName(name);
}

std::u16string CheckKindAnswers(const NewDefinitionAnswers& answers) {
    const auto reversed = [](const AmountAnswer& amount) {
        return amount.range && amount.first > amount.second;
    };
    if ((answers.kind == u"txt" || answers.kind == u"bin") && reversed(answers.size)) {
        return u"The smallest size is larger than the largest.";
    }
    if (answers.kind == u"csv") {
        if (reversed(answers.rows)) {
            return u"The smallest number of rows is larger than the largest.";
        }
        if (answers.columns.empty()) {
            return u"Add at least one column to generate.";
        }
    }
    return {};
}

std::unique_ptr<CKSFileGenerator> BuildDefinition(const CKSFileGeneratorFactory& factory,
                                                  const NewDefinitionAnswers& answers) {
    std::unique_ptr<CKSFileGenerator> generator = factory.CreateForKind(answers.kind);
    if (!generator) {
        return nullptr;
    }
    generator->SetDisplayName(answers.name.View());
    CKSPropertyList& properties = generator->GetProperties();
    SetRange(properties, u"Files", {Count(answers.files), Count(answers.files)});
    if (CKSProperty* folder = properties.Find(u"Folder")) {
        folder->SetTextValue(answers.folder.View());
    }
    if (answers.kind == u"txt" || answers.kind == u"bin") {
        SetRange(properties, u"Size", AmountRange(answers.size));
    }
    if (answers.kind == u"txt") {
        properties.Get(u"TextType").SetLongValue(answers.textType);
        properties.Get(u"WinLineEnding").SetBoolValue(answers.winLineEnding);
    } else if (answers.kind == u"csv") {
        AmountAnswer rows = answers.rows;
        rows.unit = SIZE_MAX;
        SetRange(properties, u"Rows", AmountRange(rows));
        properties.Get(u"Columns").SetListValues(answers.columns.data(), answers.columns.size());
        properties.Get(u"EmitHeader").SetBoolValue(answers.emitHeader);
    } else if (answers.kind == u"img") {
        properties.Get(u"ImageType").SetTextValue(answers.imageType);
        SetRange(properties, u"Width", {Count(answers.width), Count(answers.width)});
        SetRange(properties, u"Height", {Count(answers.height), Count(answers.height)});
        SetRange(properties, u"Elements", {Count(answers.elements), Count(answers.elements)});
    }
    std::string damage;
    for (const std::string& name : answers.damage) {
        damage += (damage.empty() ? "" : ",") + name;
    }
    SetText(properties, u"Damage", Utf8ToUtf16(damage));
    if (CKSProperty* share = properties.Find(u"DamageShare")) {
        share->SetLongValue(Count(answers.damageShare));
    }
    SetText(properties, u"Names", answers.names);
    if (answers.kind == u"txt" || answers.kind == u"csv") {
        SetText(properties, u"Encoding", answers.encoding);
        SetText(properties, u"LineEnd", answers.lineEnd);
    }
    if (answers.kind == u"csv") {
        SetText(properties, u"DateFormat", answers.dateFormat);
        SetText(properties, u"Style", answers.style);
    }
    return generator;
}

std::u16string CheckFileOptions(const CKSFileGeneratorFactory& factory, const NewDefinitionAnswers& answers) {
    const auto generator = BuildDefinition(factory, answers);
    return generator ? generator->OptionsProblem() : std::u16string();
}

std::u16string CheckFileOptions(const CKSFileGeneratorFactory& factory, const CKSPropertyList& properties) {
    const CKSProperty* type = properties.Find(u"Type");
    const auto generator = type != nullptr ? factory.CreateForKind(type->GetValue().View()) : nullptr;
    if (!generator) {
        return {};
    }
    generator->GetProperties().CopyValuesFrom(properties);
    return generator->OptionsProblem();
}

std::u16string DefinitionSummary(CKSFileGenerator& generator) {
    SummaryCollector collector;
    generator.DescribeProperties(collector);
    return collector.Take();
}

bool DefinitionExists(const CKSString& file, std::u16string_view name) {
    return CIniProfile::HasSection(file, name);
}

CKSError WriteDefinition(const CKSString& file, std::u16string_view name, const CKSPropertyList& properties) {
    std::u16string reason = CheckDefinitionName(name);
    if (reason.empty()) {
        reason = CheckDefinitionValues(properties);
    }
    CIniKeyValues keys;
    if (reason.empty() && properties.FormatAll(keys, &reason) &&
        CIniProfile::ReplaceSection(file, name, keys, &reason)) {
        return {};
    }
    return CKSError(u"Could not write the definition \"" + std::u16string(name) + u"\" to", file, reason);
}

CKSError DeleteDefinition(const CKSString& file, std::u16string_view name) {
    std::u16string reason;
    if (CIniProfile::DeleteSection(file, name, &reason)) {
        return {};
    }
    return CKSError(u"Could not delete the definition \"" + std::u16string(name) + u"\" from", file, reason);
}

std::u16string CheckDefinitionValues(const CKSPropertyList& properties) {
    const CKSProperty* refused = properties.FindRefusedValue();
    if (refused == nullptr) {
        return {};
    }
    return KSFormat(std::u16string_view(u"%s=%s cannot be used: %s"), refused->GetName(),
                    refused->GetRefusal()->text, refused->GetRefusal()->reason);
}

std::vector<CKSString> CopyDefinitions(const CKSFileGeneratorFactory& factory, const CKSString& from,
                                       const CKSString& to, const std::vector<CKSString>& names,
                                       const std::function<bool(const CKSString&)>& replace,
                                       std::vector<CKSError>& failures) {
    std::vector<CKSString> copied;
    for (const CKSString& name : names) {
        const auto generator = factory.CreateFromSection(from, name.View());
        if (!generator) {
            failures.emplace_back(std::u16string(name.View()), CKSString(u""),
                                  u"not a definition of a known type");
            continue;
        }
        if (DefinitionExists(to, name.View()) && !replace(name)) {
            continue;
        }
        if (const CKSError error = WriteDefinition(to, name.View(), generator->GetProperties());
            error.Failed()) {
            failures.emplace_back(std::u16string(name.View()), CKSString(u""), error.Reason());
            continue;
        }
        copied.push_back(name);
    }
    return copied;
}

void SetValueFromText(CKSProperty& property, std::u16string_view text) {
    if (property.GetType() == PropertyType::LIST) {
        // Parsing a list appends to it; the edited text replaces the whole list.
        property.SetListValues(nullptr, 0);
    }
    property.ParseValue(text);
}

bool ReadBackValue(const CKSProperty& property, std::u16string_view text, CKSString& shown) {
    const std::unique_ptr<CKSProperty> copy = property.Clone();
    SetValueFromText(*copy, text);
    return copy->FormatValue(shown);
}
