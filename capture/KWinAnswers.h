// What KWin answers lmgrab, read without any bus: a picture from its
// screenshot interface (a{sv} of its shape, and the raw rows it wrote into
// our pipe), and the facts a small script of ours reports (monitors,
// pointer, active window), in the logical pixels KWin places windows in.
#pragma once

#include <string>
#include <vector>

#include "capture/Desktop.h"
#include "capture/Json.h"

// results: the call's answer; bytes: what came through the pipe. Refuses
// shapes and pixel formats it does not know, and pictures cut short.
bool ReadKWinPicture(const JsonValue& results, const std::string& bytes, RgbImage& image,
                     std::string& error);
// The number of bytes the picture described by results takes; 0 where the
// answer describes none (or one too big to take).
std::size_t KWinPictureBytes(const JsonValue& results);

struct KWinFacts {
    std::vector<Rect> screens;
    int pointerX = 0, pointerY = 0;
    bool hasActive = false;
    std::string activeId;  // KWin's handle for CaptureWindow
    Rect activeFrame, activeClient;
    // All the window's surface covers, shadows of its own drawing included.
    Rect activeBuffer;
    std::string token;  // which question it answers
};

// Between KWin's logical pixels and the pictures' physical ones at scale:
// the area a logical one covers, and the smallest logical area that covers
// a physical one.
Rect ToPhysical(const Rect& logical, double scale);
Rect ToLogicalCover(const Rect& physical, double scale);
// Every area and the pointer of facts, from logical to physical pixels.
void ScaleFacts(KWinFacts& facts, double scale);

// The script that reports the facts to bus name `to`, tagged with token;
// for KWin 5.27 and 6, whose scripting names differ.
std::string KWinFactsScript(const std::string& to, const std::string& token);
bool ReadKWinFacts(const std::string& text, KWinFacts& facts, std::string& error);
