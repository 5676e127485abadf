// What the JPEG route adds in process to the exiv2 run: reading the orientation, the segment pass
// and the check, on a camera-sized photo of about 600 KB; and what a drawing, a letter and a book
// carrying that photo cost to clean and check, against the photo's own pass.
#include "formats/documents/Epub.h"
#include "formats/documents/Rtf.h"
#include "formats/documents/Svg.h"
#include "formats/office/Package.h"
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

// The photo inside a drawing as base64, inside a letter as hex, and inside a book as an entry.
Formats::Bytes drawing() {
    const QByteArray encoded = QByteArray::fromStdString(photo()).toBase64();
    return R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink">)"
           R"(<image width="1100" height="800" xlink:href="data:image/jpeg;base64,)" +
           encoded.toStdString() + R"("/></svg>)";
}

Formats::Bytes letter() {
    const QByteArray hex = QByteArray::fromStdString(photo()).toHex();
    Formats::Bytes lines;
    for (qsizetype at = 0; at < hex.size(); at += 128) {
        lines += hex.mid(at, 128).toStdString() + "\n";
    }
    return R"({\rtf1\ansi{\info{\author Ann}}Hello{\pict\jpegblip\picw1100\pich800 )" + lines +
           "}}";
}

Formats::Bytes book() {
    const std::string opf =
        R"(<?xml version="1.0"?><package xmlns="http://www.idpf.org/2007/opf" version="3.0" )"
        R"(unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">)"
        R"(<dc:identifier id="id">urn:uuid:1</dc:identifier><dc:title>T</dc:title>)"
        R"(<dc:language>en</dc:language><dc:creator>Ann</dc:creator></metadata><manifest>)"
        R"(<item id="p" href="photo.jpg" media-type="image/jpeg"/></manifest><spine/></package>)";
    const std::string container =
        R"(<?xml version="1.0"?><container version="1.0" )"
        R"(xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile )"
        R"(full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>)"
        R"(</rootfiles></container>)";
    return Package::write({{"mimetype", "application/epub+zip", false},
                           {"META-INF/container.xml", container},
                           {"OEBPS/content.opf", opf},
                           {"OEBPS/photo.jpg", photo(), false}});
}

using Clean = Formats::Bytes (*)(const Formats::Bytes &);
using Check = std::string (*)(const Formats::Bytes &);

void CleanAndCheck(benchmark::State &state, Clean clean, Check check, const Formats::Bytes &input) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(check(clean(input)));
    }
    state.counters["KB"] = static_cast<double>(input.size()) / 1024;
}

void JpegCleanAndCheck(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Jpeg::remainingMetadata(Jpeg::clean(photo(), 1)));
    }
}

}  // namespace

BENCHMARK(JpegCleanAndCheck)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CleanAndCheck, Svg, Svg::clean, Svg::remainingMetadata, drawing())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CleanAndCheck, Rtf, Rtf::clean, Rtf::remainingMetadata, letter())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CleanAndCheck, Epub, Epub::clean, Epub::remainingMetadata, book())
    ->Unit(benchmark::kMillisecond);
BENCHMARK(JpegOrientation)->Unit(benchmark::kMicrosecond);
BENCHMARK(JpegClean)->Unit(benchmark::kMicrosecond);
BENCHMARK(JpegCheck)->Unit(benchmark::kMicrosecond);
