#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <set>

namespace {

bool isClear(const QImage &image, QPoint at) {
    return qAlpha(image.pixel(at)) == 0;
}

// The pictures have a transparent surround and a solid middle.
void expectCutOut(const QImage &image) {
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(image.hasAlphaChannel());
    const int last = image.width() - 1;
    EXPECT_TRUE(isClear(image, {0, 0}) || isClear(image, {last, 0}) || isClear(image, {0, last}) ||
                isClear(image, {last, last}));
    EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}

int topmostDrawnRow(const QImage &image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!isClear(image, {x, y})) {
                return y;
            }
        }
    }
    return image.height();
}

QImage windowIconImage(int index) {
    QImageReader reader(QStringLiteral(":/parchwipe.ico"));
    return reader.jumpToImage(index) ? reader.read() : QImage();
}

}  // namespace

TEST(Pictures, TheWindowIconHoldsItsFourSizes) {
    TestWindow window;
    Form1 &form = window.load();
    std::set<int> widths;
    for (const QSize &size : form.windowIcon().availableSizes()) {
        widths.insert(size.width());
    }
    EXPECT_EQ(widths, (std::set<int>{32, 48, 128, 256}));

    ASSERT_EQ(QImageReader(QStringLiteral(":/parchwipe.ico")).imageCount(), 4);
    for (int i = 0; i < 4; ++i) {
        const QImage image = windowIconImage(i);
        SCOPED_TRACE(image.width());
        EXPECT_EQ(image.width(), image.height());
        if (image.width() == 32) {
            // 24-bit colour: only its mask cuts it out, which Qt's reader ignores, so the corners
            // carry the tile colour instead.
            EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255);
        } else {
            expectCutOut(image);
        }
    }
}

TEST(Pictures, TheDesktopEntryShowsTheLargeWindowIcon) {
    const QImage entry(QStringLiteral(PARCHWIPE_RESOURCES_DIR "/parchwipe.png"));
    const QImage large = windowIconImage(3);
    ASSERT_EQ(large.size(), QSize(256, 256));
    EXPECT_EQ(entry.convertToFormat(QImage::Format_ARGB32),
              large.convertToFormat(QImage::Format_ARGB32));
}

TEST(Pictures, TheHandPointsWithItsTopmostFingertip) {
    TestWindow window;
    Form1 &form = window.load();
    form.SetMousePointer(Form1::CustomPointer);
    const QCursor pointer = form.cursor();
    const QImage hand = pointer.pixmap().toImage();
    ASSERT_EQ(hand.size(), QSize(32, 32));
    expectCutOut(hand);

    const QPoint hotSpot = pointer.hotSpot();
    EXPECT_GT(qAlpha(hand.pixel(hotSpot)), 0);
    EXPECT_LE(hotSpot.y() - topmostDrawnRow(hand), 1);
}

TEST(Pictures, TheDragPictureIsASmallCutOut) {
    const QImage drag(QStringLiteral(PARCHWIPE_BIN_DIR "/drag.ico"));
    ASSERT_EQ(drag.size(), QSize(32, 32));
    expectCutOut(drag);
}
