#include "tools/HashKinds.h"

#include "support/PosixFile.h"

std::size_t CopyPathBound() {
    return kMaxPathBytes;
}

std::u16string FormatCopyLine(std::u16string_view path, std::u16string_view hash, std::uint32_t options,
                              char16_t separator) {
    std::u16string first;
    if ((options & kCopyPathAndHash) != 0) {
        first.assign(path.substr(0, CopyPathBound()));
        first.push_back(separator);
    }
    const std::u16string_view prefix = (options & kCopyPrefix0x) != 0 ? u"0x" : u"";
    CKSString value(hash.substr(0, kCopyHashBound));
    if ((options & kCopyLowerCase) != 0) {
        value.Lower();
    }
    return KSFormat(std::u16string_view(u"%s%s%s\n"), first, prefix, value);
}
