#include "capture/Encoders.h"

#include <cstdio>  // before jpeglib.h, which needs FILE

#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/ImageWriters.h"

namespace {

// TIFF through libtiff, 24-bit RGB without compression, written into
// memory: a file appears only whole, like every other format's.
struct TiffBuffer {
    std::string& bytes;
    toff_t at = 0;
};

tsize_t TiffRead(thandle_t, tdata_t, tsize_t) {
    return 0;
}
tsize_t TiffWrite(thandle_t handle, tdata_t data, tsize_t size) {
    auto* b = static_cast<TiffBuffer*>(handle);
    if (b->at + static_cast<toff_t>(size) > b->bytes.size()) b->bytes.resize(b->at + size);
    std::memcpy(b->bytes.data() + b->at, data, static_cast<std::size_t>(size));
    b->at += static_cast<toff_t>(size);
    return size;
}
toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* b = static_cast<TiffBuffer*>(handle);
    b->at = whence == SEEK_SET   ? offset
            : whence == SEEK_CUR ? b->at + offset
                                 : b->bytes.size() + offset;
    return b->at;
}
int TiffClose(thandle_t) {
    return 0;
}
toff_t TiffSize(thandle_t handle) {
    return static_cast<TiffBuffer*>(handle)->bytes.size();
}
int TiffMap(thandle_t, tdata_t*, toff_t*) {
    return 0;
}
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

thread_local std::string tTiffError;

bool EncodeTiff(const RgbImage& image, std::string& bytes, std::string& error) {
    // libtiff's complaints are the message, not lines on stderr.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler([](const char*, const char* format, va_list args) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        tTiffError = text;
    });
    tTiffError.clear();
    bytes.clear();
    TiffBuffer buffer{bytes};
    TIFF* tiff = TIFFClientOpen("capture", "w", &buffer, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                TiffSize, TiffMap, TiffUnmap);
    bool ok = tiff != nullptr;
    if (ok) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
        std::vector<unsigned char> row(static_cast<std::size_t>(image.width) * 3);
        const std::uint32_t* pixels = image.Pixels().data();
        for (int y = 0; ok && y < image.height; ++y) {
            const std::uint32_t* in = pixels + static_cast<std::size_t>(y) * image.width;
            for (int x = 0; x < image.width; ++x) {
                row[3 * x] = static_cast<unsigned char>(Red(in[x]));
                row[3 * x + 1] = static_cast<unsigned char>(Green(in[x]));
                row[3 * x + 2] = static_cast<unsigned char>(Blue(in[x]));
            }
            ok = TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
        }
        TIFFClose(tiff);
    }
    if (!ok)
        error = "cannot encode TIFF: " +
                (tTiffError.empty() ? std::string("out of memory") : tTiffError);
    return ok;
}

// JPEG straight through libjpeg-turbo, the library Qt's own plugin wraps:
// no plugin search at start, the screen's words read in place, and full
// colour resolution (4:4:4) from quality 90 up.
// libjpeg's way of failing: its default ends the process.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

// Only plain data lives here: libjpeg's longjmp on failure skips destructors.
bool CompressJpeg(const std::uint32_t* pixels, int width, int height, int quality,
                  unsigned char*& out, unsigned long& size, char (&message)[JMSG_LENGTH_MAX]) {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->back, 1);
    };
    if (setjmp(errors.back)) {
        (*info.err->format_message)(reinterpret_cast<j_common_ptr>(&info), message);
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;  // 0x??RRGGBB words, little-endian
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (quality >= 90) {
        for (int c = 0; c < info.num_components; ++c) {
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t*>(
            pixels + static_cast<std::size_t>(info.next_scanline) * width));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool EncodeJpeg(const RgbImage& image, int quality, std::string& bytes, std::string& error) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok =
        CompressJpeg(image.Pixels().data(), image.width, image.height, quality, out, size, message);
    if (ok) {
        bytes.assign(reinterpret_cast<const char*>(out), size);
    } else {
        error = std::string("cannot encode JPEG: ") + message;
    }
    std::free(out);
    return ok;
}

// PNG, 8 bits a channel, each row filtered by its left neighbour (flat
// screen areas become runs of zeros) and deflated at the quick level: a
// hot key's file should not wait on the last per cent of size.
void PngChunk(std::string& out, const char* type, const std::string& data) {
    const auto put32 = [&out](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
    };
    put32(static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(out.data() + start), out.size() - start)));
}

bool EncodePng(const RgbImage& image, std::string& bytes, std::string& error) {
    const std::size_t stride = 1 + static_cast<std::size_t>(image.width) * 3;
    std::string raw(stride * image.height, '\0');
    const std::uint32_t* pixels = image.Pixels().data();
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<unsigned char*>(&raw[stride * y]);
        const std::uint32_t* in = pixels + static_cast<std::size_t>(y) * image.width;
        *row++ = 1;  // Sub
        std::uint32_t left = 0;
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t c = in[x];
            row[0] = static_cast<unsigned char>(Red(c) - Red(left));
            row[1] = static_cast<unsigned char>(Green(c) - Green(left));
            row[2] = static_cast<unsigned char>(Blue(c) - Blue(left));
            row += 3;
            left = c;
        }
    }
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        error = "cannot encode PNG: out of memory";
        return false;
    }
    std::string packed(deflateBound(&z, static_cast<uLong>(raw.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int rc = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        error = "cannot encode PNG: the picture is too large";
        return false;
    }
    std::string header;
    for (const std::uint32_t v :
         {static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height)})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(static_cast<char>(v >> shift));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bit, RGB, deflate, no interlace
    bytes.assign("\x89PNG\r\n\x1a\n", 8);
    PngChunk(bytes, "IHDR", header);
    PngChunk(bytes, "IDAT", packed);
    PngChunk(bytes, "IEND", "");
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
            return EncodeJpeg(image, plan.quality, bytes, error);
        case ImageFormat::Tif:
            return EncodeTiff(image, bytes, error);
        case ImageFormat::Png:
            return EncodePng(image, bytes, error);
    }
    return false;
}
