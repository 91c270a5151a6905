#include "properties/KSPropertyList.h"

#include "support/IniProfile.h"
#include "support/KSException.h"

#include <algorithm>
#include <utility>

CKSPropertyList::CKSPropertyList(std::span<const CKSProperty* const> properties) {
    for (const CKSProperty* property : properties) {
        Add(*property);
    }
}

CKSPropertyList::CKSPropertyList(const CKSPropertyList& other) {
    m_properties.reserve(other.m_properties.size());
    for (const auto& property : other.m_properties) {
        m_properties.push_back(property->Clone());
    }
}

CKSPropertyList& CKSPropertyList::operator=(const CKSPropertyList& other) {
    if (this != &other) {
        CKSPropertyList copy(other);
        m_properties = std::move(copy.m_properties);
    }
    return *this;
}

std::vector<std::unique_ptr<CKSProperty>>::const_iterator
CKSPropertyList::LowerBound(std::u16string_view name) const {
    return std::lower_bound(m_properties.begin(), m_properties.end(), name,
                            [](const std::unique_ptr<CKSProperty>& property, std::u16string_view wanted) {
                                return CKSStringLess()(property->GetName(), wanted);
                            });
}

void CKSPropertyList::Add(const CKSProperty& property) {
    const auto at = LowerBound(property.GetName());
    const auto place = m_properties.begin() + (at - m_properties.cbegin());
    if (place != m_properties.end() &&
        CKSString::CompareNames((*place)->GetName(), property.GetName()) == 0) {
        *place = property.Clone();
    } else {
        m_properties.insert(place, property.Clone());
    }
}

CKSProperty* CKSPropertyList::Find(std::u16string_view name) {
    return const_cast<CKSProperty*>(std::as_const(*this).Find(name));
}

const CKSProperty* CKSPropertyList::Find(std::u16string_view name) const {
    const auto found = LowerBound(name);
    return found != m_properties.end() && CKSString::CompareNames((*found)->GetName(), name) == 0
               ? found->get()
               : nullptr;
}

CKSProperty& CKSPropertyList::Get(std::u16string_view name) {
    if (CKSProperty* property = Find(name)) {
        return *property;
    }
    throw CKSException("Property not found: %s", name);
}

const CKSProperty& CKSPropertyList::Get(std::u16string_view name) const {
    if (const CKSProperty* property = Find(name)) {
        return *property;
    }
    throw CKSException("Property not found: %s", name);
}

void CKSPropertyList::ForEach(IPropertyInfo& info) const {
    for (const auto& property : m_properties) {
        info.OnProperty(*property);
    }
}

void CKSPropertyList::CopyValuesFrom(const CKSPropertyList& other) {
    for (const auto& property : other.m_properties) {
        if (CKSProperty* mine = Find(property->GetName())) {
            mine->Assign(*property);
        }
    }
}

bool CKSPropertyList::FormatAll(std::vector<std::pair<CKSString, CKSString>>& keys,
                                std::u16string* error) const {
    keys.clear();
    keys.reserve(m_properties.size());
    for (const auto& property : m_properties) {
        CKSString text;
        if (!property->FormatValue(text)) {
            if (error != nullptr) {
                *error = KSFormat(std::u16string_view(u"%s needs a value (it has no default)"),
                                  property->GetName());
            }
            return false;
        }
        keys.emplace_back(property->GetName(), text);
    }
    return true;
}

bool CKSPropertyList::WriteToFile(const CKSString& file, std::u16string_view section,
                                  std::u16string* error) const {
    // Everything is checked before anything is written, so a failure never leaves half a
    // section behind.
    CIniKeyValues keys;
    return FormatAll(keys, error) && CIniProfile::WriteStrings(file, section, keys, error);
}

bool CKSPropertyList::ReadFromFile(const CKSString& file, std::u16string_view section) {
    return ReadFromFile(CIniSectionReader(file, section));
}

bool CKSPropertyList::ReadFromFile(const CIniSectionReader& section) {
    for (auto& property : m_properties) {
        property->ReadFromValue(section);
    }
    return true;
}

const CKSProperty* CKSPropertyList::FindRefusedValue() const {
    for (const auto& property : m_properties) {
        if (property->GetRefusal()) {
            return property.get();
        }
    }
    return nullptr;
}

const CKSProperty* CKSPropertyList::FindUnsoundRange(std::u16string* problem) const {
    for (const auto& property : m_properties) {
        if (property->GetType() != PropertyType::RANGE) {
            continue;
        }
        std::u16string reason = property->GetRangeValue().Problem();
        if (!reason.empty()) {
            if (problem != nullptr) {
                *problem = std::move(reason);
            }
            return property.get();
        }
    }
    return nullptr;
}
