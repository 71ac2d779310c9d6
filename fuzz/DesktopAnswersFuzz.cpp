// Fuzzes what other programs hand the capture tool: sway's JSON, the
// portal's PNG pictures, KWin's pictures and facts, and the request lines
// of the tool's socket. Any
// bytes are read or refused without a crash; what is read is sound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/Json.h"
#include "capture/KWinAnswers.h"
#include "capture/PngReader.h"
#include "capture/ToolRequests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    JsonValue json;
    std::string error;
    ParseJson(bytes, json, error);

    KWinFacts facts;
    if (ReadKWinFacts(bytes, facts, error) && facts.screens.empty()) __builtin_trap();
    // The same text as a picture's description, its bytes as the picture.
    RgbImage picture;
    if (ReadKWinPicture(json, bytes, picture, error) &&
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        __builtin_trap();

    RgbImage image;
    if (ReadPng(bytes, image, error) &&
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        __builtin_trap();
    // The same bytes as a PNG's compressed picture, behind a good header.
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\0\0\0\0",
                    33);
    png += std::string("\0\0\0\0IDAT", 8);
    png[png.size() - 8] = static_cast<char>(size >> 24),
                     png[png.size() - 7] = static_cast<char>(size >> 16);
    png[png.size() - 6] = static_cast<char>(size >> 8),
                     png[png.size() - 5] = static_cast<char>(size);
    ReadPng(png + bytes + std::string(4, '\0'), image, error);

    ToolRequest request;
    if (ParseRequest(bytes, request)) {
        ToolRequest again;
        if (!ParseRequest(FormatRequest(request), again) || again.number != request.number ||
            again.session != request.session || again.verb != request.verb)
            __builtin_trap();
    }
    ToolReply reply;
    if (ParseReply(bytes, reply)) {
        ToolReply again;
        if (!ParseReply(FormatReply(reply), again) || again.text != reply.text) __builtin_trap();
    }
    return 0;
}
