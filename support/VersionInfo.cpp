#include "support/VersionInfo.h"

#include "BuildVersion.h"

CKSString CVersionInfo::GetVersionText() const {
    return CKSString(KSFormat(std::u16string_view(u"%d.%d.%d.%d"), m_version[0], m_version[1], m_version[2],
                              m_version[3]));
}

CVersionInfoThis::CVersionInfoThis() {
    m_version = {FAKEMILL_VERSION_MAJOR, FAKEMILL_VERSION_MINOR, FAKEMILL_VERSION_PATCH,
                 FAKEMILL_VERSION_BUILD};
    m_productName = CKSString(u"Fakemill");
    m_companyName = CKSString(u"Kestrune");
    m_legalNotice = CKSString(u"Copyright (C) Kestrune");
}
