#pragma once
// The damage classes each kind of file can be given, each with one line on what is done to the
// file and one on what a reader of the format does with it. Files are named by their format:
// "png", "jpeg", "gif", "bmp" (pictures), "bin", "txt" and "csv".

#include "engine/FileDamage.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CDamageClassInfo {
    std::string_view name;
    std::string_view does;
    EReaderOutcome outcome;
    std::string_view reader;
};

// The classes every format offers: truncate, flip, zero, empty.
std::span<const CDamageClassInfo> CommonDamageClasses();
// The format's own classes, each made the way a writer bug would make it.
std::span<const CDamageClassInfo> OwnDamageClasses(std::string_view format);
// The common classes, then the format's own: every class its files can be given.
std::vector<CDamageClassInfo> DamageClassesOf(std::string_view format);
// The names of the format's own classes.
std::vector<std::string_view> OwnDamageClassNames(std::string_view format);
// The common and own class of that name; null when the format has none.
const CDamageClassInfo* FindDamageClass(std::string_view format, std::string_view name);
// The formats that have classes of their own, in the order the classes are listed.
std::span<const std::string_view> DamageFormats();
// Sets the record's outcome and expected line from the catalogue entry of its class.
void ExpectFromCatalogue(std::string_view format, CDamageRecord& record);
