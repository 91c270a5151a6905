// Fuzzes the INI reader and the line-preserving writer: parsing never fails, an unchanged
// document gives back its bytes exactly, and a key written into any section reads back.

#include "support/IniDocument.h"
#include "support/IniProfile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ini::Document document = ini::Document::Parse(bytes);
    Check(document.Serialize() == bytes);

    const ini::Index index(document);
    for (std::size_t i = 0; i < index.SectionCount(); ++i) {
        (void)index.Find(index.SectionName(i), u"Type");
    }

    std::u16string section = index.SectionCount() == 0 ? u"new" : index.SectionName(index.SectionCount() - 1);
    if (!CIniProfile::CheckSectionName(section).empty()) {
        section = u"new";
    }
    ini::Document edited = document;
    edited.SetKey(section, u"Fuzz Key", u" value ");
    const ini::Document reread = ini::Document::Parse(edited.Serialize());
    const ini::Index rereadIndex(reread);
    const std::optional<std::u16string> value = rereadIndex.Find(section, u"fuzz key");
    Check(value && *value == u"value");

    edited.ReplaceSection(section, {{u"a", u"1"}, {u"b", u"2"}});
    const ini::Document replaced = ini::Document::Parse(edited.Serialize());
    const ini::Index replacedIndex(replaced);
    Check(!replacedIndex.Find(section, u"fuzz key"));
    Check(replacedIndex.Find(section, u"b").has_value());

    edited.DeleteSection(section);
    (void)ini::Document::Parse(edited.Serialize());
    return 0;
}
