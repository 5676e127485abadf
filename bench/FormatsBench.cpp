// What the JPEG route adds in process to the exiv2 run: reading the orientation, the segment pass
// and the check, on a camera-sized photo of about 600 KB.
#include "formats/pictures/Jpeg.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

namespace {

// Noise keeps the picture near 600 KB at this size and quality, as a camera's photo would be.
const Formats::Bytes &photo() {
    static const Formats::Bytes bytes = [] {
        QImage picture(1100, 800, QImage::Format_RGB32);
        QRandomGenerator noise(7);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const int grey = (x + y) / 8 % 256;
                const int jitter = static_cast<int>(noise.bounded(160));
                picture.setPixel(x, y, qRgb(grey, (grey + jitter) % 256, 255 - grey));
            }
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPEG", 90);
        return buffer.data().toStdString();
    }();
    return bytes;
}

void JpegOrientation(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Jpeg::orientation(photo()));
    }
}

void JpegClean(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Jpeg::clean(photo(), 6));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * photo().size()));
    state.counters["KB"] = static_cast<double>(photo().size()) / 1024;
}

void JpegCheck(benchmark::State &state) {
    const Formats::Bytes cleaned = Jpeg::clean(photo(), 6);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Jpeg::remainingMetadata(cleaned));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * cleaned.size()));
}

}  // namespace

BENCHMARK(JpegOrientation)->Unit(benchmark::kMicrosecond);
BENCHMARK(JpegClean)->Unit(benchmark::kMicrosecond);
BENCHMARK(JpegCheck)->Unit(benchmark::kMicrosecond);
