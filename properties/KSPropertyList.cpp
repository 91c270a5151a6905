#include "properties/KSPropertyList.h"

#include "support/IniProfile.h"
#include "support/KSException.h"

CKSPropertyList::CKSPropertyList(std::span<const CKSProperty* const> properties) {
    for (const CKSProperty* property : properties) {
        Add(*property);
    }
}

CKSPropertyList::CKSPropertyList(const CKSPropertyList& other) {
    for (const auto& [name, property] : other.m_properties) {
        m_properties.emplace(name, property->Clone());
    }
}

CKSPropertyList& CKSPropertyList::operator=(const CKSPropertyList& other) {
    if (this != &other) {
        CKSPropertyList copy(other);
        m_properties = std::move(copy.m_properties);
    }
    return *this;
}

void CKSPropertyList::Add(const CKSProperty& property) {
    m_properties.insert_or_assign(property.GetName(), property.Clone());
}

CKSProperty* CKSPropertyList::Find(std::u16string_view name) {
    const auto found = m_properties.find(name);
    return found == m_properties.end() ? nullptr : found->second.get();
}

const CKSProperty* CKSPropertyList::Find(std::u16string_view name) const {
    const auto found = m_properties.find(name);
    return found == m_properties.end() ? nullptr : found->second.get();
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
    for (const auto& [name, property] : m_properties) {
        info.OnProperty(*property);
    }
}

void CKSPropertyList::CopyValuesFrom(const CKSPropertyList& other) {
    for (const auto& [name, property] : other.m_properties) {
        if (CKSProperty* mine = Find(name)) {
            mine->Assign(*property);
        }
    }
}

bool CKSPropertyList::FormatAll(std::vector<std::pair<CKSString, CKSString>>& keys,
                                std::u16string* error) const {
    keys.clear();
    keys.reserve(m_properties.size());
    for (const auto& [name, property] : m_properties) {
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
    for (auto& [name, property] : m_properties) {
        property->ReadFromValue(file, section);
    }
    return true;
}

const CKSProperty* CKSPropertyList::FindRefusedValue() const {
    for (const auto& [name, property] : m_properties) {
        if (property->GetRefusal()) {
            return property.get();
        }
    }
    return nullptr;
}

const CKSProperty* CKSPropertyList::FindUnsoundRange(std::u16string* problem) const {
    for (const auto& [name, property] : m_properties) {
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
