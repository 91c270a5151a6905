#include "generators/KSImageFileGenerator.h"

#include "generators/DamageCatalogue.h"
#include "generators/ImageEncoder.h"
#include "generators/PictureDamage.h"
#include "support/KSException.h"

#include <algorithm>
#include <limits>
#include <sys/stat.h>

namespace {

const CKSPropertyList& ImageProperties() {
    static const CKSPropertyList properties = [] {
        const CKSProperty imageType(u"ImageType", u"Type of image (jpg, png, gif, bmp)", u"bmp");
        const CKSProperty background(u"Background", u"Background color", u"");
        const CKSProperty width(u"Width", u"Width of image", CKSRange(20, 400));
        const CKSProperty height(u"Height", u"Height of image", CKSRange(20, 320));
        const CKSProperty elements(u"Elements", u"Number of elements to generate", CKSRange(1, 8));
        const CKSProperty* table[] = {&imageType, &background, &width, &height, &elements};
        return CKSPropertyList(table);
    }();
    return properties;
}

std::int32_t DrawDimension(const CKSRange& range) {
    const std::uint64_t drawn =
        RandomInRange(static_cast<std::uint64_t>(range.min), static_cast<std::uint64_t>(range.max));
    // Pictures are measured in 32-bit pixels; anything larger is held at that bound.
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(drawn, std::numeric_limits<std::int32_t>::max()));
}

bool Odd() {
    return (KSRand() & 1) != 0;
}

std::int32_t PenWidth(std::uint64_t widest) {
    return static_cast<std::int32_t>(RandomInRange(1, widest));
}

} // namespace

CKSImageFileGenerator::CKSImageFileGenerator(CKSLogger* logger) : CKSFileGenerator(logger) {}

void CKSImageFileGenerator::AddTypeProperties() {
    AppendProperties(ImageProperties());
}

int CKSImageFileGenerator::ImageTypeOf(std::u16string_view text) {
    if (text == u"jpg" || text == u"jpeg") {
        return kImageTypeJpeg;
    }
    if (text == u"png") {
        return kImageTypePng;
    }
    if (text == u"gif") {
        return kImageTypeGif;
    }
    return kImageTypeBmp;
}

std::u16string_view CKSImageFileGenerator::ExtensionOf(int imageType) {
    switch (imageType) {
    case kImageTypeJpeg:
        return u"jpg";
    case kImageTypePng:
        return u"png";
    case kImageTypeGif:
        return u"gif";
    default:
        return u"bmp";
    }
}

std::optional<KSColor> CKSImageFileGenerator::NamedColor(std::u16string_view name) {
    static constexpr std::pair<std::u16string_view, KSColor> kColors[] = {
        {u"white", 0xFFFFFF}, {u"black", 0x000000}, {u"red", 0x0000FF},
        {u"green", 0x00FF00}, {u"blue", 0xFF0000},  {u"grey", 0x808080},
    };
    CKSString folded(name);
    folded.Lower();
    for (const auto& [text, colour] : kColors) {
        if (folded.View() == text) {
            return colour;
        }
    }
    return std::nullopt;
}

KSColor CKSImageFileGenerator::RandomColor() {
    const std::uint32_t red = KSRand() & 0xFF;
    const std::uint32_t green = KSRand() & 0xFF;
    const std::uint32_t blue = KSRand() & 0xFF;
    return red | (green << 8) | (blue << 16);
}

CKSString CKSImageFileGenerator::GetExtension() {
    const CKSString extension = TextProperty(u"Extension");
    if (!extension.IsEmpty()) {
        return extension;
    }
    return CKSString(ExtensionOf(ImageTypeOf(TextProperty(u"ImageType"))));
}

std::unique_ptr<CKSFileGenerator> CKSImageFileGenerator::CreateSibling(CKSLogger* logger) {
    return std::make_unique<CKSImageFileGenerator>(logger);
}

bool CKSImageFileGenerator::OpenOutput(const CKSString& path) {
    // The name is claimed now, with an empty file, so that nobody can take it before the save.
    if (!CKSFileGenerator::OpenOutput(path)) {
        return false;
    }
    Close();
    m_elementsDrawn = 0;
    return true;
}

std::vector<std::string_view> CKSImageFileGenerator::OwnDamageClasses() const {
    return OwnDamageClassNames(DamageFormat());
}

std::string CKSImageFileGenerator::DamageFormat() const {
    return std::string(PictureFormat(ImageTypeOf(TextProperty(u"ImageType").View())));
}

bool CKSImageFileGenerator::More() {
    return m_elementsDrawn < m_elementsWanted && !StopRequested();
}

void CKSImageFileGenerator::GenerateContent() {
    const std::int32_t width = DrawDimension(RangeProperty(u"Width", CKSRange(20, 400)));
    const std::int32_t height = DrawDimension(RangeProperty(u"Height", CKSRange(20, 320)));
    m_image.reset();
    m_elementsWanted = 0;
    m_image = std::make_unique<CKSGeneratedImage>(GetLogger(), width, height);
    if (m_image->CreateSurface() == CKSGeneratedImage::ESurface::Drawing) {
        Draw();
    }
}

void CKSImageFileGenerator::Draw() {
    const std::int32_t width = m_image->GetWidth();
    const std::int32_t height = m_image->GetHeight();
    const CKSRange elements = RangeProperty(u"Elements", CKSRange(1, 8));
    const std::uint64_t wanted =
        RandomInRange(static_cast<std::uint64_t>(elements.min), static_cast<std::uint64_t>(elements.max));
    m_elementsWanted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(wanted, std::numeric_limits<std::uint32_t>::max()));

    const std::optional<KSColor> named = NamedColor(TextProperty(u"Background"));
    const KSColor background = named ? *named : RandomColor();
    m_image->FillRectangle(background, 0, 0, width + 1, height + 1);

    std::uint32_t rectangles = m_elementsWanted / 4;
    if (rectangles == 0 && m_elementsWanted > 1) {
        rectangles = Odd() ? 1 : 0;
    }
    for (std::uint32_t i = 0; i < rectangles; ++i) {
        const KSColor colour = RandomColor();
        KSRect rect;
        RandomRect(rect, width, height);
        m_image->FillRectangle(colour, rect.left, rect.top, rect.right, rect.bottom);
        ++m_elementsDrawn;
        OnElementDrawn(EElement::Rectangle);
    }
    while (More()) {
        DrawShape(RandomInRange(0, 6));
        ++m_elementsDrawn;
    }
}

void CKSImageFileGenerator::DrawDiagonalLine(const KSRect& rect) {
    const KSColor colour = RandomColor();
    const std::int32_t pen = PenWidth(7);
    if (Odd()) {
        m_image->DrawLine(colour, pen, rect.left, rect.top, rect.right, rect.bottom);
    } else {
        m_image->DrawLine(colour, pen, rect.right, rect.top, rect.left, rect.bottom);
    }
}

void CKSImageFileGenerator::DrawShape(std::uint64_t choice) {
    const std::int32_t width = m_image->GetWidth();
    const std::int32_t height = m_image->GetHeight();
    KSRect rect;
    switch (choice) {
    case 0: {
        const KSColor colour = RandomColor();
        RandomRect(rect, width, height);
        if (Odd()) {
            // A small filled ellipse: at most a twelfth of the picture each way.
            rect.right = std::min(rect.right, rect.left + width / 12);
            rect.bottom = std::min(rect.bottom, rect.top + height / 12);
            m_image->FillEllipse(colour, rect.left, rect.top, rect.right, rect.bottom);
        } else {
            m_image->DrawEllipse(colour, PenWidth(8), rect.left, rect.top, rect.right, rect.bottom);
        }
        OnElementDrawn(EElement::Ellipse);
        break;
    }
    case 1: {
        const KSColor colour = RandomColor();
        RandomRect(rect, width, height);
        ShrinkRect(rect, width, height, 8);
        KSPoint first;
        KSPoint second;
        RandomEdgePoint(rect, first);
        RandomEdgePoint(rect, second);
        m_image->DrawPie(colour, rect.left, rect.top, rect.right, rect.bottom, first, second);
        OnElementDrawn(EElement::Pie);
        break;
    }
    case 2: {
        const KSColor colour = RandomColor();
        const std::int32_t pen = PenWidth(7);
        KSRect r;
        KSRect s;
        RandomRect(r, width, height);
        RandomRect(s, width, height);
        // The third point's y is the second rectangle's right edge, as the shape was designed.
        const KSPoint points[4] = {{r.right, r.top}, {s.right, s.top}, {s.left, s.right}, {r.left, r.bottom}};
        m_image->DrawBezier(colour, pen, points);
        OnElementDrawn(EElement::Bezier);
        break;
    }
    case 3: {
        const KSColor colour = RandomColor();
        const std::int32_t pen = PenWidth(7);
        RandomRect(rect, width, height);
        ShrinkRect(rect, width, height, 9);
        KSPoint points[4];
        RandomPointBetween({rect.left, rect.bottom}, {rect.right, rect.bottom}, points[0]);
        RandomPointBetween({rect.left, rect.top}, {rect.left, rect.bottom}, points[1]);
        RandomPointBetween({rect.right, rect.top}, {rect.left, rect.top}, points[2]);
        RandomPointBetween({rect.right, rect.top}, {rect.right, rect.bottom}, points[3]);
        m_image->DrawQuadrilateral(colour, pen, points, Odd());
        OnElementDrawn(EElement::Quadrilateral);
        break;
    }
    case 4: {
        RandomRect(rect, width, height);
        switch (RandomInRange(0, 3)) {
        case 0:
            rect.top = height;
            break;
        case 1:
            rect.left = 0;
            break;
        case 2:
            rect.right = width;
            break;
        default:
            rect.bottom = 0;
            break;
        }
        DrawDiagonalLine(rect);
        OnElementDrawn(EElement::EdgeLine);
        break;
    }
    case 5: {
        const KSColor colour = RandomColor();
        const std::int32_t pen = PenWidth(7);
        RandomRect(rect, width, height);
        ShrinkRect(rect, width, height, 9);
        KSPoint points[3];
        for (KSPoint& point : points) {
            RandomEdgePoint(rect, point);
        }
        m_image->DrawTriangle(colour, pen, points, Odd());
        OnElementDrawn(EElement::Triangle);
        break;
    }
    default:
        RandomRect(rect, width, height);
        DrawDiagonalLine(rect);
        OnElementDrawn(EElement::DiagonalLine);
        break;
    }
}

void CKSImageFileGenerator::CloseOutput(const CKSString& path) {
    if (!m_image) {
        return;
    }
    const int imageType = ImageTypeOf(TextProperty(u"ImageType"));
    std::uint32_t failure = 0;
    CImageEncoder::Transform damage;
    if (!FileDamageClass().empty()) {
        damage = [this, imageType](std::string& bytes) {
            DamagePicture(bytes, imageType, DamageStream(), FileDamageRecord());
        };
    }
    const std::uint32_t saved = m_image->Save(CKSPathName(path), imageType, &failure, GetWriteTap(), damage);
    if (saved == kImageSaveOutOfMemory) {
        Logger().InfoF("Not enough memory to create or save image file");
    }
    // A picture that could not be written whole is not left behind looking like one: the run
    // removes the file. A write the system refused (a full disk) ends the run as it does for the
    // other kinds; a shortage of memory or another encoder failure skips this file only.
    if (failure != 0 && saved != kImageSaveOutOfMemory && failure < 0x10000) {
        throw CKSFatalException("Failed to write to file: %u", failure);
    }
    if (failure != 0) {
        throw CKSException("Failed to save image file (0x%X)", failure);
    }
    struct stat info {};
    CountFile(::stat(path.ToUtf8().c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0);
}
