#include "formats/pictures/Gif.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Tiff.h"
#include "formats/pictures/Webp.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Ends the test program when one file takes more processor time than any walk of it can: a pass
// whose time follows the input would otherwise run until the ctest timeout. Processor time, not
// wall time, so that a busy machine does not end it.
class Deadline {
  public:
    Deadline(const std::string &what, std::clock_t seconds)
        : start_(std::clock()), watcher_([this, what, seconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              while (!done_.wait_for(lock, 100ms, [this] { return finished_; })) {
                  if (std::clock() - start_ > seconds * CLOCKS_PER_SEC) {
                      std::fprintf(stderr, "%s took longer than its bound\n", what.c_str());
                      std::_Exit(EXIT_FAILURE);
                  }
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        watcher_.join();
    }

  private:
    const std::clock_t start_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watcher_;
};

Formats::Bytes cleanJpeg(const Formats::Bytes &jpeg) {
    return Jpeg::clean(jpeg, 1);
}

struct Hostile {
    const char *file;
    std::function<Formats::Bytes(const Formats::Bytes &)> clean;
    std::function<std::string(const Formats::Bytes &)> check;
    const char *found;  // what the check says of the file as it was made, in part
    bool cleans;        // false: the cleaning or its check refuses the file
};

}  // namespace

// Each file of make_hostile.py goes through its pass and its check in bounded time and memory,
// the check names what the file holds in a reason of bounded length, and a result the check
// passes holds none of the planted values.
TEST(Hostile, PicturesAreCleanedOrRefusedQuicklyAndNothingPlantedPasses) {
    const std::vector<Hostile> files = {
        {"exif-chain.tif", Tiff::clean, Tiff::remainingMetadata, "too many directories", true},
        {"subifd-offsets.tif", Tiff::clean, Tiff::remainingMetadata, "directories overlap", false},
        {"many-ranges.tif", Tiff::clean, Tiff::remainingMetadata, "ImageDescription", true},
        {"exif-count-two.tif", Tiff::clean, Tiff::remainingMetadata, "Exif", true},
        {"utf8-value.tif", Tiff::clean, Tiff::remainingMetadata, "ImageDescription", true},
        {"undefined-subifd.tif", Tiff::clean, Tiff::remainingMetadata, "Artist", true},
        {"unlisted-tag.tif", Tiff::clean, Tiff::remainingMetadata, "CameraOwnerName, BodySerial",
         true},
        {"unknown-critical.png", Png::clean, Png::remainingMetadata, "and 299984 more", false},
        {"loop-extra-block.gif", Gif::clean, Gif::remainingMetadata,
         "extra data in the animation loop block, extra data in a frame's timing block", true},
        {"frame-exif.webp", Webp::clean, Webp::remainingMetadata, "EXIF in a frame, XMP in", true},
        {"adobe-extra.jpg", cleanJpeg, Jpeg::remainingMetadata, "an APP14 segment", true},
        {"jpeg-ls.jpg", cleanJpeg, Jpeg::remainingMetadata, "a JPEG extension segment", false},
    };
    ScratchFolder folder;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/hostile/make_hostile.py"), folder.path()});
    for (const Hostile &hostile : files) {
        SCOPED_TRACE(hostile.file);
        const Deadline deadline(hostile.file, 20);
        const Formats::Bytes made =
            readFile(folder / QString::fromLatin1(hostile.file)).toStdString();
        const std::string before = hostile.check(made);
        EXPECT_NE(before.find(hostile.found), std::string::npos) << before;
        EXPECT_LT(before.size(), 300u);
        std::string after = "refused";
        try {
            const Formats::Bytes cleaned = hostile.clean(made);
            after = hostile.check(cleaned);
            if (after.empty()) {
                EXPECT_EQ(cleaned.find("PLANTED"), std::string::npos);
            }
        } catch (const Formats::Refused &) {
        }
        EXPECT_EQ(after.empty(), hostile.cleans) << after;
    }
}
