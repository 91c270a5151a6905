#pragma once
// What the definition list shows of a configuration file: one row per section in file order, with
// the generator's type, its minimum size and its minimum file count. Shared by every front end so
// that they show the same values.

#include "support/KSString.h"

#include <vector>

class CKSFileGeneratorFactory;

struct CDefinitionRow {
    CKSString name;
    // Empty when no generator results from the section: the row shows its name only.
    CKSString type;
    CKSString minimumSize;
    CKSString minimumCount;
};

// Reads the rows with one parse of the file. Sizes and counts are the signed 64-bit values as
// stored: a 4 GiB minimum shows 4294967296, not the low 32 bits.
std::vector<CDefinitionRow> ReadDefinitionRows(const CKSString& configFile,
                                               const CKSFileGeneratorFactory& factory);

// The status text of a configuration file: "%s [%s]" with its last-write time (the time without
// seconds when it is today, else the short date), or the path alone when the file has no time
// stamp (it does not exist yet). Cut to 256 characters for display.
CKSString ConfigurationStatusText(const CKSString& configFile);
