#pragma once
// A definition: an owned set of properties ordered by name the way the program orders names
// (case and blanks ignored), read from and written to one section of the configuration file.

#include "properties/KSProperty.h"

#include <cstddef>
#include <memory>
#include <span>
#include <utility>
#include <vector>

// How a property list is shown to an observer (the summary of a new definition).
class IPropertyInfo {
public:
    virtual ~IPropertyInfo() = default;
    virtual void OnHeader(std::u16string_view text) = 0;
    virtual void OnProperty(const CKSProperty& property) = 0;
};

class CKSPropertyList {
public:
    CKSPropertyList() = default;
    // Clones each property of the array.
    explicit CKSPropertyList(std::span<const CKSProperty* const> properties);
    CKSPropertyList(const CKSPropertyList& other);
    CKSPropertyList& operator=(const CKSPropertyList& other);
    CKSPropertyList(CKSPropertyList&&) noexcept = default;
    CKSPropertyList& operator=(CKSPropertyList&&) noexcept = default;
    virtual ~CKSPropertyList() = default;

    // Adds a clone of the property (replacing one of the same name).
    void Add(const CKSProperty& property);
    // The property with that name; throws CKSException "Property not found: %s" when none.
    CKSProperty& Get(std::u16string_view name);
    const CKSProperty& Get(std::u16string_view name) const;
    // The property or null, for callers that report a missing one themselves.
    CKSProperty* Find(std::u16string_view name);
    const CKSProperty* Find(std::u16string_view name) const;
    std::size_t Count() const { return m_properties.size(); }

    void ForEach(IPropertyInfo& info) const;
    template <typename Visit>
    void ForEachProperty(Visit visit) const {
        for (const auto& property : m_properties) {
            visit(*property);
        }
    }

    // The first range property that cannot be drawn from, with the reason; null when none.
    const CKSProperty* FindUnsoundRange(std::u16string* problem = nullptr) const;
    // The first property holding a text it refused (CKSProperty::GetRefusal); null when none.
    const CKSProperty* FindRefusedValue() const;

    // Takes the values of the other list's properties whose names this list also has.
    void CopyValuesFrom(const CKSPropertyList& other);

    // The written form of every property, in list order; false (error says why) when a
    // property has nothing to write (an empty LIST).
    bool FormatAll(std::vector<std::pair<CKSString, CKSString>>& keys, std::u16string* error = nullptr) const;
    // Writes every property as one key of the section, in one atomic change: all or nothing.
    // False, with the file as it was, when any property has nothing to write (an empty LIST) or
    // the file cannot be written; error (when given) says why.
    bool WriteToFile(const CKSString& file, std::u16string_view section,
                     std::u16string* error = nullptr) const;
    // Reads every property from the section; keys the list does not know are ignored, missing
    // keys keep their current values. Always true.
    bool ReadFromFile(const CKSString& file, std::u16string_view section);
    bool ReadFromFile(const CIniSectionReader& section);

private:
    // The first property whose name does not order before name.
    std::vector<std::unique_ptr<CKSProperty>>::const_iterator LowerBound(std::u16string_view name) const;

    // Sorted by name as CKSStringLess orders names, one property per name. A vector: a list is
    // made for every definition a batch generates, and a tree of a few dozen nodes cost more
    // to build and search than the definition's files when they are small.
    std::vector<std::unique_ptr<CKSProperty>> m_properties;
};
