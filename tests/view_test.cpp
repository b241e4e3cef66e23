#include "platform/drawing/View.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "GuiApplication.h"
#include "platform/drawing/GraphicsContext.h"

namespace {

// Counts its draws and what each one found.
class RecordingView : public platform::View {
  public:
    using View::View;
    void draw(Rect dirty) override {
        ++draws;
        lastDirty = dirty;
        hadContext = platform::GraphicsContext::current() != nullptr;
    }
    int draws = 0;
    Rect lastDirty;
    bool hadContext = false;
};

class ViewTest : public testing::Test {
  protected:
    void SetUp() override { ensureGuiApplication(); }

    RecordingView view{Rect{0, 0, 44, 22}};
    QSignalSpy displayed{&view, &platform::View::displayed};
};

}  // namespace

TEST_F(ViewTest, RequestsInOnePassPaintOnce) {
    view.setNeedsDisplay(true);
    view.setNeedsDisplay(true);
    view.setNeedsDisplay(true);
    EXPECT_EQ(view.draws, 0);  // nothing is painted until the event loop turns

    ASSERT_TRUE(displayed.wait(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(displayed.count(), 1);
    EXPECT_EQ(view.draws, 2);  // once per scale

    view.setNeedsDisplay(true);
    ASSERT_TRUE(displayed.wait(5000));
    EXPECT_EQ(displayed.count(), 2);
}

TEST_F(ViewTest, NothingIsPaintedUnlessRequested) {
    QCoreApplication::processEvents();
    view.setNeedsDisplay(true);
    view.setNeedsDisplay(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.draws, 0);
    EXPECT_EQ(displayed.count(), 0);
    EXPECT_TRUE(view.images().empty());
}

TEST_F(ViewTest, PassPaintsTransparentImageAtEachScaleWithContextSet) {
    EXPECT_EQ(platform::GraphicsContext::current(), nullptr);
    view.setNeedsDisplay(true);
    ASSERT_TRUE(displayed.wait(5000));

    EXPECT_TRUE(view.hadContext);
    EXPECT_EQ(platform::GraphicsContext::current(), nullptr);
    EXPECT_EQ(view.lastDirty, view.bounds());
    ASSERT_EQ(view.images().size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const QImage& image = view.images()[i];
        const int scale = platform::View::scales()[i];
        EXPECT_EQ(image.size(), QSize(44 * scale, 22 * scale));
        EXPECT_EQ(image.devicePixelRatio(), scale);
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(image.pixel(3, 3), 0u);
    }
}

TEST_F(ViewTest, FrameAndBoundsAndMask) {
    EXPECT_FALSE(view.isOpaque());
    view.setFrame({5, 7, 30, 22});
    EXPECT_EQ(view.frame(), (Rect{5, 7, 30, 22}));
    EXPECT_EQ(view.bounds(), (Rect{0, 0, 30, 22}));
    view.setAutoresizingMask(platform::View::widthSizable | platform::View::heightSizable);
    EXPECT_EQ(view.autoresizingMask(), 18);

    ASSERT_TRUE(displayed.wait(5000));  // a resize repaints at the new size
    EXPECT_EQ(view.images()[0].size(), QSize(30, 22));
}

// A pass paints over the last pass's images, but never over images someone still holds.
TEST_F(ViewTest, PassReusesItsImagesButLeavesHeldOnesAlone) {
    view.setNeedsDisplay(true);
    ASSERT_TRUE(displayed.wait(5000));
    const uchar* unheld = view.images()[1].constBits();
    view.setNeedsDisplay(true);
    ASSERT_TRUE(displayed.wait(5000));
    EXPECT_EQ(view.images()[1].constBits(), unheld);

    QImage held = view.images()[1];
    held.setPixel(0, 0, 0xff00ff00);  // detaches: the view's own image is unmarked
    const QImage kept = view.images()[0];
    view.setNeedsDisplay(true);
    ASSERT_TRUE(displayed.wait(5000));
    EXPECT_NE(view.images()[0].constBits(), kept.constBits());
    EXPECT_EQ(kept.size(), QSize(44, 22));
    EXPECT_EQ(view.images()[1].pixel(0, 0), 0u);
}
