// Encoding a 3840 x 2160 screen in each format and depth the tool writes,
// beside the floor: writing the same number of bytes to a file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "capture/Encoders.h"
#include "capture/OutputPlan.h"

namespace {

// Something like a desktop: flat areas, gradients and some noise.
const RgbImage& Screen() {
    static const RgbImage image = [] {
        RgbImage s(3840, 2160);
        std::mt19937 random(7);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                const int n = (x / 400 + y / 300) % 3 == 0 ? static_cast<int>(random() % 24) : 0;
                s.At(x, y) = Rgb((x * 255 / s.width + n) & 0xFF, (y * 255 / s.height + n) & 0xFF,
                                 ((x + y) / 24 + n) & 0xFF);
            }
        return s;
    }();
    return image;
}

void Encode(benchmark::State& state, ImageFormat format, int bits) {
    OutputPlan plan;
    plan.format = format;
    plan.bits = bits;
    plan.quality = 75;
    std::size_t size = 0;
    for (auto _ : state) {
        std::string bytes, error;
        if (!EncodeImage(Screen(), plan, bytes, error)) state.SkipWithError(error.c_str());
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["MB"] = static_cast<double>(size) / 1e6;
}

// The floor for a file of the size a 24-bit BMP has: its bytes written.
void BM_WriteBytesOfA24BitBmp(benchmark::State& state) {
    const std::string bytes(3840u * 2160u * 3u + 54u, 'x');
    const std::string path = "/tmp/lg-encode-bench.bin";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    ::unlink(path.c_str());
}

}  // namespace

BENCHMARK(BM_WriteBytesOfA24BitBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Bmp24, ImageFormat::Bmp, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Bmp32, ImageFormat::Bmp, 32)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Bmp16, ImageFormat::Bmp, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Bmp8, ImageFormat::Bmp, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Pcx8, ImageFormat::Pcx, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Tga24, ImageFormat::Tga, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Jpeg75, ImageFormat::Jpg, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Png, ImageFormat::Png, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Tiff, ImageFormat::Tif, 24)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
