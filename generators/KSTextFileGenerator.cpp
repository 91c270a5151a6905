#include "generators/KSTextFileGenerator.h"

#include "generators/DamageCatalogue.h"
#include "generators/KSRovezezodavInitializer.h"
#include "generators/KSWordList.h"
#include "generators/LocaleDateFormat.h"
#include "support/KSException.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

namespace {

const CKSPropertyList& TextProperties() {
    static const CKSPropertyList properties = [] {
        const CKSProperty lineLength(u"LineLength", u"Length of a line", CKSRange(60, 90));
        const CKSProperty size(u"Size", u"How many bytes to generate", CKSRange(1000, 10000));
        const CKSBoolProperty winLineEnding(u"WinLineEnding", u"Windows line endings", true);
        const CKSProperty textType(
            u"TextType", u"What kind of text to generate: characters, words or rovezezodav", std::int64_t{2});
        const CKSBoolProperty numbers(u"NumbersInText", u"Intersperse numbers", true);
        const CKSBoolProperty emails(u"EmailsInText", u"Intersperse random emails", false);
        const CKSBoolProperty cards(u"CCsInText", u"Intersperse random credit card numbers", false);
        const CKSBoolProperty dates(u"DatesInText", u"Intersperse dates", false);
        const CKSProperty encoding(u"Encoding", TextEncodingDescription(), u"utf8");
        const CKSProperty lineEnd(u"LineEnd", LineEndDescription(), u"default");
        const CKSProperty dateFormat(u"DateFormat", DateFormatDescription(), u"locale");
        const CKSProperty* table[] = {&lineLength, &size,  &winLineEnding, &textType, &numbers,   &emails,
                                      &cards,      &dates, &encoding,      &lineEnd,  &dateFormat};
        return CKSPropertyList(table);
    }();
    return properties;
}

char RandomPrintable() {
    return static_cast<char>(KSRand() % 94 + 32);
}

// Words outside ASCII that text in an encoding other than plain UTF-8 carries, one a line, so
// that the encoding shows: those Latin-1 holds, then some it does not (UTF-8 and UTF-16 only),
// the last outside the BMP (a surrogate pair in UTF-16).
constexpr std::array<std::string_view, 10> kLatinWords{"caf\u00e9",          "na\u00efve",
                                                       "Z\u00fcrich",        "se\u00f1or",
                                                       "fa\u00e7ade",        "sm\u00f6rg\u00e5sbord",
                                                       "\u00d8resund",       "cr\u00e8me",
                                                       "\u00e5ngstr\u00f6m", "d\u00e9j\u00e0"};
constexpr std::array<std::string_view, 5> kWiderWords{
    "\u20acuro", "\u65e5\u672c\u8a9e", "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac",
    "\u0420\u0443\u0441\u0441\u043a\u0438\u0439", "\U0001F600"};

// Whether the bytes are text in the encoding; fromBoundary says whether they begin at a
// character's start (otherwise the end of a character cut by the window's start is skipped).
bool StillDecodes(ETextEncoding encoding, std::string_view bytes, bool fromBoundary) {
    if (encoding == ETextEncoding::Latin1) {
        return true;
    }
    if (IsUtf16(encoding)) {
        if (!fromBoundary && !bytes.empty()) {
            bytes.remove_prefix(1);
        }
        return IsValidUtf16(bytes, encoding);
    }
    std::size_t i = 0;
    while (!fromBoundary && i < bytes.size() && i < 3 &&
           (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80) {
        ++i;
    }
    return IsValidUtf8(bytes.substr(i));
}

} // namespace

CKSTextFileGenerator::CKSTextFileGenerator(CKSLogger* logger)
    : CKSFileGenerator(logger), m_words(CTextGenerator::Instance()) {}

void CKSTextFileGenerator::AddTypeProperties() {
    AppendProperties(TextProperties());
}

std::unique_ptr<CKSFileGenerator> CKSTextFileGenerator::CreateSibling(CKSLogger* logger) {
    return std::make_unique<CKSTextFileGenerator>(logger);
}

bool CKSTextFileGenerator::ApplySize(std::uint64_t target, std::uint64_t limit) {
    // Sizes count the file's bytes: text in UTF-16 takes two of them a character.
    const std::uint64_t perCharacter = IsUtf16(m_encoding) ? 2 : 1;
    Reset(target / perCharacter, limit / perCharacter);
    return true;
}

bool CKSTextFileGenerator::EnsureWordModel() {
    CKSRovezezodavInitializer& model = CKSRovezezodavInitializer::Instance();
    const bool loaded = model.EnsureLoaded();
    // Said once in the process, by the generator that happened to load the model.
    if (const std::string notice = model.TakeNotice(); !notice.empty()) {
        Logger().WarningF("%s", CKSString::FromUtf8(notice));
    }
    return loaded;
}

void CKSTextFileGenerator::ReadLineEnding() {
    ReadTextOptions();
    m_lineEnding =
        LineEndBytes(m_lineEndChoice, BoolProperty(u"WinLineEnding", true) ? std::string_view("\r\n")
                                                                           : std::string_view("\n"));
}

void CKSTextFileGenerator::ReadTextOptions() {
    const auto read = [this](std::u16string_view name) {
        const CKSProperty* property = GetProperties().Find(name);
        return property != nullptr ? property->GetValue() : CKSString(u"");
    };
    m_encoding = ParseTextEncoding(read(u"Encoding").View()).value_or(ETextEncoding::Utf8);
    m_lineEndChoice = ParseLineEnd(read(u"LineEnd").View()).value_or(ELineEnd::Default);
    m_dateFormat = ParseDateFormat(read(u"DateFormat").View()).value_or(EDateFormat::Locale);
}

std::string_view CKSTextFileGenerator::NextLineEnding() {
    if (m_lineEndChoice != ELineEnd::Mixed) {
        return m_lineEnding;
    }
    static constexpr std::array<std::string_view, 3> kEndings{"\n", "\r\n", "\r"};
    return kEndings[static_cast<std::size_t>(FileStream().Below(kEndings.size()))];
}

void CKSTextFileGenerator::PrepareStages(std::vector<COutputStage*>& stages) {
    ReadTextOptions();
    m_encodingStage.reset();
    m_textDamage.Clear();
    m_injected = 0;
    m_lineIndex = 0;
    if (m_encoding != ETextEncoding::Utf8) {
        m_encodingStage = std::make_unique<CTextEncodingStage>(m_encoding);
        stages.push_back(m_encodingStage.get());
    }
}

std::vector<std::string_view> CKSTextFileGenerator::OwnDamageClasses() const {
    return OwnDamageClassNames(DamageFormat());
}

std::u16string CKSTextFileGenerator::OptionsProblem() const {
    if (std::u16string problem = CKSFileGenerator::OptionsProblem(); !problem.empty()) {
        return problem;
    }
    const CKSProperty* encoding = GetProperties().Find(u"Encoding");
    const CKSProperty* lineEnd = GetProperties().Find(u"LineEnd");
    const CKSProperty* dateFormat = GetProperties().Find(u"DateFormat");
    if (encoding != nullptr && !ParseTextEncoding(encoding->GetValue().View())) {
        return KSFormat(std::u16string_view(u"Encoding=%s: not an encoding; known: %s"), encoding->GetValue(),
                        ChoiceKeys(TextEncodings()));
    }
    if (lineEnd != nullptr && !ParseLineEnd(lineEnd->GetValue().View())) {
        return KSFormat(std::u16string_view(u"LineEnd=%s: not a line end; known: %s"), lineEnd->GetValue(),
                        ChoiceKeys(LineEnds()));
    }
    if (dateFormat != nullptr && !ParseDateFormat(dateFormat->GetValue().View())) {
        return KSFormat(std::u16string_view(u"DateFormat=%s: not a date format; known: %s"),
                        dateFormat->GetValue(), ChoiceKeys(DateFormats()));
    }
    const auto has = [this](std::string_view name) { return NamesDamage(GetProperties(), name); };
    const ETextEncoding chosen = ParseTextEncoding(encoding != nullptr ? encoding->GetValue().View() : u"")
                                     .value_or(ETextEncoding::Utf8);
    if (has("invalid-utf8") && !IsUtf8(chosen)) {
        return u"Damage=invalid-utf8 needs Encoding utf8 or utf8-bom: other encodings cannot hold those "
               u"bytes";
    }
    if (has("bom") && !ByteOrderMark(chosen).empty()) {
        return u"Damage=bom needs an encoding without a byte-order mark: this one has one already";
    }
    if (has("mixed-eol") && lineEnd != nullptr &&
        ParseLineEnd(lineEnd->GetValue().View()) == ELineEnd::Mixed) {
        return u"Damage=mixed-eol needs a line end of one kind: LineEnd=mixed mixes them already";
    }
    return {};
}

void CKSTextFileGenerator::NoteChange(std::string_view original, std::string_view written) {
    if (m_encodingStage) {
        m_encodingStage->Mark(Utf8Offset());
    }
    m_textDamage.Note(Utf8Offset(), original, written);
}

void CKSTextFileGenerator::Inject(std::string_view original, std::string_view written) {
    NoteChange(original, written);
    WriteNarrow(written);
    m_injected += written.size();
}

std::string_view CKSTextFileGenerator::DamageLine(std::string_view ending) {
    if (!m_textDamage.Due(m_lineIndex)) {
        return ending;
    }
    m_textDamage.Applied(m_lineIndex);
    if (m_textDamage.Is("mixed-eol")) {
        const std::string_view other = CTextDamage::OtherLineEnd(ending);
        NoteChange(ending, other);
        return other;
    }
    InjectDamage();
    return ending;
}

void CKSTextFileGenerator::InjectDamage() {
    if (m_textDamage.Is("nul")) {
        Inject({}, std::string_view("\0", 1));
    } else if (m_textDamage.Is("invalid-utf8")) {
        Inject({}, CTextDamage::InvalidUtf8(DamageStream()));
    } else if (m_textDamage.Is("long-line")) {
        Inject({}, CTextDamage::LongLine(DamageStream()));
    }
}

void CKSTextFileGenerator::CloseOutput(const CKSString& path) {
    CKSFileGenerator::CloseOutput(path);
    if (!m_textDamage.Class().empty()) {
        CDamageRecord& record = FileDamageRecord();
        m_textDamage.Record(m_encoding, m_encodingStage.get(), record);
        ExpectFromCatalogue(DamageFormat(), record);
        m_textDamage.Clear();
    }
}

void CKSTextFileGenerator::JudgeCommonDamage(CDamageRecord& record, const std::string& window,
                                             std::uint64_t start) {
    const std::string_view name = record.damageClass;
    if (name == damage::kEmpty) {
        record.outcome = EReaderOutcome::Decodes;
        record.expected = "decodes: an empty text";
        return;
    }
    // Only the bytes at hand can have changed, and the file was text before.
    const bool boundary = start <= HeaderBytes();
    const std::string_view body = std::string_view(window).substr(
        boundary ? static_cast<std::size_t>(std::min<std::uint64_t>(HeaderBytes() - start, window.size()))
                 : 0);
    if (!StillDecodes(m_encoding, body, boundary || start % 2 == HeaderBytes() % 2)) {
        record.outcome = EReaderOutcome::Fails;
        record.expected = "fails to decode in its encoding";
    } else if (body.find('\0') != std::string_view::npos) {
        record.outcome = EReaderOutcome::Warns;
        record.expected = "decodes, but NUL bytes make tools take it for binary data";
    } else {
        record.outcome = EReaderOutcome::Decodes;
        record.expected =
            name == damage::kTruncate ? "decodes: the text ends early" : "decodes: characters changed";
    }
}

void CKSTextFileGenerator::GenerateContent() {
    ReadLineEnding();
    m_textKind = LongProperty(u"TextType", kRandomWords);
    m_emails = BoolProperty(u"EmailsInText", false);
    m_dates = BoolProperty(u"DatesInText", false);
    m_numbers = BoolProperty(u"NumbersInText", true);
    m_cards = BoolProperty(u"CCsInText", false);
    ApplySizeProperty();
    const CKSRange line = RangeProperty(u"LineLength", CKSRange(60, 90));
    m_lineLength = RandomInRange(static_cast<std::uint64_t>(line.min), static_cast<std::uint64_t>(line.max));
    SetBlockSize(m_lineLength);
    m_lineEnded = false;
    if (!FileDamageClass().empty() && !IsCommonDamage(FileDamageClass())) {
        // Among the first half of the lines the file is expected to hold, so that they are reached.
        const std::uint64_t perLine = m_lineLength + m_lineEnding.size();
        m_textDamage.Choose(FileDamageClass(), GetTarget() / std::max<std::uint64_t>(1, perLine) / 2,
                            DamageStream());
    }
    Iterate();
    if (m_textDamage.Owed()) {
        // The file ended before the line chosen (a stop, a small size): the damage goes at its end.
        m_textDamage.Forget();
        if (m_textDamage.Is("mixed-eol")) {
            Inject({}, CTextDamage::OtherLineEnd(m_lineEnding));
        } else {
            InjectDamage();
        }
    }
}

std::uint64_t CKSTextFileGenerator::EmitBlock(std::uint64_t room) {
    // The block loop asks for units until the line is full or a unit could write nothing. A
    // line's units are made here in one go: the same bytes and draws, without a call per unit.
    // Once a unit wrote nothing, the line is over: a further request answers 0 without drawing.
    if (m_lineEnded) {
        return 0;
    }
    if (m_textKind != kRovezezodav) {
        return EmitPlainLine(room);
    }
    std::uint64_t done = 0;
    while (done < room) {
        const std::uint64_t unit = WriteParagraph();
        if (unit == 0) {
            m_lineEnded = true;
            break;
        }
        done += unit;
    }
    return done;
}

CKSTextFileGenerator::Piece CKSTextFileGenerator::ItemFor(std::uint32_t r) const {
    switch (r) {
    case 2:
    case 3:
        return m_numbers ? &CKSTextFileGenerator::WriteNumber : nullptr;
    case 4:
        return m_emails ? &CKSTextFileGenerator::WriteEmail : nullptr;
    case 5:
        return m_cards ? &CKSTextFileGenerator::WriteCardNumber : nullptr;
    case 6:
        return m_dates ? &CKSTextFileGenerator::WriteDate : nullptr;
    default:
        return nullptr;
    }
}

std::uint64_t CKSTextFileGenerator::EmitPlainLine(std::uint64_t room) {
    // Each unit, in order: with more than 64 bytes left, a draw of two values picks an item by
    // its remainder modulo 73; words text with room for the longest word draws whether to write
    // a word (6 in 8) and which; otherwise a character: one draw, a space when its low three
    // bits are set, else a second draw gives the byte. Characters stop at the limit (their draws
    // made); items and words are written whole.
    //
    // This runs for every byte of a file, so the random state stays in a register and each draw
    // is one multiply-add from the state at the start of the unit, and the bytes are gathered
    // here and written in pieces. Pieces that draw for themselves get the state handed over.
    const bool words = (m_textKind & kRandomWords) != 0;
    const bool anyItem = m_numbers || m_emails || m_cards || m_dates;
    const std::uint64_t limit = GetLimit();
    CLocalRandomState random;
    char pending[4096];
    std::size_t held = 0;
    std::uint64_t written = GetPosition(); // where the held bytes go
    const auto writeHeld = [&] {
        if (held != 0) {
            WriteNarrowText(std::string_view(pending, held));
            held = 0;
            written = GetPosition();
        }
    };

    std::uint64_t done = 0;
    while (done < room) {
        const std::uint64_t position = written + held;
        const std::uint64_t left = position < limit ? limit - position : 0;
        const std::uint32_t start = random.Get();
        std::size_t drawn = 0;

        if (left > kItemRoom) {
            drawn = 2;
            if (anyItem) {
                const std::uint32_t v =
                    (DrawFrom(StateAfter(start, 1)) << 16) | DrawFrom(StateAfter(start, 2));
                const std::uint32_t r = v % 73;
                if (const Piece piece = r - 2 < 5 ? ItemFor(r) : nullptr; piece != nullptr) {
                    random.Set(StateAfter(start, 2));
                    writeHeld();
                    random.HandBack();
                    const std::uint64_t unit = (this->*piece)();
                    random.TakeBack();
                    written = GetPosition();
                    if (unit == 0) {
                        m_lineEnded = true;
                        break;
                    }
                    done += unit;
                    continue;
                }
            }
        }

        if (words && room - done > m_words.WordFitLength()) {
            const bool word = DrawFrom(StateAfter(start, drawn + 1)) % 8 < 6 && left > 0;
            drawn += 1;
            if (word) {
                const CPickableWords& list = m_words.Words();
                const std::string_view text = list.ForDraw(DrawFrom(StateAfter(start, drawn + 1)));
                random.Set(StateAfter(start, drawn + 1));
                if (held + list.SlotBytes() > sizeof(pending)) {
                    writeHeld();
                }
                // Whole slots: one fixed-size move for the words of the built-in list.
                if (list.SlotBytes() == 16) {
                    std::memcpy(pending + held, text.data(), 16);
                } else {
                    std::memcpy(pending + held, text.data(), list.SlotBytes());
                }
                held += text.size();
                done += text.size();
                continue;
            }
        }

        const std::uint32_t first = StateAfter(start, drawn + 1);
        const std::uint32_t second = StateAfter(start, drawn + 2);
        const bool space = (DrawFrom(first) & 7) == 7;
        random.Set(space ? first : second);
        if (left == 0) {
            m_lineEnded = true;
            break;
        }
        if (held == sizeof(pending)) {
            writeHeld();
        }
        pending[held++] = space ? ' ' : static_cast<char>(DrawFrom(second) % 94 + 32);
        done += 1;
    }
    writeHeld();
    return done;
}

std::uint64_t CKSTextFileGenerator::WriteNumber() {
    return WriteNarrowText(MakeNumber());
}

std::string CKSTextFileGenerator::MakeNumber() {
    KSRand();
    char text[16];
    auto [end, ec] = std::to_chars(text, text + sizeof(text), KSRand() & 0x7FFF);
    (void)ec;
    *end++ = ' ';
    return std::string(text, static_cast<std::size_t>(end - text));
}

std::uint64_t CKSTextFileGenerator::WriteEmail() {
    return WriteNarrowText(MakeEmail());
}

std::string CKSTextFileGenerator::MakeEmail() {
    const std::int64_t v = static_cast<std::int64_t>(static_cast<std::int32_t>(KSRand() << 16)) |
                           static_cast<std::int64_t>(KSRand());
    std::string email;
    const auto local = static_cast<std::size_t>((v + 2) & 0x3F);
    for (std::size_t i = 0; i < local; ++i) {
        email.push_back(RandomPrintable());
    }
    email.push_back('@');
    // The domain is 0, 1, 128 or 129 characters; it is held whole.
    const auto domain = static_cast<std::size_t>((v >> 8) & 0x81);
    for (std::size_t i = 0; i < domain; ++i) {
        email.push_back(RandomPrintable());
    }
    switch ((v >> 8) & 7) {
    case 1:
        email += ".net";
        break;
    case 2:
        email += ".edu";
        break;
    case 3:
    case 4:
        email += ".org";
        break;
    default:
        email += ".com";
        break;
    }
    return email;
}

std::uint64_t CKSTextFileGenerator::WriteCardNumber() {
    return WriteNarrowText(MakeCardNumber());
}

std::string CKSTextFileGenerator::MakeCardNumber() {
    const std::uint32_t v = RandomPair();
    return KSFormat(std::string_view("%04u %04u %04u %04u. "), (v & 0xFFFF) % 9999,
                    ((v >> 8) & 0xFFFF) % 9999, (v >> 16) & 9999, ((v >> 24) & 0xFFFF) % 9999);
}

std::uint64_t CKSTextFileGenerator::WriteDate() {
    const std::optional<std::string> date = MakeDate();
    return date ? WriteNarrowText(*date) : 0;
}

std::optional<std::string> CKSTextFileGenerator::MakeDate() const {
    // A file time between July 1943 and March 2057: the high word lies in 0x01800000..0x01FF7FFF.
    const std::uint64_t low = RandomPair();
    const std::uint32_t highTop = (KSRand() & 0x7F) | 0x180;
    const std::uint64_t high = (static_cast<std::uint64_t>(highTop) << 16) | KSRand();
    CalendarTime moment;
    if (!FileTimeToCalendar((high << 32) | low, moment)) {
        return std::nullopt;
    }
    if (m_dateFormat == EDateFormat::Iso) {
        return KSFormat(std::string_view("%04d-%02d-%02dT%02d:%02d:%02d"), moment.year, moment.month,
                        moment.day, moment.hour, moment.minute, moment.second);
    }
    return CLocaleDateFormat::System().Format(moment);
}

std::uint64_t CKSTextFileGenerator::WritePad() {
    const std::uint64_t left = LeftBeforeLimit();
    if (left == 0) {
        return 0;
    }
    if (left <= 4) {
        std::uint64_t counted = 0;
        while (GetPosition() < GetLimit()) {
            const std::string_view ending = NextLineEnding();
            if (WriteClamped(ending.data(), ending.size()) == 0) {
                break;
            }
            counted += ending.size();
        }
        return counted;
    }
    const std::uint64_t spaces = left < 36 ? left - 2 : 34;
    WriteNarrowText(std::string(static_cast<std::size_t>(spaces), ' '));
    const std::string_view ending = NextLineEnding();
    WriteClamped(ending.data(), ending.size());
    return spaces + ending.size();
}

std::uint64_t CKSTextFileGenerator::WriteParagraph() {
    if (!EnsureWordModel()) {
        throw CKSException(u"Could not find or initialize rovezezodav data. %s",
                           CKSString::FromUtf8(CKSRovezezodavInitializer::Instance().Problem()).View());
    }
    const CWordDataArray& words = CKSRovezezodavInitializer::Instance().Words();
    std::string sentence = "   ";
    std::uint64_t wanted = RandomInRange(1, kMaxSentences);
    const std::uint64_t left = LeftBeforeLimit();
    if (wanted * kBytesPerSentence > left) {
        wanted = left / kBytesPerSentence;
    }
    std::uint64_t counted = 0;
    if (wanted > 0) {
        int attempt = 0;
        for (; attempt < kSentenceAttempts && wanted > 0; ++attempt) {
            // The walk is bounded by the space left, so even a model that never reaches the end
            // marker gives a sentence that fits.
            const std::uint64_t room = LeftBeforeLimit();
            const std::size_t maxAppend =
                room > sentence.size() + 1 ? static_cast<std::size_t>(room - sentence.size() - 1) : 0;
            words.GenerateSentence(sentence, maxAppend);
            if (sentence.size() >= LeftBeforeLimit()) {
                sentence = "   ";
                continue;
            }
            for (char& c : sentence) {
                if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                    break;
                }
            }
            counted += WriteNarrowText(sentence);
            sentence.clear();
            --wanted;
        }
        if (wanted > 0) {
            return counted + WritePad();
        }
    }
    const std::string_view ending = NextLineEnding();
    WriteClamped(ending.data(), ending.size());
    return counted + ending.size();
}

std::uint64_t CKSTextFileGenerator::EndOfBlock(std::uint64_t, std::uint64_t) {
    Logger().DebugF("Text File Generator: %d bytes at end of block.  Target: %d/%d",
                    static_cast<std::int32_t>(GetPosition()), static_cast<std::int32_t>(GetTarget()),
                    static_cast<std::int32_t>(GetLimit()));
    if (m_encoding != ETextEncoding::Utf8) {
        // One word outside ASCII a line, so that the encoding shows in the file.
        const bool latin = m_encoding == ETextEncoding::Latin1;
        const std::uint64_t choices = kLatinWords.size() + (latin ? 0 : kWiderWords.size());
        const std::size_t pick = static_cast<std::size_t>(FileStream().Below(choices));
        const std::string_view word =
            pick < kLatinWords.size() ? kLatinWords[pick] : kWiderWords[pick - kLatinWords.size()];
        if (LeftBeforeLimit() > word.size() + 1) {
            WriteNarrowText(std::string(" ").append(word));
        }
    }
    const std::string_view ending = DamageLine(NextLineEnding());
    WriteClamped(ending.data(), ending.size());
    ++m_lineIndex;
    m_lineEnded = false;
    return 0;
}

void CKSTextFileGenerator::SelfTest(std::uint32_t count) {
    for (std::uint32_t i = 0; i < 3 * count; ++i) {
        KSRand();
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        CTextGenerator::Instance().PickRandomWord();
    }
    std::uint32_t trues = 0;
    std::uint32_t counters[255] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        trues += KSRand() & 1;
        ++counters[KSRand() % 255];
    }
    Logger().DebugF("Got true %f of the time", count == 0 ? 0.0 : static_cast<double>(trues) / count);
    for (int i = 0; i < 255; ++i) {
        Logger().DebugF("%d:  Occurred %d out of %d times", i, counters[i], count);
    }
}
