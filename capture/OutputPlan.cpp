#include "capture/OutputPlan.h"

#include <cctype>

#include "model/ActionCodes.h"

namespace {

constexpr FormatInfo kFormatTable[] = {
    {ImageFormat::Bmp, codes::kBmp, "BMP", "image/bmp"},
    {ImageFormat::Jpg, codes::kJpg, "JPEG", "image/jpeg"},
    {ImageFormat::Tga, codes::kTga, "TGA", nullptr},
    {ImageFormat::Tif, codes::kTif, "TIFF", "image/tiff"},
    {ImageFormat::Pcx, codes::kPcx, "PCX", nullptr},
    {ImageFormat::Png, ".png", "PNG", "image/png"},
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int ScreenBmpDepth(const TActionKey& a, int screenDepth) {
    switch (screenDepth) {
        case 15:
            return a.Prevent15bit ? 24 : 15;
        case 16:
            return a.Prevent16bit ? 24 : 16;
        case 32:
            return a.Prevent32bit ? 24 : 32;
        default:
            return 24;  // 24, and screens of depths no file keeps as they are
    }
}

std::string CodeText(int code) {
    return "depth code " + std::to_string(code);
}

}  // namespace

const FormatInfo& InfoOf(ImageFormat format) {
    for (const FormatInfo& info : kFormatTable)
        if (info.format == format) return info;
    return kFormatTable[0];
}

const FormatInfo* FormatOfFileName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return nullptr;
    const std::string ext = Lower(name.substr(dot));
    for (const FormatInfo& info : kFormatTable)
        if (ext == info.extension) return &info;
    return nullptr;
}

std::string SaveAsName(const std::string& name, const std::string& extension) {
    return FormatOfFileName(name) ? name : name + extension;
}

OutputPlan PlanOutput(const TActionKey& a, int screenDepth) {
    OutputPlan plan;
    const int code = a.PixelFormat;
    const std::string ext = Lower(a.Extension);
    if (ext == InfoOf(ImageFormat::Png).extension) {
        plan.format = ImageFormat::Png;
    } else if (ext == codes::kJpg) {
        plan.format = ImageFormat::Jpg;
        plan.quality = codes::EffectiveQuality(a.Quality);
    } else if (ext == codes::kTif) {
        plan.format = ImageFormat::Tif;
    } else if (ext == codes::kTga) {
        plan.format = ImageFormat::Tga;
        plan.bits = code == codes::k8Bit || code == codes::k4Bit || code == codes::k1Bit ? 8 : 24;
        if (code != codes::k8Bit && code != codes::k24Bit) {
            plan.notes.push_back(CodeText(code) + " is not one of .tga's (8 or 24 bit); " +
                                 std::to_string(plan.bits) + " bit is written");
        }
    } else if (ext == codes::kPcx) {
        plan.format = ImageFormat::Pcx;
        if (code >= codes::k1Bit && code <= codes::k8Bit) {
            plan.bits = codes::kBitsOfDepthCode[code];
        } else {
            plan.bits = 8;
            plan.notes.push_back(CodeText(code) +
                                 " is not one of .pcx's (1, 4 or 8 bit); 8 bit is written");
        }
    } else {
        if (ext != codes::kBmp) {
            plan.notes.push_back(
                a.Extension.empty()
                    ? std::string("no file format is set; .bmp is written")
                    : "file format '" + a.Extension +
                          "' is not one of .bmp .jpg .tga .tif .pcx .png; .bmp is written");
        }
        plan.format = ImageFormat::Bmp;
        if (code == codes::kScreenDepth) {
            plan.bits = ScreenBmpDepth(a, screenDepth);
        } else if (code <= codes::k32Bit) {
            plan.bits = codes::kBitsOfDepthCode[code];
        } else {
            plan.bits = 24;
            plan.notes.push_back(CodeText(code) + " is not one of .bmp's; 24 bit is written");
        }
    }
    plan.extension = InfoOf(plan.format).extension;
    return plan;
}

std::string DescribeOutput(const OutputPlan& plan) {
    switch (plan.format) {
        case ImageFormat::Jpg:
            return "JPEG, quality " + std::to_string(plan.quality);
        case ImageFormat::Tif:
        case ImageFormat::Png:
            return std::string(InfoOf(plan.format).name) + ", 24 bit";
        default:
            break;
    }
    return std::string(InfoOf(plan.format).name) + ", " + std::to_string(plan.bits) + " bit" +
           (plan.bits <= 8 ? " with a palette" : "");
}
