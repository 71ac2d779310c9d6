#include "capture/Quantizer.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace {

// Colours are counted at 5 bits a channel; a box is a range of them.
constexpr int kBits = 5;
constexpr int kSide = 1 << kBits;

int Cell(std::uint32_t c) {
    return ((Red(c) >> 3) << 10) | ((Green(c) >> 3) << 5) | (Blue(c) >> 3);
}

struct Box {
    std::array<int, 3> lo{}, hi{};  // inclusive, per channel, in 5-bit units
    long long count = 0;
};

struct Histogram {
    std::vector<std::uint32_t> count = std::vector<std::uint32_t>(kSide * kSide * kSide);
    std::uint32_t At(int r, int g, int b) const { return count[(r << 10) | (g << 5) | b]; }
};

// Shrinks a box to the cells it really holds and counts them.
void Fit(Box& box, const Histogram& h) {
    std::array<int, 3> lo{kSide, kSide, kSide}, hi{-1, -1, -1};
    box.count = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const std::uint32_t n = h.At(r, g, b);
                if (!n) continue;
                box.count += n;
                const int v[3] = {r, g, b};
                for (int c = 0; c < 3; ++c)
                    lo[c] = std::min(lo[c], v[c]), hi[c] = std::max(hi[c], v[c]);
            }
    if (box.count) box.lo = lo, box.hi = hi;
}

// Splits the box at the median of its longest side; false if it is one cell.
bool Split(Box& box, Box& other, const Histogram& h) {
    int axis = 0;
    for (int c = 1; c < 3; ++c)
        if (box.hi[c] - box.lo[c] > box.hi[axis] - box.lo[axis]) axis = c;
    if (box.hi[axis] == box.lo[axis]) return false;
    std::vector<long long> slice(kSide, 0);
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const int v[3] = {r, g, b};
                slice[v[axis]] += h.At(r, g, b);
            }
    long long seen = 0;
    int cut = box.lo[axis];
    for (int i = box.lo[axis]; i < box.hi[axis]; ++i) {
        seen += slice[i];
        cut = i;
        if (seen * 2 >= box.count) break;
    }
    other = box;
    box.hi[axis] = cut;
    other.lo[axis] = cut + 1;
    Fit(box, h);
    Fit(other, h);
    return true;
}

IndexedImage Exact(const RgbImage& image, const std::unordered_map<std::uint32_t, int>& seen) {
    IndexedImage out{image.width, image.height, {}, {}};
    for (const auto& [colour, unused] : seen) out.palette.push_back(colour);
    std::sort(out.palette.begin(), out.palette.end());
    std::unordered_map<std::uint32_t, std::uint8_t> index;
    for (std::size_t i = 0; i < out.palette.size(); ++i)
        index[out.palette[i]] = static_cast<std::uint8_t>(i);
    out.indexes.reserve(image.Pixels().size());
    for (std::uint32_t p : image.Pixels()) out.indexes.push_back(index[p & 0xFFFFFF]);
    return out;
}

}  // namespace

IndexedImage Quantize(const RgbImage& image, int maxColours) {
    std::unordered_map<std::uint32_t, int> seen;
    for (std::uint32_t p : image.Pixels()) {
        seen.emplace(p & 0xFFFFFF, 0);
        if (static_cast<int>(seen.size()) > maxColours) break;
    }
    if (static_cast<int>(seen.size()) <= maxColours) return Exact(image, seen);

    Histogram h;
    for (std::uint32_t p : image.Pixels()) ++h.count[Cell(p)];
    std::vector<Box> boxes(1);
    boxes[0].hi = {kSide - 1, kSide - 1, kSide - 1};
    Fit(boxes[0], h);
    while (static_cast<int>(boxes.size()) < maxColours) {
        // The most populous box that can still be split goes next.
        std::vector<std::size_t> order(boxes.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return boxes[a].count > boxes[b].count; });
        bool split = false;
        for (std::size_t i : order) {
            Box other;
            if (Split(boxes[i], other, h)) {
                boxes.push_back(other);
                split = true;
                break;
            }
        }
        if (!split) break;
    }

    // Each box's colour is the mean of the true colours that fall in it.
    std::vector<int> boxOf(kSide * kSide * kSide, 0);
    for (std::size_t i = 0; i < boxes.size(); ++i)
        for (int r = boxes[i].lo[0]; r <= boxes[i].hi[0]; ++r)
            for (int g = boxes[i].lo[1]; g <= boxes[i].hi[1]; ++g)
                for (int b = boxes[i].lo[2]; b <= boxes[i].hi[2]; ++b)
                    boxOf[(r << 10) | (g << 5) | b] = static_cast<int>(i);
    std::vector<std::array<long long, 4>> sums(boxes.size(), {0, 0, 0, 0});
    for (std::uint32_t p : image.Pixels()) {
        auto& s = sums[boxOf[Cell(p)]];
        s[0] += Red(p), s[1] += Green(p), s[2] += Blue(p), s[3] += 1;
    }
    IndexedImage out{image.width, image.height, {}, {}};
    for (const auto& s : sums) {
        const long long n = std::max(1LL, s[3]);
        out.palette.push_back(Rgb(static_cast<int>((s[0] + n / 2) / n),
                                  static_cast<int>((s[1] + n / 2) / n),
                                  static_cast<int>((s[2] + n / 2) / n)));
    }
    out.indexes.reserve(image.Pixels().size());
    for (std::uint32_t p : image.Pixels())
        out.indexes.push_back(static_cast<std::uint8_t>(boxOf[Cell(p)]));
    return out;
}
