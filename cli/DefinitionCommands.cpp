// list, show and define: the definitions of the configuration file.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "generators/DamageCatalogue.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"

#include <algorithm>
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

// The damage classes the definition's files can be given ("Damage=" takes their names), one line
// each: what is done, then what a reader does.
void PrintDamageClasses(const CKSFileGenerator& generator, std::ostream& out) {
    const std::string format = generator.DamageFormat();
    out << "\nDamage classes of " << (format.empty() ? std::string("these") : format)
        << " files (Damage=NAME,...; DamageShare=percent of files):\n";
    for (const std::span<const CDamageClassInfo> list : {CommonDamageClasses(), OwnDamageClasses(format)}) {
        for (const CDamageClassInfo& info : list) {
            std::string name(info.name);
            name.resize(std::max<std::size_t>(name.size() + 1, 15), ' ');
            out << "  " << name << info.does << "; " << info.reader << "\n";
        }
    }
}

} // namespace

int RunListCommand(const CKSString& configFile, const std::vector<std::string>& args, CliStreams& io) {
    if (!args.empty()) {
        io.err << "fakemill-cli list: takes no arguments\n";
        return kExitUsage;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    io.out << "Generator\tType\tMinimum Size\tMinimum Count\n";
    for (const CKSString& name : CIniProfile::GetSectionNames(configFile)) {
        io.out << name.ToUtf8();
        if (const auto generator = factory.CreateFromSection(configFile, name)) {
            const auto files = generator->GetProperties().Get(u"Files").GetRangeValue();
            io.out << '\t' << generator->GetType().ToUtf8() << '\t'
                   << (generator->HasSize()
                           ? std::to_string(static_cast<std::uint32_t>(generator->GetSizeMinimum()))
                           : "-")
                   << '\t' << static_cast<std::uint32_t>(files.min);
        }
        io.out << '\n';
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
    PrintDamageClasses(*generator, io.out);
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
    if (const std::u16string problem = generator->OptionsProblem(); !problem.empty()) {
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
