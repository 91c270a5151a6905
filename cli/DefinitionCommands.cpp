// list, show and define: the definitions of the configuration file.

#include "cli/CliArguments.h"
#include "cli/CliJson.h"
#include "cli/CommandLineDefinition.h"
#include "cli/Commands.h"

#include "app/DefinitionRows.h"
#include "app/NewDefinition.h"
#include "generators/DamageCatalogue.h"
#include "generators/KSFileGeneratorFactory.h"
#include "support/IniDocument.h"
#include "support/IniProfile.h"

#include <QJsonArray>

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
        // Whole: the wizard's summary cuts each property at 120 characters, which would drop a
        // long value (a list of damage classes, say) from the command line's answer.
        m_out << WithPlainLineEnds(property.Describe(kWhole).View()) << "\n";
    }

private:
    static constexpr std::size_t kWhole = 64 * 1024;
    std::ostream& m_out;
};

// The damage classes the definition's files can be given ("Damage=" takes their names), one line
// each: what is done, then what a reader does.
void PrintDamageClasses(const CKSFileGenerator& generator, std::ostream& out) {
    const std::string format = generator.DamageFormat();
    out << "\nDamage classes of " << (format.empty() ? std::string("these") : format)
        << " files (Damage=NAME,...; DamageShare=percent of files):\n";
    for (const CDamageClassInfo& info : DamageClassesOf(format)) {
        std::string name(info.name);
        name.resize(std::max<std::size_t>(name.size() + 1, 15), ' ');
        out << "  " << name << info.does << "; " << info.reader << "\n";
    }
}

// A property's value in JSON: true or false, a number, a text, {"min", "max"} or a list of numbers.
QJsonValue JsonValue(const CKSProperty& property) {
    switch (property.GetType()) {
    case PropertyType::BOOL:
        return property.GetBoolValue();
    case PropertyType::LONG:
        return static_cast<qint64>(property.GetLongValue64());
    case PropertyType::RANGE:
        return QJsonObject{{"min", static_cast<qint64>(property.GetRangeValue().min)},
                           {"max", static_cast<qint64>(property.GetRangeValue().max)}};
    case PropertyType::LIST: {
        QJsonArray items;
        for (std::size_t i = 0; i < property.GetCount(); ++i) {
            items.append(property.GetAt(i));
        }
        return items;
    }
    case PropertyType::TEXT:
    case PropertyType::LIMIT:
        break;
    }
    CKSString written;
    property.FormatValue(written);
    return JsonText(written);
}

const char* JsonKind(PropertyType type) {
    switch (type) {
    case PropertyType::BOOL:
        return "bool";
    case PropertyType::LONG:
        return "number";
    case PropertyType::TEXT:
        return "text";
    case PropertyType::RANGE:
        return "range";
    case PropertyType::LIMIT:
        return "limit";
    case PropertyType::LIST:
        return "list";
    }
    return "text";
}

QJsonObject JsonProperty(const CKSProperty& property) {
    CKSString written;
    property.FormatValue(written);
    return QJsonObject{{"name", JsonText(property.GetName())},
                       {"kind", JsonKind(property.GetType())},
                       {"value", JsonValue(property)},
                       {"written", JsonText(written)},
                       {"description", JsonText(property.GetDescription())}};
}

} // namespace

int RunListCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("list", {"--json"}, {});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    if (!parsed.Positional().empty()) {
        io.err << "fakemill-cli list: takes no arguments\n";
        return kExitUsage;
    }
    CKSString configFile;
    if (const int status = config.Resolve(configFile, io); status != kExitSuccess) {
        return status;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    std::vector<CKSString> shadowed;
    // The rows the desktop's list shows: 64-bit sizes and counts, each name once.
    const std::vector<CDefinitionRow> rows = ReadDefinitionRows(configFile, factory, &shadowed);
    for (const CKSString& name : shadowed) {
        io.err << "fakemill-cli list: warning: " << Utf16ToUtf8(ShadowedSectionWarning(name)) << "\n";
    }
    const bool json = parsed.Has("--json");
    QJsonArray definitions;
    if (!json) {
        io.out << "Generator\tType\tMinimum Size\tMinimum Count\n";
    }
    for (const CDefinitionRow& row : rows) {
        if (json) {
            // A section of no known kind has no type, size or count.
            const auto number = [](const CKSString& decimal) {
                bool ok = false;
                const qint64 value =
                    QString::fromStdU16String(std::u16string(decimal.View())).toLongLong(&ok);
                return ok ? QJsonValue(value) : QJsonValue();
            };
            definitions.append(
                QJsonObject{{"name", JsonText(row.name)},
                            {"type", row.known ? QJsonValue(JsonText(row.type)) : QJsonValue()},
                            {"minimumSize", number(row.minimumSize)},
                            {"minimumCount", number(row.minimumCount)}});
            continue;
        }
        io.out << row.name.ToUtf8() << '\t'
               << (row.known ? row.type.ToUtf8() + '\t' + row.minimumSize.ToUtf8() + '\t' +
                                   row.minimumCount.ToUtf8()
                             : std::string("unknown\t-\t-"))
               << '\n';
    }
    if (json) {
        PrintJson(io.out, QJsonObject{{"configuration", JsonText(configFile)}, {"definitions", definitions}});
    }
    return kExitSuccess;
}

int RunShowCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("show", {"--json"}, {});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    if (parsed.Positional().size() != 1) {
        io.err << "fakemill-cli show: needs exactly one definition name\n";
        return kExitUsage;
    }
    CKSString configFile;
    if (const int status = config.Resolve(configFile, io); status != kExitSuccess) {
        return status;
    }
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    const CKSString name = CKSString::FromUtf8(parsed.Positional()[0]);
    const auto generator = factory.CreateFromSection(configFile, name);
    if (!generator) {
        io.err << "fakemill-cli show: '" << parsed.Positional()[0] << "' is not a definition in "
               << configFile.ToUtf8() << "\n";
        return kExitFailure;
    }
    if (parsed.Has("--json")) {
        QJsonArray properties;
        generator->GetProperties().ForEachProperty(
            [&properties](const CKSProperty& property) { properties.append(JsonProperty(property)); });
        QJsonArray classes;
        for (const CDamageClassInfo& info : DamageClassesOf(generator->DamageFormat())) {
            classes.append(QJsonObject{{"name", QString::fromStdString(std::string(info.name))},
                                       {"does", QString::fromStdString(std::string(info.does))},
                                       {"reader", QString::fromStdString(std::string(info.reader))}});
        }
        PrintJson(io.out, QJsonObject{{"name", JsonText(CKSString(ini::TrimBlanks(name.View())))},
                                      {"type", JsonText(generator->GetType())},
                                      {"properties", properties},
                                      {"damageClasses", classes}});
        return kExitSuccess;
    }
    generator->SetName();
    SummaryPrinter printer(io.out);
    generator->DescribeProperties(printer);
    PrintDamageClasses(*generator, io.out);
    return kExitSuccess;
}

std::unique_ptr<CKSFileGenerator> CreateDefinitionOfKind(const std::string& command, const std::string& kind,
                                                         CliStreams& io) {
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    auto generator = factory.CreateForKind(Utf8ToUtf16(kind));
    if (!generator) {
        io.err << "fakemill-cli " << command << ": unknown kind '" << kind << "'; known kinds:";
        for (const GeneratorKindInfo& offered : CKSFileGeneratorFactory::OfferedKinds()) {
            io.err << ' ' << Utf16ToUtf8(offered.key);
        }
        io.err << "\n";
    }
    return generator;
}

int ApplyDefinitionValues(const std::string& command, const std::string& kind, CKSFileGenerator& generator,
                          std::span<const std::string> assignments, std::vector<std::string>& warnings,
                          CliStreams& io) {
    const std::string prefix = "fakemill-cli " + command + ": ";
    CKSPropertyList& properties = generator.GetProperties();
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            io.err << prefix << "expected KEY=VALUE, not '" << assignment << "'\n";
            return kExitUsage;
        }
        const std::string key = assignment.substr(0, equals);
        CKSProperty* property = properties.Find(Utf8ToUtf16(key));
        if (property == nullptr) {
            io.err << prefix << "a " << kind << " definition has no property '" << key << "'\n";
            return kExitUsage;
        }
        if (property->GetName().View() == u"Type") {
            io.err << prefix << "the kind is set with --type, not Type=\n";
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
                io.err << prefix << assignment << " cannot be used: " << Utf16ToUtf8(problem) << "\n";
                return kExitUsage;
            }
        }
        if (!property->ReadsAsTyped(value)) {
            CKSString stored;
            property->FormatValue(stored);
            warnings.push_back(prefix + "warning: " + assignment + " reads as " + key + "=" +
                               stored.ToUtf8());
        }
    }
    // An unknown unit, a path separator in a file-name prefix: refused, as every editor refuses it.
    if (const std::u16string problem = CheckDefinitionValues(properties); !problem.empty()) {
        io.err << prefix << Utf16ToUtf8(problem) << "\n";
        return kExitUsage;
    }
    // Damage, names and text options that the files cannot take together.
    if (const std::u16string problem = generator.OptionsProblem(); !problem.empty()) {
        io.err << prefix << Utf16ToUtf8(problem) << "\n";
        return kExitUsage;
    }
    return kExitSuccess;
}

int RunDefineCommand(const CliConfig& config, const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("define", {"--replace"}, {"--type"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    const auto kind = parsed.Value("--type");
    if (!kind || parsed.Positional().empty()) {
        io.err << "fakemill-cli define: needs --type KIND and a definition name\n";
        return kExitUsage;
    }
    const auto generator = CreateDefinitionOfKind("define", *kind, io);
    if (!generator) {
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
    if (const int status = ApplyDefinitionValues("define", *kind, *generator,
                                                 std::span(parsed.Positional()).subspan(1), warnings, io);
        status != kExitSuccess) {
        return status;
    }
    CKSString configFile;
    if (const int status = config.Resolve(configFile, io); status != kExitSuccess) {
        return status;
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
