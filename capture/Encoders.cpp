#include "capture/Encoders.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <string_view>

#include "capture/ImageWriters.h"

namespace {

// JPEG and TIFF through Qt's writers, from the picture's own 24 bits.
bool EncodeWithQt(const RgbImage& image, const char* format, int quality, std::string& bytes,
                  std::string& error) {
    const QImage view(reinterpret_cast<const uchar*>(image.Pixels().data()), image.width,
                      image.height, image.width * 4, QImage::Format_RGB32);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    // TIFF would keep the unused fourth byte as a channel; JPEG takes the words as they are.
    if (!writer.write(std::string_view(format) == "tiff"
                          ? view.convertToFormat(QImage::Format_RGB888)
                          : view)) {
        error = "cannot encode " + std::string(format) + ": " + writer.errorString().toStdString();
        return false;
    }
    bytes.assign(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size()));
    return true;
}

}  // namespace

bool EncodeImage(const RgbImage& image, const OutputPlan& plan, std::string& bytes,
                 std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "nothing was grabbed";
        return false;
    }
    switch (plan.format) {
        case ImageFormat::Bmp:
            bytes = EncodeBmp(image, plan.bits);
            return true;
        case ImageFormat::Pcx:
            bytes = EncodePcx(image, plan.bits);
            return true;
        case ImageFormat::Tga:
            bytes = EncodeTga(image, plan.bits);
            return true;
        case ImageFormat::Jpg:
            return EncodeWithQt(image, "jpeg", plan.quality, bytes, error);
        case ImageFormat::Tif:
            return EncodeWithQt(image, "tiff", -1, bytes, error);
    }
    return false;
}
