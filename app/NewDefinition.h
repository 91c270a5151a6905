#pragma once
// What the new-definition wizard, the property editor and Add Multiple do with a definition, apart
// from their windows: the generator built from the wizard's answers, the checks that refuse bad
// answers with a reason, the summary text, and writes that replace a whole section at once.

#include "generators/KSFileGeneratorFactory.h"
#include "support/KSError.h"
#include "support/KSString.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The amount controls: one number ("&n") or two ("n:&m"), times the unit's factor.
struct AmountAnswer {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool range = true;
    // A row of SizeUnits; beyond the table (or without a unit list) the factor is 1.
    std::size_t unit = 0;
};

// minimum = first × factor, maximum = (second when a range, else first) × factor; products beyond
// the signed 64-bit range saturate.
CKSRange AmountRange(const AmountAnswer& amount);

// The folder the wizard offers: relative, so that a definition's files land under whatever
// destination a batch is given (the desktop's chosen folder, the command line's -o).
inline constexpr std::u16string_view kDefaultDefinitionFolder = u"fkmfiles";

struct NewDefinitionAnswers {
    CKSString name;
    // "txt", "csv", "bin" or "img".
    std::u16string kind = u"txt";
    std::uint64_t files = 1;
    CKSString folder{kDefaultDefinitionFolder};
    // Text and binary.
    AmountAnswer size{1024, 2048, true, 0};
    std::int32_t textType = 2;
    bool winLineEnding = false;
    // CSV.
    AmountAnswer rows{8, 80, true, SIZE_MAX};
    std::vector<std::int32_t> columns;
    bool emitHeader = false;
    // Image.
    std::u16string imageType = u"png";
    std::uint64_t width = 1024;
    std::uint64_t height = 512;
    std::uint64_t elements = 19;
    // Every kind: the damage classes its files may get, the share of them damaged, and the style
    // of their names.
    std::vector<std::string> damage;
    std::uint64_t damageShare = 100;
    std::u16string names = u"plain";
    // Text and CSV; the style and date format only for CSV.
    std::u16string encoding = u"utf8";
    std::u16string lineEnd = u"default";
    std::u16string dateFormat = u"locale";
    std::u16string style = u"padded";
};

// Why the name cannot be a definition's name; empty when it can.
std::u16string CheckDefinitionName(std::u16string_view name);
// Why the answers of the kind page cannot make a definition (a reversed range, a CSV without
// columns); empty when they can.
std::u16string CheckKindAnswers(const NewDefinitionAnswers& answers);

// Why the definition's damage, names and text options cannot be used together (invalid-utf8 in
// Latin-1, say); empty when they can, or when the kind is unknown.
std::u16string CheckFileOptions(const CKSFileGeneratorFactory& factory, const NewDefinitionAnswers& answers);
std::u16string CheckFileOptions(const CKSFileGeneratorFactory& factory, const CKSPropertyList& properties);

// A generator of the chosen kind with the answers applied and named after the definition; null for
// an unknown kind.
std::unique_ptr<CKSFileGenerator> BuildDefinition(const CKSFileGeneratorFactory& factory,
                                                  const NewDefinitionAnswers& answers);

// "<name> Properties \r\n", 24 dashes, then each property's description, each line ending in CR LF.
std::u16string DefinitionSummary(CKSFileGenerator& generator);

// Whether the file has a section of that name (names compare without regard to case).
bool DefinitionExists(const CKSString& file, std::u16string_view name);

// Why the values cannot be written: "KEY=VALUE cannot be used: reason" for the first one the
// syntax refused (an unknown unit, a path separator in "Prefix"); empty when every one can. The
// one check of the command line's define, the wizard, the property editor and Add Multiple.
std::u16string CheckDefinitionValues(const CKSPropertyList& properties);

// Writes the properties as the whole section: an existing section of that name loses every key it
// had. All or nothing: a failed error means nothing was written, and says why (a value
// CheckDefinitionValues refuses among the reasons).
CKSError WriteDefinition(const CKSString& file, std::u16string_view name, const CKSPropertyList& properties);

// Removes the definition's section from the file.
CKSError DeleteDefinition(const CKSString& file, std::u16string_view name);

// Copies definitions from one configuration file into another, each as a whole section. A name that
// exists in the target is replaced only when replace(name) agrees. Answers the names copied; each
// failure (naming the definition, with the reason) goes to failures.
std::vector<CKSString> CopyDefinitions(const CKSFileGeneratorFactory& factory, const CKSString& from,
                                       const CKSString& to, const std::vector<CKSString>& names,
                                       const std::function<bool(const CKSString&)>& replace,
                                       std::vector<CKSError>& failures);

// Sets the property from its text as the file holds it; a list is replaced, not appended to.
void SetValueFromText(CKSProperty& property, std::u16string_view text);

// The value the text gives a property of that kind, written back as the file would hold it, so
// that an editor can show how a typed number reads ("64KB" for 65536); false when the property
// could not write it (an empty list).
bool ReadBackValue(const CKSProperty& property, std::u16string_view text, CKSString& shown);
