// list, show and define: the definitions of the configuration file.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "app/DefinitionRows.h"
#include "app/NewDefinition.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"

#include <ostream>

namespace {

std::string WithPlainLineEnds(std::u16string_view text) {
    std::string line = Utf16ToUtf8(text);
    std::string plain;
    plain.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') {
            continue;
        }
        plain.push_back(line[i]);
    }
    return plain;
}

// Prints a definition's summary: its heading, a rule, then each property's description.
class SummaryPrinter : public IPropertyInfo {
public:
    explicit SummaryPrinter(std::ostream& out) : m_out(out) {}
    void OnHeader(std::u16string_view text) override {
        m_out << WithPlainLineEnds(text) << "------------------------\n";
    }
    void OnProperty(const CKSProperty& property) override {
        m_out << WithPlainLineEnds(property.Describe(CKSProperty::kDescribeCapacity).View()) << "\n";
    }

private:
    std::ostream& m_out;
};

} // namespace

int RunListCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io) {
    if (!args.empty()) {
        io.err << "fakemill-cli list: takes no arguments\n";
        return kExitUsage;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    std::vector<CKSString> shadowed;
    // The rows the desktop's list shows: 64-bit sizes and counts, each name once.
    const std::vector<CDefinitionRow> rows = ReadDefinitionRows(configFile, factory, &shadowed);
    io.out << "Generator\tType\tMinimum Size\tMinimum Count\n";
    for (const CDefinitionRow& row : rows) {
        io.out << row.name.ToUtf8() << '\t'
               << (row.known ? row.type.ToUtf8() + '\t' + row.minimumSize.ToUtf8() + '\t' +
                                   row.minimumCount.ToUtf8()
                             : std::string("unknown\t-\t-"))
               << '\n';
    }
    for (const CKSString& name : shadowed) {
        io.err << "fakemill-cli list: warning: " << Utf16ToUtf8(ShadowedSectionWarning(name)) << "\n";
    }
    return kExitSuccess;
}

int RunShowCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io) {
    if (args.size() != 1) {
        io.err << "fakemill-cli show: needs exactly one definition name\n";
        return kExitUsage;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    const CKSString name = CKSString::FromUtf8(args[0]);
    const auto generator = factory.CreateFromSection(configFile, name);
    if (!generator) {
        io.err << "fakemill-cli show: '" << args[0] << "' is not a definition in " << configFile.ToUtf8()
               << "\n";
        return kExitFailure;
    }
    generator->SetName();
    SummaryPrinter printer(io.out);
    generator->DescribeProperties(printer);
    return kExitSuccess;
}

int RunDefineCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed({"--replace"}, {"--type"});
    if (!parsed.Parse(args)) {
        io.err << "fakemill-cli define: " << parsed.Error() << "\n";
        return kExitUsage;
    }
    const auto kind = parsed.Value("--type");
    if (!kind || parsed.Positional().empty()) {
        io.err << "fakemill-cli define: needs --type KIND and a definition name\n";
        return kExitUsage;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    const auto generator = factory.CreateForKind(Utf8ToUtf16(*kind));
    if (!generator) {
        io.err << "fakemill-cli define: unknown kind '" << *kind << "'; known kinds:";
        for (const GeneratorKindInfo& offered : CKSFileGeneratorFactory::OfferedKinds()) {
            io.err << ' ' << Utf16ToUtf8(offered.key);
        }
        io.err << "\n";
        return kExitUsage;
    }
    // The reader trims section names: " b1 " is the name "b1", and is shown so.
    const std::u16string typedName = Utf8ToUtf16(parsed.Positional()[0]);
    const CKSString name(ini::TrimBlanks(typedName));
    const std::string nameText = name.ToUtf8();
    if (const std::u16string problem = CIniProfile::CheckSectionName(name); !problem.empty()) {
        io.err << "fakemill-cli define: the name '" << nameText
               << "' cannot be used: " << Utf16ToUtf8(problem) << "\n";
        return kExitUsage;
    }
    CKSPropertyList& properties = generator->GetProperties();
    std::vector<std::string> warnings;
    for (std::size_t i = 1; i < parsed.Positional().size(); ++i) {
        const std::string& assignment = parsed.Positional()[i];
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            io.err << "fakemill-cli define: expected KEY=VALUE, not '" << assignment << "'\n";
            return kExitUsage;
        }
        const std::string key = assignment.substr(0, equals);
        CKSProperty* property = properties.Find(Utf8ToUtf16(key));
        if (property == nullptr) {
            io.err << "fakemill-cli define: a " << *kind << " definition has no property '" << key << "'\n";
            return kExitUsage;
        }
        if (property->GetName().View() == u"Type") {
            io.err << "fakemill-cli define: the kind is set with --type, not Type=\n";
            return kExitUsage;
        }
        const std::string valueText = assignment.substr(equals + 1);
        if (valueText.empty()) {
            continue; // "Size=" keeps the default
        }
        const std::u16string value = Utf8ToUtf16(valueText);
        property->ParseValue(value);
        if (property->GetType() == PropertyType::RANGE) {
            if (const std::u16string problem = property->GetRangeValue().Problem(); !problem.empty()) {
                io.err << "fakemill-cli define: " << assignment << " cannot be used: " << Utf16ToUtf8(problem)
                       << "\n";
                return kExitUsage;
            }
        }
        if (!property->ReadsAsTyped(value)) {
            CKSString stored;
            property->FormatValue(stored);
            warnings.push_back("fakemill-cli define: warning: " + assignment + " reads as " + key + "=" +
                               stored.ToUtf8());
        }
    }
    // An unknown unit, a path separator in a file-name prefix: refused, as every editor refuses it.
    if (const std::u16string problem = CheckDefinitionValues(properties); !problem.empty()) {
        io.err << "fakemill-cli define: " << Utf16ToUtf8(problem) << "\n";
        return kExitUsage;
    }
    std::u16string error;
    CIniKeyValues keys;
    bool existed = false;
    const bool written =
        properties.FormatAll(keys, &error) &&
        (parsed.Has("--replace") ? CIniProfile::ReplaceSection(configFile, name, keys, &error)
                                 : CIniProfile::WriteNewSection(configFile, name, keys, &error, &existed));
    if (existed) {
        io.err << "fakemill-cli define: '" << nameText << "' is already defined in " << configFile.ToUtf8()
               << " (use --replace to replace it)\n";
        return kExitFailure;
    }
    if (!written) {
        io.err << "fakemill-cli define: could not write '" << nameText << "' to " << configFile.ToUtf8()
               << ": " << Utf16ToUtf8(error) << "\n";
        return kExitFailure;
    }
    for (const std::string& warning : warnings) {
        io.err << warning << "\n";
    }
    return kExitSuccess;
}
