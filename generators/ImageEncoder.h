#pragma once
// Writes a finished picture into an already open file in one of four container formats: BMP, PNG
// and JPEG through Qt's image writers, GIF through giflib with a palette we build ourselves.
//
// An encoder is made on the stack for one save. It never creates or names files: the caller
// opens the output and hands the descriptor over, so the file keeps the name, owner and mode it
// was claimed with.

#include "support/KSLogger.h"
#include "support/PosixFile.h"

#include <cstdint>
#include <functional>
#include <string>

class IWriteTap;
class QImage;

// Image types as definitions name them ("ImageType" text is mapped to these by the generator).
enum EImageType : int {
    kImageTypeBmp = 1,
    kImageTypeJpeg = 2,
    kImageTypePng = 3,
    kImageTypeGif = 4,
};

// Results of saving a picture.
inline constexpr std::uint32_t kImageSaveDone = 0;             // also when the encoder failed otherwise
inline constexpr std::uint32_t kImageSaveOutOfMemory = 0xF001; // memory ran short while encoding
inline constexpr std::uint32_t kImageSaveNoBitmap = 0xF002;    // no picture, or the file could not be opened

class CImageEncoder : public CKSIsLogging {
public:
    enum EEncoderKind : int {
        kNoEncoder = 0,
        kPngEncoder = 1,
        kGifEncoder = 2,
        kJpegEncoder = 3,
        kBmpEncoder = 4,
    };

    // Failure codes reported in the detailed log. Small values are the errno of a write the
    // system refused; the others name the library that gave up, with its own error number in
    // the low 16 bits (QImageWriter::ImageWriterError, giflib's E_GIF_ERR_* values).
    static constexpr std::uint32_t kFailureQtWriter = 0xE0010000;
    static constexpr std::uint32_t kFailureGiflib = 0xE0020000;
    // The picture is larger than the container format can describe.
    static constexpr std::uint32_t kFailureTooLarge = 0xE0030000;

    // JPEG quality (0-100) of every JPEG we write.
    static constexpr int kJpegQuality = 90;
    // PNG "quality" as Qt's writer takes it: 80 asks zlib for its fastest level. Test pictures
    // need no maximum compression; the files stay valid PNG and about twice as large (a few KB).
    // -1 leaves Qt's own default.
    static constexpr int kPngQuality = 80;

    // PNG 3, GIF 4, JPEG 2 and BMP 1 map to their encoders; anything else to none.
    static EEncoderKind KindForImageType(int imageType);

    explicit CImageEncoder(CKSLogger* logger = nullptr) : CKSIsLogging(logger) {}

    // Drops any encoder chosen before and chooses the one for the kind; answers whether an
    // encoder exists afterwards.
    bool ChooseEncoder(int kind);
    bool HasEncoder() const { return m_kind != kNoEncoder; }
    EEncoderKind GetKind() const { return m_kind; }

    // The file the picture goes to, open for writing at its start. The encoder owns it from now on.
    void SetOutput(CUniqueFd output) { m_output = std::move(output); }
    // Told of every byte that reaches the output (not owned; null for none).
    void SetWriteTap(IWriteTap* tap) { m_tap = tap; }
    void SetPngQuality(int quality) { m_pngQuality = quality; }
    // Changes the encoded file as a whole before any of it is written (damage done on purpose).
    using Transform = std::function<void(std::string& bytes)>;
    void SetTransform(Transform transform) { m_transform = std::move(transform); }

    // Writes one picture into the output and closes it. Fails without a picture, an output or an
    // encoder. A failure while encoding is logged at the detailed level with its code; a shortage
    // of memory also sets the out-of-memory flag.
    bool WriteBitmap(const QImage& bitmap);

    bool IsOutOfMemory() const { return m_outOfMemory; }
    std::uint32_t GetLastFailure() const { return m_lastFailure; }

private:
    bool Encode(const QImage& bitmap);
    bool EncodeWithQt(const QImage& bitmap);
    bool EncodeGif(const QImage& bitmap);
    void RecordFailure(std::uint32_t code);

    EEncoderKind m_kind = kNoEncoder;
    CUniqueFd m_output;
    IWriteTap* m_tap = nullptr;
    Transform m_transform;
    int m_pngQuality = kPngQuality;
    bool m_outOfMemory = false;
    std::uint32_t m_lastFailure = 0;
};
