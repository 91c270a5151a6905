#pragma once
// Properties of the definition syntax that must hold for any text: reading never fails, and
// whatever a value reads as is written so that it reads back the same. Shared by the fuzz target
// and the seeded random test of the ordinary suite. Answers what went wrong, or nothing.

#include "properties/KSProperty.h"

#include <string>
#include <string_view>

inline std::string CheckPropertySyntax(std::u16string_view text) {
    const std::int64_t number = CIntString::Parse(text);
    if (CIntString::Parse(CIntString::Format(number)) != number) {
        return "number " + std::to_string(number) + " does not read back";
    }
    // A leading minus is taken as the range separator, so negative minimums cannot be written.
    const CKSRange range = CKSRange::Parse(text);
    if (range.min >= 0 && !(CKSRange::Parse(range.Format()) == range)) {
        return "range does not read back: " + range.Format().ToUtf8();
    }
    // What a range reads as is written with units the syntax takes back without refusing, and a
    // text it refuses never counts as read as typed.
    CKSProperty size(u"Size", u"", CKSRange(0, 0));
    size.ParseValue(text);
    if (size.GetRefusal() && size.ReadsAsTyped(text)) {
        return "a refused text reads as typed";
    }
    CKSProperty formatted(u"Size", u"", CKSRange(0, 0));
    formatted.ParseValue(range.Format().View());
    if (range.min >= 0 && formatted.GetRefusal()) {
        return "a written range is refused: " + range.Format().ToUtf8();
    }
    const CKSLimit limit = CKSLimit::Parse(text);
    if ((limit.flag != 0 && limit.flag != 1) ||
        (limit.value >= 0 && !(CKSLimit::Parse(limit.Format()) == limit))) {
        return "limit does not read back: " + limit.Format().ToUtf8();
    }
    CKSListProperty list(u"List", u"");
    list.ParseList(text);
    CKSString written;
    list.FormatList(written);
    CKSListProperty reread(u"List", u"");
    reread.ParseList(written);
    if (reread.GetCount() != list.GetCount()) {
        return "list of " + std::to_string(list.GetCount()) + " items does not read back";
    }
    for (std::size_t i = 0; i < list.GetCount(); ++i) {
        if (reread.GetAt(i) != list.GetAt(i)) {
            return "list item " + std::to_string(i) + " does not read back";
        }
    }
    CKSProperty flag(u"Flag", u"", std::int64_t{0});
    flag.SetBoolValue(false);
    flag.ParseValue(text);
    if (flag.Describe(CKSProperty::kDescribeCapacity).Length() >= CKSProperty::kDescribeCapacity) {
        return "description passes its capacity";
    }
    return {};
}
