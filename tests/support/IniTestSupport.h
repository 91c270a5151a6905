#pragma once
// Shared by the INI profile tests: a file in a fresh folder, written and read as raw bytes.

#include "support/IniProfile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

class IniFileTest : public ::testing::Test {
protected:
    CKSString Ini() const { return CKSString::FromUtf8(m_path); }
    const std::string& Path() const { return m_path; }
    // Rewrites the file in place and forgets what was parsed: an in-place rewrite of the same
    // size within one tick of a coarse file-system clock would look unchanged to the cache.
    void Put(std::string_view bytes) const {
        WriteFileBytes(m_path, bytes);
        CIniProfile::DropCache();
    }
    std::string Bytes() const { return ReadFileBytes(m_path); }

    std::u16string Get(std::u16string_view section, std::u16string_view key,
                       std::u16string_view fallback = u"<default>") const {
        return CIniProfile::GetString(Ini(), section, key, fallback).Str();
    }
    std::vector<std::u16string> Sections() const {
        std::vector<std::u16string> names;
        for (const CKSString& name : CIniProfile::GetSectionNames(Ini())) {
            names.push_back(name.Str());
        }
        return names;
    }
    bool Write(std::u16string_view section, std::u16string_view key, std::u16string_view value) const {
        std::u16string error;
        const bool ok = CIniProfile::WriteString(Ini(), section, key, value, &error);
        EXPECT_TRUE(ok) << Utf16ToUtf8(error);
        return ok;
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("test.ini");
};
