#pragma once
// The program's version, product and company names, taken from the build.

#include "support/KSString.h"

#include <array>
#include <cstdint>

class CVersionInfo {
public:
    CVersionInfo() = default;
    virtual ~CVersionInfo() = default;

    // Four 16-bit parts, most significant first.
    const std::array<std::uint16_t, 4>& GetFileVersion() const { return m_version; }
    // "%d.%d.%d.%d" of the file version.
    CKSString GetVersionText() const;
    const CKSString& GetProductName() const { return m_productName; }
    const CKSString& GetCompanyName() const { return m_companyName; }
    const CKSString& GetLegalNotice() const { return m_legalNotice; }

protected:
    std::array<std::uint16_t, 4> m_version{};
    CKSString m_productName;
    CKSString m_companyName;
    CKSString m_legalNotice;
};

// The version of the running program.
class CVersionInfoThis : public CVersionInfo {
public:
    CVersionInfoThis();
};
