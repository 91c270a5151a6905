#pragma once
// Pictures of random shapes in random colours on a background, saved as BMP, JPEG, PNG or GIF.
// For each file: a random size, the background, a few filled rectangles, then random shapes
// until the drawn count reaches "Elements".

#include "engine/KSFileGenerator.h"
#include "engine/KSGeneratorPolicy.h"
#include "generators/KSGeneratedImage.h"

#include <cstdint>
#include <memory>
#include <optional>

class CKSImageFileGenerator : public CKSFileGenerator, public CRandomAccessPolicy {
public:
    // What the shape loop drew: a rectangle before the loop, or one of the seven choices.
    enum class EElement { Rectangle, Ellipse, Pie, Bezier, Quadrilateral, EdgeLine, Triangle, DiagonalLine };

    explicit CKSImageFileGenerator(CKSLogger* logger);

    void AddTypeProperties() override;
    // "Extension" when set, otherwise the extension of the image type.
    CKSString GetExtension() override;
    bool HasSize() const override { return false; }
    void SelfTest(std::uint32_t) override {}
    std::unique_ptr<CKSFileGenerator> CreateSibling(CKSLogger* logger) override;
    // Claims the name with an empty file; the save fills it.
    bool OpenOutput(const CKSString& path) override;
    void GenerateContent() override;
    // Saves the picture into the claimed file.
    void CloseOutput(const CKSString& path) override;
    // More while not stopped and fewer elements than wanted are drawn.
    bool More() override;
    // The classes of the image type's format.
    std::vector<std::string_view> OwnDamageClasses() const override;
    std::string DamageFormat() const override;

    // "jpg"/"jpeg" JPEG, "png" PNG, "gif" GIF, anything else BMP; exact and case-sensitive.
    static int ImageTypeOf(std::u16string_view text);
    static std::u16string_view ExtensionOf(int imageType);
    // The named colours, compared without case; none for any other name.
    static std::optional<KSColor> NamedColor(std::u16string_view name);

    const CKSGeneratedImage* GetImage() const { return m_image.get(); }
    std::uint32_t GetElementsDrawn() const { return m_elementsDrawn; }

protected:
    // Pictures are damaged as a whole, once encoded.
    bool DamagesOwnBytes() const override { return true; }
    // Called for every element drawn, in order; a seam for tests that count what was drawn.
    virtual void OnElementDrawn(EElement) {}

private:
    void Draw();
    void DrawShape(std::uint64_t choice);
    void DrawDiagonalLine(const KSRect& rect);
    static KSColor RandomColor();

    std::uint32_t m_elementsDrawn = 0;
    std::uint32_t m_elementsWanted = 0;
    std::unique_ptr<CKSGeneratedImage> m_image;
};
