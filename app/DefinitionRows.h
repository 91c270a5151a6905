#pragma once
// What the definition list shows of a configuration file: one row per definition in file order,
// with the generator's type, its minimum size and its minimum file count. Shared by every front end
// so that they show and generate the same definitions.

#include "support/KSString.h"

#include <vector>

class CKSFileGeneratorFactory;

// The definitions of a file: every section name once, in file order. The reader finds the first
// section of a name (compared without case, blanks at either end trimmed), so later sections
// of that name are shadowed: they are listed apart, for a warning, and never generated.
struct CDefinitionSections {
    std::vector<CKSString> names;
    std::vector<CKSString> shadowed;
};
CDefinitionSections ReadDefinitionSections(const CKSString& configFile);
// "A later section [%s] is ignored: a definition of that name comes first".
std::u16string ShadowedSectionWarning(const CKSString& name);
// The sections whose "Type" names a known kind, in file order, each once: what "all definitions"
// generates. Each section skipped for want of a known type, and each shadowed one, gets a
// warning in warnings.
std::vector<CKSString> GeneratableDefinitions(const CKSString& configFile,
                                              std::vector<std::u16string>& warnings);

struct CDefinitionRow {
    CKSString name;
    // All three empty when no generator results from the section (no known "Type"); known
    // tells such a row apart.
    CKSString type;
    CKSString minimumSize;
    CKSString minimumCount;
    bool known = false;
};

// Reads the rows with one parse of the file, one per definition (shadowed sections are left out
// and, when given, listed in shadowed). Sizes and counts are the signed 64-bit values as stored:
// a 5 GB minimum shows 5368709120, not its low 32 bits.
std::vector<CDefinitionRow> ReadDefinitionRows(const CKSString& configFile,
                                               const CKSFileGeneratorFactory& factory,
                                               std::vector<CKSString>* shadowed = nullptr);

// The status text of a configuration file: "%s [%s]" with its last-write time (the time without
// seconds when it is today, else the short date), or the path alone when the file has no time
// stamp (it does not exist yet). Cut to 256 characters for display.
CKSString ConfigurationStatusText(const CKSString& configFile);
