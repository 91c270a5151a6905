#pragma once
// A definition made of words on the command line, as define writes it and generate --type runs
// it: the kind's defaults, then KEY=VALUE pairs, with the same checks and messages for both.

#include "engine/KSFileGenerator.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

struct CliStreams;

// A generator of the kind with its defaults; null after "unknown kind" and the known kinds on
// the error stream.
std::unique_ptr<CKSFileGenerator> CreateDefinitionOfKind(const std::string& command, const std::string& kind,
                                                         CliStreams& io);

// Applies KEY=VALUE words to the definition: an empty value keeps the default, a range whose
// minimum is above its maximum is refused, and a value the number syntax reads otherwise than
// typed is kept as read, with a line for warnings; an unknown unit or a path separator in a
// file-name prefix is refused, and so are damage, names and text options the files cannot take.
// Answers 0, or the usage error's status after naming the word or key at fault.
int ApplyDefinitionValues(const std::string& command, const std::string& kind, CKSFileGenerator& generator,
                          std::span<const std::string> assignments, std::vector<std::string>& warnings,
                          CliStreams& io);
