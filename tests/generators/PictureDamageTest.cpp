// Pictures damaged on purpose: each class breaks what it names and nothing else, the record
// gives back the undamaged picture, and the damage follows the seed.

#include "generators/PictureDamage.h"
#include "engine/KSBatchManifest.h"
#include "generators/DamageCatalogue.h"
#include "support/Crc32.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

namespace {

using CPicture = GeneratorFixture::Recorded;

// One seeded picture of the type, with the damage (none when empty), and its record.
CPicture MakePicture(std::u16string_view imageType, std::u16string_view damage, std::uint32_t seed) {
    GeneratorFixture fixture;
    return fixture.MakeRecorded(
        u"img",
        {{u"ImageType", imageType}, {u"Width", u"16,120"}, {u"Height", u"16,90"}, {u"Damage", damage}}, seed);
}

// The bytes before the damage, from the damaged ones and the record (cuts of more than the
// short bytes a record keeps cannot be undone).
std::string Undo(std::string bytes, const std::vector<CByteChange>& changes) {
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
        if (change->written.empty() && change->offset == bytes.size()) {
            bytes += change->original;
        } else {
            bytes.replace(change->offset, change->written.size(), change->original);
        }
    }
    return bytes;
}

std::uint32_t Big32(const std::string& bytes, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8) |
           std::uint32_t{static_cast<unsigned char>(bytes[at + 3])};
}

std::uint32_t Little32(const std::string& bytes, std::size_t at) {
    return std::uint32_t{static_cast<unsigned char>(bytes[at])} |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 8) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 3])} << 24);
}

// Whether some chunk of the PNG has a CRC that does not match, or a length past the file's end.
bool PngHasBadCrc(const std::string& png) {
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = Big32(png, at);
        if (length > png.size() - at - 12) {
            return false;
        }
        if (UpdateCrc32(0, png.data() + at + 4, length + 4) != Big32(png, at + 8 + length)) {
            return true;
        }
        at += 12 + length;
    }
    return false;
}

bool PngHasLengthPastEnd(const std::string& png) {
    for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + Big32(png, at)) {
        if (Big32(png, at) > png.size() - at - 12) {
            return true;
        }
    }
    return false;
}

// The reserved marker codes no decoder knows, among the segments before the scan.
bool JpegHasReservedMarker(const std::string& jpeg) {
    for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == '\xFF';) {
        const auto code = static_cast<unsigned char>(jpeg[at + 1]);
        if (code >= 0x02 && code <= 0xBF) {
            return true;
        }
        if (code == 0xDA) {
            break;
        }
        at += 2 + (static_cast<unsigned char>(jpeg[at + 2]) << 8) + static_cast<unsigned char>(jpeg[at + 3]);
    }
    return false;
}

} // namespace

TEST(PictureDamage, EachClassBreaksWhatItNamesAndTheRecordGivesBackThePicture) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const CPicture png = MakePicture(u"png", u"", seed);
        const CPicture jpeg = MakePicture(u"jpg", u"", seed);
        const CPicture gif = MakePicture(u"gif", u"", seed);
        const CPicture bmp = MakePicture(u"bmp", u"", seed);
        ASSERT_FALSE(png.damage || jpeg.damage || gif.damage || bmp.damage);
        EXPECT_TRUE(GifDecodesWhole(gif.bytes));

        const auto damaged = [seed](std::u16string_view type, std::u16string_view name,
                                    const CPicture& clean) {
            CPicture picture = MakePicture(type, name, seed);
            EXPECT_TRUE(picture.damage.has_value());
            if (picture.damage) {
                EXPECT_EQ(picture.damage->damageClass, Utf16ToUtf8(name));
                EXPECT_FALSE(picture.damage->changes.empty()) << Utf16ToUtf8(name);
                EXPECT_NE(picture.damage->outcome, EReaderOutcome::Unknown) << Utf16ToUtf8(name);
                EXPECT_NE(picture.bytes, clean.bytes) << Utf16ToUtf8(name);
            }
            return picture;
        };

        CPicture p = damaged(u"png", u"crc", png);
        EXPECT_TRUE(PngHasBadCrc(p.bytes));
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), png.bytes);
        p = damaged(u"png", u"length", png);
        EXPECT_TRUE(PngHasLengthPastEnd(p.bytes));
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), png.bytes);
        p = damaged(u"png", u"dimensions", png);
        const std::uint32_t width = Big32(p.bytes, 16);
        const std::uint32_t height = Big32(p.bytes, 20);
        EXPECT_TRUE(width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF);
        EXPECT_FALSE(PngHasBadCrc(p.bytes)); // a writer bug writes the CRC of what it wrote
        p = damaged(u"png", u"no-iend", png);
        EXPECT_EQ(p.bytes, png.bytes.substr(0, png.bytes.size() - 12));
        p = damaged(u"png", u"bad-signature", png);
        EXPECT_NE(p.bytes.substr(0, 8), png.bytes.substr(0, 8));
        EXPECT_EQ(p.bytes.substr(8), png.bytes.substr(8));

        p = damaged(u"jpg", u"no-eoi", jpeg);
        EXPECT_EQ(p.bytes, jpeg.bytes.substr(0, jpeg.bytes.size() - 2));
        p = damaged(u"jpg", u"scan-cut", jpeg);
        EXPECT_LT(p.bytes.size(), jpeg.bytes.size() - 2);
        EXPECT_EQ(p.bytes, jpeg.bytes.substr(0, p.bytes.size()));
        p = damaged(u"jpg", u"bad-marker", jpeg);
        EXPECT_TRUE(JpegHasReservedMarker(p.bytes));
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), jpeg.bytes);
        p = damaged(u"jpg", u"dimensions", jpeg);
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), jpeg.bytes);
        // Flips in a JPEG are steered onto bytes a decoder meets as a marker.
        p = damaged(u"jpg", u"flip", jpeg);
        for (const CByteChange& change : p.damage->changes) {
            const bool makesMarker = change.written == "\xFF" || change.original == std::string(1, '\0') ||
                                     change.offset >= p.bytes.size() - 2;
            EXPECT_TRUE(makesMarker) << change.offset;
        }

        p = damaged(u"gif", u"dimensions", gif);
        EXPECT_EQ(p.bytes.substr(6, 4), "\xFF\xFF\xFF\xFF");
        EXPECT_TRUE(GifDecodesWhole(p.bytes)); // readers show the picture on a huge screen
        p = damaged(u"gif", u"no-trailer", gif);
        EXPECT_EQ(p.bytes, gif.bytes.substr(0, gif.bytes.size() - 1));
        EXPECT_FALSE(GifDecodesWhole(p.bytes));
        p = damaged(u"gif", u"lzw", gif);
        EXPECT_FALSE(GifDecodesWhole(p.bytes));
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), gif.bytes);

        p = damaged(u"bmp", u"size", bmp);
        EXPECT_NE(Little32(p.bytes, 2), p.bytes.size());
        EXPECT_EQ(p.damage->outcome,
                  Little32(p.bytes, 2) > p.bytes.size() ? EReaderOutcome::Fails : EReaderOutcome::Warns);
        p = damaged(u"bmp", u"offset", bmp);
        EXPECT_GT(Little32(p.bytes, 10), p.bytes.size());
        p = damaged(u"bmp", u"dimensions", bmp);
        EXPECT_EQ(Undo(p.bytes, p.damage->changes), bmp.bytes);
        // Pixel bytes of a BMP can change unseen: the record says a reader decodes them.
        p = damaged(u"bmp", u"flip", bmp);
        EXPECT_EQ(p.damage->outcome, EReaderOutcome::Decodes);
        EXPECT_GE(p.damage->changes.front().offset, Little32(bmp.bytes, 10));
    }
}

TEST(PictureDamage, TheSeedGivesTheSameDamageAndOnlyTheSharedOneIsDamaged) {
    const CPicture first = MakePicture(u"png", u"crc, flip, TRUNCATE", 11);
    const CPicture again = MakePicture(u"png", u"crc, flip, TRUNCATE", 11);
    ASSERT_TRUE(first.damage && again.damage);
    EXPECT_EQ(first.bytes, again.bytes);
    EXPECT_EQ(first.damage->changes.size(), again.damage->changes.size());
    EXPECT_EQ(first.damage->changes.front().offset, again.damage->changes.front().offset);

    // DamageShare 0 damages nothing; the picture is the undamaged one, byte for byte.
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"img");
    GeneratorFixture::Set(*generator, u"ImageType", u"gif");
    GeneratorFixture::Set(*generator, u"Damage", u"lzw");
    GeneratorFixture::Set(*generator, u"DamageShare", u"0");
    GeneratorFixture::Set(*generator, u"Files", u"5");
    CKSBatchManifest manifest(CKSString::FromUtf8(fixture.Dir().Path().string()), CManifestRun{});
    generator->SetManifest(&manifest, CKSString(u"share"));
    generator->SetSeed(4);
    generator->Run();
    ASSERT_EQ(manifest.Files().size(), 5u);
    for (const CManifestFile& file : manifest.Files()) {
        EXPECT_FALSE(file.damage) << file.path;
        EXPECT_TRUE(GifDecodesWhole(fixture.Read(file.path)));
    }

    // A class the format does not have is refused before anything is made, naming the known ones.
    auto refused = fixture.Make(u"img");
    GeneratorFixture::Set(*refused, u"ImageType", u"bmp");
    GeneratorFixture::Set(*refused, u"Damage", u"crc");
    refused->Run();
    EXPECT_TRUE(fixture.Output().Contains(
        "Damage=crc: 'crc' is not a damage class of these files; known: truncate, flip, zero, empty, size, "
        "offset, dimensions"))
        << fixture.Output().All();
}
