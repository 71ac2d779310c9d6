// The BMP, PCX and TGA writers: exact bytes for small pictures, and every
// depth decoded by an independent reader (ImageMagick) to the expected size
// and colours.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include <gtest/gtest.h>

#include "capture/Encoders.h"
#include "capture/ImageWriters.h"
#include "capture/Quantizer.h"
#include "model/ActionCodes.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

RgbImage Picture(int w, int h, std::initializer_list<std::uint32_t> pixels) {
    RgbImage image(w, h);
    image.pixels.assign(pixels);
    return image;
}

const std::string kZeros54(54, '\0');
const std::string kTgaFooter = Bytes({0, 0, 0, 0, 0, 0, 0, 0}) + "TRUEVISION-XFILE." + Bytes({0});

TEST(ImageWriters, BmpBytesAtEachKindOfDepth) {
    const RgbImage square = Picture(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    EXPECT_EQ(EncodeBmp(square, 24),
              Bytes({'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                     0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,
                     0, 0, 0, 0, 0, 0, 0, 0,
                     // bottom row first, blue green red, rows padded to four bytes
                     0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}));

    const RgbImage pair = Picture(2, 1, {0xFF0000, 0x00FF00});
    EXPECT_EQ(EncodeBmp(pair, 16),
              Bytes({'B',  'M',  70,   0,   0,    0,    0, 0, 0, 0,  66, 0, 0, 0, 40, 0, 0, 0,    2,
                     0,    0,    0,    1,   0,    0,    0, 1, 0, 16, 0,  3, 0, 0, 0,  4, 0, 0,    0,
                     0x13, 0x0B, 0,    0,   0x13, 0x0B, 0, 0, 0, 0,  0,  0, 0, 0, 0,  0, 0, 0xF8, 0,
                     0,    0xE0, 0x07, 0,   0,    0x1F, 0, 0, 0,  // 5-6-5 masks
                     0x00, 0xF8, 0xE0, 0x07}));
    EXPECT_EQ(EncodeBmp(pair, 15),
              Bytes({'B', 'M', 58, 0, 0, 0, 0, 0, 0,    0,    54,   0,    0,    0,    40,
                     0,   0,   0,  2, 0, 0, 0, 1, 0,    0,    0,    1,    0,    16,   0,
                     0,   0,   0,  0, 4, 0, 0, 0, 0x13, 0x0B, 0,    0,    0x13, 0x0B, 0,
                     0,   0,   0,  0, 0, 0, 0, 0, 0,    0x00, 0x7C, 0xE0, 0x03}));

    EXPECT_EQ(
        EncodeBmp(pair, 32),
        Bytes({'B',  'M',  62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0, 40,   0, 0, 0,    2,    0, 0,
               0,    1,    0,  0, 0, 1, 0, 32, 0, 0, 0,  0, 0, 8, 0,    0, 0, 0x13, 0x0B, 0, 0,
               0x13, 0x0B, 0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 0, 0, 0xFF, 0, 0, 0xFF, 0,    0}));
    // Eight bits: the picture's colours sorted, the rest of the 256 black.
    std::string palette8 = Bytes({0, 0xFF, 0, 0, 0, 0, 0xFF, 0}) + std::string(254 * 4, '\0');
    EXPECT_EQ(EncodeBmp(pair, 8),
              Bytes({'B', 'M', 0x3A, 0x04, 0, 0, 0,    0,    0, 0, 0x36, 0x04, 0, 0, 40, 0, 0, 0,
                     2,   0,   0,    0,    1, 0, 0,    0,    1, 0, 8,    0,    0, 0, 0,  0, 4, 0,
                     0,   0,   0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0,    1,    0, 0, 0,  0, 0, 0}) +
                  palette8 + Bytes({1, 0, 0, 0}));
    // Four bits: two pixels a byte, high nibble first.
    std::string palette4 =
        Bytes({0, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0}) + std::string(13 * 4, '\0');
    EXPECT_EQ(EncodeBmp(Picture(3, 1, {0x000000, 0xFFFFFF, 0xFF0000}), 4),
              Bytes({'B', 'M', 122,  0,    0, 0, 0,    0,    0, 0, 118, 0, 0, 0, 40, 0, 0, 0,
                     3,   0,   0,    0,    1, 0, 0,    0,    1, 0, 4,   0, 0, 0, 0,  0, 4, 0,
                     0,   0,   0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 16,  0, 0, 0, 0,  0, 0, 0}) +
                  palette4 + Bytes({0x02, 0x10, 0, 0}));

    const RgbImage dots = Picture(3, 1, {0x000000, 0xFFFFFF, 0x000000});
    EXPECT_EQ(EncodeBmp(dots, 1),
              Bytes({'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 1, 0,
                     0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,
                     2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0,  // the picture's own
                                                                               // two colours
                     0x40, 0, 0, 0}));
}

TEST(ImageWriters, PcxBytesWithRunsPlanesAndPalettes) {
    std::string header8 = Bytes({10, 5, 1, 8, 0, 0, 0, 0, 2, 0, 0, 0, 72, 0, 72, 0}) +
                          std::string(48, '\0') + Bytes({0, 1, 4, 0, 1, 0, 0, 0, 0, 0}) + kZeros54;
    std::string palette = Bytes({12, 0, 0, 0, 0xFF, 0xFF, 0xFF}) + std::string(254 * 3, '\0');
    // A run of two, then single bytes; the line is padded to an even length.
    EXPECT_EQ(EncodePcx(Picture(3, 1, {0, 0, 0xFFFFFF}), 8),
              header8 + Bytes({0xC2, 0, 1, 0}) + palette);

    // Runs stop at 63; an index of 0xC0 or more always goes as a run.
    RgbImage wide(70, 1, 0);
    const std::string wideOut = EncodePcx(wide, 8);
    EXPECT_EQ(wideOut.substr(128, 4), Bytes({0xFF, 0, 0xC7, 0}));
    RgbImage many(200, 1);
    for (int x = 0; x < 200; ++x) many.pixels[x] = static_cast<std::uint32_t>(x);
    const std::string manyOut = EncodePcx(many, 8);
    EXPECT_EQ(manyOut.substr(128 + 0xBF, 3), Bytes({0xBF, 0xC1, 0xC0}));

    // One bit is black and white whatever the colours: the darker goes black.
    const std::string out1 = EncodePcx(Picture(3, 1, {0x000040, 0xFFFF00, 0x000040}), 1);
    EXPECT_EQ(out1.substr(0, 4), Bytes({10, 5, 1, 1}));
    EXPECT_EQ(out1.substr(16, 6), Bytes({0, 0, 0, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(out1.substr(64, 4), Bytes({0, 1, 2, 0}));
    EXPECT_EQ(out1.substr(128), Bytes({0x40, 0}));

    // Four bits as four planes of one bit, the palette in the header.
    const std::string out4 = EncodePcx(Picture(3, 1, {0x000000, 0x0000FF, 0xFF0000}), 4);
    EXPECT_EQ(out4.substr(0, 4), Bytes({10, 5, 1, 1}));
    EXPECT_EQ(out4.substr(16, 9), Bytes({0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(out4.substr(64, 4), Bytes({0, 4, 2, 0}));
    EXPECT_EQ(out4.substr(128), Bytes({0x40, 0, 0x20, 0, 0xC2, 0, 0xC2, 0}));
}

TEST(ImageWriters, TgaBytesTrueColourAndColourMapped) {
    const RgbImage pair = Picture(2, 1, {0xFF0000, 0x00FF00});
    EXPECT_EQ(EncodeTga(pair, 24), Bytes({0, 0, 2, 0, 0,  0,    0, 0, 0,    0, 0,    0,
                                          2, 0, 1, 0, 24, 0x20, 0, 0, 0xFF, 0, 0xFF, 0}) +
                                       kTgaFooter);
    EXPECT_EQ(EncodeTga(pair, 8),
              Bytes({0, 1,    1, 0, 0, 2,    0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20,  //
                     0, 0xFF, 0, 0, 0, 0xFF,                                          // green, red
                     1, 0}) +
                  kTgaFooter);
}

TEST(Quantizer, KeepsFewColoursExactlyAndApproachesMany) {
    RgbImage few(16, 16);
    for (int i = 0; i < 256; ++i) few.pixels[i] = static_cast<std::uint32_t>(i % 16) * 0x0F0F0F;
    const IndexedImage exact = Quantize(few, 16);
    ASSERT_EQ(exact.palette.size(), 16u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(exact.palette[exact.indexes[i]], few.pixels[i]);

    // A smooth gradient of 65536 colours in 256: the median cut stays close.
    RgbImage gradient(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) gradient.At(x, y) = Rgb(x, y, (x + y) / 2);
    const IndexedImage reduced = Quantize(gradient, 256);
    ASSERT_LE(reduced.palette.size(), 256u);
    double error = 0;
    for (std::size_t i = 0; i < gradient.pixels.size(); ++i) {
        const std::uint32_t a = gradient.pixels[i], b = reduced.palette[reduced.indexes[i]];
        error +=
            std::abs(Red(a) - Red(b)) + std::abs(Green(a) - Green(b)) + std::abs(Blue(a) - Blue(b));
    }
    EXPECT_LT(error / (3.0 * gradient.pixels.size()), 5.0);
}

// What an independent reader finds in a file: "width height" and 8-bit RGB
// pixels. ImageMagick 6 reads one-bit PCX files inverted (netpbm, Pillow
// and GIMP agree that a clear bit is black), so netpbm reads those.
bool Decode(const std::string& path, std::string& size, std::string& rgb) {
    if (path.size() > 5 && path.substr(path.size() - 5) == "1.pcx") {
        std::string ppm;
        if (testsupport::RunForOutput("pcxtoppm", {path}, ppm) != 0) return false;
        std::istringstream in(ppm);
        std::string magic;
        int width = 0, height = 0, maximum = 0;
        in >> magic >> width >> height >> maximum;
        in.get();
        size = std::to_string(width) + " " + std::to_string(height);
        rgb = ppm.substr(static_cast<std::size_t>(in.tellg()));
        return magic == "P6" && maximum == 255;
    }
    if (testsupport::RunForOutput("identify", {"-format", "%w %h", path}, size) != 0) return false;
    return testsupport::RunForOutput("convert", {path, "-depth", "8", "rgb:-"}, rgb) == 0;
}

// Colours a depth keeps exactly, however a reader widens them again.
RgbImage Sample(int colours) {
    RgbImage image(13, 5);  // odd widths exercise the row padding
    const int levels[] = {0x00, 0xFF, 0x84, 0x42};
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const int n = static_cast<int>(i % static_cast<std::size_t>(colours));
        // Two colours are black and white, which one bit always means.
        image.pixels[i] = colours == 2
                              ? (n ? 0xFFFFFF : 0)
                              : Rgb(levels[n % 4], levels[(n / 4) % 4], levels[(n / 16) % 4]);
    }
    return image;
}

TEST(ImageWriters, AnIndependentReaderDecodesEveryFormatAndDepth) {
    testsupport::TempDir dir;
    struct Case {
        ImageFormat format;
        int bits;
        int colours;
        int tolerance;
    };
    const Case cases[] = {
        {ImageFormat::Bmp, 1, 2, 0},   {ImageFormat::Bmp, 4, 16, 0},  {ImageFormat::Bmp, 8, 64, 0},
        {ImageFormat::Bmp, 15, 64, 8}, {ImageFormat::Bmp, 16, 64, 8}, {ImageFormat::Bmp, 24, 64, 0},
        {ImageFormat::Bmp, 32, 64, 0}, {ImageFormat::Pcx, 1, 2, 0},   {ImageFormat::Pcx, 4, 16, 0},
        {ImageFormat::Pcx, 8, 64, 0},  {ImageFormat::Tga, 8, 64, 0},  {ImageFormat::Tga, 24, 64, 0},
        {ImageFormat::Tif, 24, 64, 0}, {ImageFormat::Jpg, 24, 1, 4},  {ImageFormat::Png, 24, 64, 0},
    };
    for (const Case& c : cases) {
        const RgbImage image = Sample(c.colours);
        OutputPlan plan;
        plan.format = c.format;
        plan.bits = c.bits;
        plan.quality = 100;
        std::string bytes, error;
        ASSERT_TRUE(EncodeImage(image, plan, bytes, error)) << error;
        const std::string path =
            dir.file("out" + std::to_string(c.bits) + InfoOf(c.format).extension);
        std::ofstream(path, std::ios::binary) << bytes;
        std::string size, rgb;
        ASSERT_TRUE(Decode(path, size, rgb)) << path;
        EXPECT_EQ(size, "13 5") << path;
        ASSERT_EQ(rgb.size(), image.pixels.size() * 3) << path;
        int worst = 0;
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            const std::uint32_t p = image.pixels[i];
            const int got[3] = {static_cast<unsigned char>(rgb[3 * i]),
                                static_cast<unsigned char>(rgb[3 * i + 1]),
                                static_cast<unsigned char>(rgb[3 * i + 2])};
            worst = std::max({worst, std::abs(got[0] - Red(p)), std::abs(got[1] - Green(p)),
                              std::abs(got[2] - Blue(p))});
        }
        EXPECT_LE(worst, c.tolerance) << path;
    }
}

// One bit is black and white by each pixel's luminance, in either format.
TEST(ImageWriters, OneBitIsBlackAndWhiteByLuminance) {
    testsupport::TempDir dir;
    const RgbImage mixed =
        Picture(4, 1, {0x101010 /*near black*/, 0x00FF00 /*bright green*/, 0x000080, 0xC0C0C0});
    const std::string expected = Bytes({0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255});
    for (ImageFormat format : {ImageFormat::Bmp, ImageFormat::Pcx}) {
        OutputPlan plan;
        plan.format = format;
        plan.bits = 1;
        std::string bytes, error, size, rgb;
        ASSERT_TRUE(EncodeImage(mixed, plan, bytes, error)) << error;
        const std::string path = dir.file(std::string("mixed1") + InfoOf(format).extension);
        std::ofstream(path, std::ios::binary) << bytes;
        ASSERT_TRUE(Decode(path, size, rgb)) << path;
        EXPECT_EQ(rgb, expected) << path;
    }
    // The BMP palette itself is black and white.
    EXPECT_EQ(EncodeBmp(mixed, 1).substr(54, 8), Bytes({0, 0, 0, 0, 255, 255, 255, 0}));
}

TEST(ImageWriters, JpegKeepsItsQualityAndFullColourFromNinety) {
    testsupport::TempDir dir;
    RgbImage image(32, 16);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint32_t>(i * 0x010203);
    for (const auto& [quality, sampling] :
         {std::pair{75, "2x2,1x1,1x1"}, std::pair{90, "1x1,1x1,1x1"}}) {
        OutputPlan plan;
        plan.format = ImageFormat::Jpg;
        plan.quality = quality;
        std::string bytes, error;
        ASSERT_TRUE(EncodeImage(image, plan, bytes, error)) << error;
        const std::string path = dir.file("q" + std::to_string(quality) + ".jpg");
        std::ofstream(path, std::ios::binary) << bytes;
        std::string said;
        testsupport::RunForOutput("identify", {"-format", "%w %h %Q %[jpeg:sampling-factor]", path},
                                  said);
        EXPECT_EQ(said, "32 16 " + std::to_string(quality) + " " + sampling);
    }
}

}  // namespace
