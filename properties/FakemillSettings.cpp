#include "properties/FakemillSettings.h"

#include "properties/KSRegUtil.h"
#include "support/PosixFile.h"

namespace {

// Characters a path value may have, terminator included: the platform's limit in place of the
// old fixed 260, so a deep but valid folder still reads.
constexpr std::size_t kPathCapacity = kMaxPathBytes + 1;

} // namespace

CKeyPathMaker::CKeyPathMaker(std::u16string_view base, std::u16string_view product)
    : m_path(KSFormatCapped(base.size() + 13, u"%s\\%s", base, product)) {}

const CKeyPathMaker& CKeyPathMaker::Application() {
    static const CKeyPathMaker maker(kKestruneKeyPath, kProductWord);
    return maker;
}

bool CFakemillSettings::GetGeneratorPath(CKSString& path) const {
    const KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.ReadString(settings_value::kGeneratorPath, path, kPathCapacity);
}

bool CFakemillSettings::SetGeneratorPath(std::u16string_view path) const {
    KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.WriteString(settings_value::kGeneratorPath, path);
}

bool CFakemillSettings::GetGeneratorPrompt(std::uint32_t& prompt) const {
    const KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.ReadDword(settings_value::kGeneratorPrompt, prompt);
}

bool CFakemillSettings::SetGeneratorPrompt(std::uint32_t prompt) const {
    KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.WriteDword(settings_value::kGeneratorPrompt, prompt);
}

bool CFakemillSettings::ShouldPromptForDestination() const {
    std::uint32_t prompt = 0;
    return !GetGeneratorPrompt(prompt) || prompt == 0;
}

bool CFakemillSettings::SaveWindowState(const KSRect& screenRect) const {
    KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.WriteRect(settings_value::kWindowState, screenRect);
}

bool CFakemillSettings::SetCopyOptions(std::uint32_t options) const {
    KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.WriteDword(settings_value::kCopyOptions, options);
}

bool CFakemillSettings::SetHashType(std::uint32_t type) const {
    KSRegUtil key(CKeyPathMaker::Application().Get());
    return key.WriteDword(settings_value::kHashType, type);
}
