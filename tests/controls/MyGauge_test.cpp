#include <climits>
#include <gtest/gtest.h>
#include <ostream>

#include <QApplication>
#include <QPainter>
#include <QTest>

#include "controls/CanvasPanel.h"
#include "controls/MyGauge.h"
#include "controls/MyGaugeBltBitmap.h"
#include "tests/support/EventLoopWait.h"

namespace {

using testsupport::WaitInEventLoop;

struct TPercentCase {
    const char* name;
    int minValue;
    int maxValue;
    int progress;
    int expectedProgress;
    int expectedPercent;
    friend void PrintTo(const TPercentCase& c, std::ostream* os) { *os << c.name; }
};

class GaugePercent : public ::testing::TestWithParam<TPercentCase> {};

TEST_P(GaugePercent, ProgressIsClampedAndShownAsRoundedPercent) {
    const TPercentCase& c = GetParam();
    TMyGauge gauge;
    gauge.SetMaxValue(c.maxValue); // widen first, so the minimum never lies above it
    gauge.SetMinValue(c.minValue);
    gauge.SetMaxValue(c.maxValue);
    gauge.SetProgress(c.progress);
    EXPECT_EQ(gauge.Progress(), c.expectedProgress);
    EXPECT_EQ(gauge.GetPercent(), c.expectedPercent);
}

INSTANTIATE_TEST_SUITE_P(Table, GaugePercent,
                         ::testing::Values(TPercentCase{"Plain", 0, 100, 10, 10, 10},
                                           TPercentCase{"AboveMax", 0, 100, 150, 100, 100},
                                           TPercentCase{"BelowMin", 0, 100, -5, 0, 0},
                                           TPercentCase{"EqualBounds", 7, 7, 7, 7, 0},
                                           TPercentCase{"NegativeRange", -50, 50, 0, 0, 50},
                                           TPercentCase{"RoundsDown", 0, 3, 1, 1, 33},
                                           TPercentCase{"RoundsUp", 0, 3, 2, 2, 67},
                                           TPercentCase{"WholeIntRange", -INT_MAX, INT_MAX, 0, 0,
                                                        50}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Gauge, StartsWithTheDocumentedDefaults) {
    TMyGauge gauge;
    EXPECT_EQ(gauge.size(), QSize(100, 100));
    EXPECT_EQ(gauge.Kind(), TMyGauge::gkHorizontalBar);
    EXPECT_EQ(gauge.BackColor(), QColor(Qt::white));
    EXPECT_EQ(gauge.ForeColor(), QColor(Qt::black));
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_TRUE(gauge.ShowText());
    EXPECT_EQ(gauge.BorderStyle(), TMyGauge::bsSingle);
}

TEST(Gauge, BoundsOnTheWrongSideRaiseWithTheAllowedRange) {
    TMyGauge gauge;
    try {
        gauge.SetMinValue(101);
        FAIL() << "no error";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "Value must be between -2147483647 and 99");
    }
    try {
        gauge.SetMaxValue(-1);
        FAIL() << "no error";
    } catch (const EInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "Value must be between 1 and 2147483647");
    }
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_NO_THROW(gauge.SetMinValue(100)) << "equal bounds are allowed";
}

TEST(Gauge, MovingABoundPastProgressDragsProgressAlong) {
    TMyGauge gauge;
    gauge.SetProgress(10);
    gauge.SetMinValue(20);
    EXPECT_EQ(gauge.Progress(), 20);
    gauge.SetProgress(90);
    gauge.SetMaxValue(50);
    EXPECT_EQ(gauge.Progress(), 50);
}

// Counts the paints that reach the gauge.
class TCountingGauge : public TMyGauge {
public:
    int Paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++Paints;
        TMyGauge::paintEvent(event);
    }
};

TEST(Gauge, RepaintsOnlyWhenTheShownPercentageChanges) {
    TCountingGauge gauge;
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    gauge.SetProgress(10);
    ASSERT_TRUE(WaitInEventLoop([&] { return gauge.Paints > 0; }));
    QApplication::processEvents();

    int before = gauge.Paints;
    gauge.SetProgress(10);
    QApplication::processEvents();
    EXPECT_EQ(gauge.Paints, before) << "10 to 10";

    gauge.SetProgress(11);
    EXPECT_TRUE(WaitInEventLoop([&] { return gauge.Paints > before; }));

    gauge.SetMaxValue(1000); // 11 of 1000 shows 1 %, and so does 12
    QApplication::processEvents();
    before = gauge.Paints;
    gauge.SetProgress(12);
    QApplication::processEvents();
    EXPECT_EQ(gauge.Paints, before) << "same percentage";
}

// A gauge without text, so pixels show only the picture.
TMyGauge* MakePlainGauge(QWidget* parent, TMyGauge::TGaugeKind kind, int progress) {
    auto* gauge = new TMyGauge(parent);
    gauge->SetKind(kind);
    gauge->SetShowText(false);
    gauge->SetProgress(progress);
    return gauge;
}

// Black fore colour on white; edges may be smoothed.
bool IsFore(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 128;
}

TEST(Gauge, BarsGrowFromTheLeftAndFromTheBottom) {
    QWidget owner;
    TMyGauge* horizontal = MakePlainGauge(&owner, TMyGauge::gkHorizontalBar, 50);
    horizontal->resize(102, 22); // inner 100 x 20 inside the single border
    const QImage h = horizontal->Render();
    EXPECT_TRUE(IsFore(h, 1, 10));
    EXPECT_TRUE(IsFore(h, 50, 10));
    EXPECT_FALSE(IsFore(h, 51, 10));
    EXPECT_TRUE(IsFore(h, 0, 10)) << "border";

    TMyGauge* vertical = MakePlainGauge(&owner, TMyGauge::gkVerticalBar, 25);
    vertical->resize(22, 102);
    const QImage v = vertical->Render();
    EXPECT_TRUE(IsFore(v, 10, 100));
    EXPECT_TRUE(IsFore(v, 10, 76));
    EXPECT_FALSE(IsFore(v, 10, 75));

    vertical->SetProgress(100); // at most the inner height less one
    const QImage full = vertical->Render();
    EXPECT_FALSE(IsFore(full, 10, 1));
    EXPECT_TRUE(IsFore(full, 10, 2));
}

TEST(Gauge, PieFillsClockwiseFromTwelveAndNeedlePoints) {
    QWidget owner;
    TMyGauge* pie = MakePlainGauge(&owner, TMyGauge::gkPie, 25);
    pie->resize(102, 102);
    const QImage p = pie->Render();
    EXPECT_TRUE(IsFore(p, 70, 30)) << "top right quarter";
    EXPECT_FALSE(IsFore(p, 30, 30)) << "top left quarter";
    EXPECT_FALSE(IsFore(p, 70, 70)) << "bottom right quarter";

    TMyGauge* empty = MakePlainGauge(&owner, TMyGauge::gkPie, 0);
    empty->resize(102, 102);
    EXPECT_FALSE(IsFore(empty->Render(), 70, 30));

    TMyGauge* needle = MakePlainGauge(&owner, TMyGauge::gkNeedle, 50);
    needle->resize(102, 52);
    const QImage n = needle->Render();
    EXPECT_TRUE(IsFore(n, 51, 25)) << "straight up at half";
    EXPECT_FALSE(IsFore(n, 25, 25));
}

TEST(Gauge, TextShowsInvertedOverGroundAndBar) {
    QWidget owner;
    auto* gauge = new TMyGauge(&owner);
    gauge->resize(102, 32);
    struct {
        int progress;
        QColor ground;
    } const cases[] = {{0, Qt::white}, {100, Qt::black}};
    for (const auto& c : cases) {
        gauge->SetProgress(c.progress);
        gauge->SetShowText(false);
        const QImage plain = gauge->Render();
        gauge->SetShowText(true);
        const QImage withText = gauge->Render();
        int changed = 0;
        for (int y = 0; y < plain.height(); ++y) {
            for (int x = 0; x < plain.width(); ++x) {
                if (plain.pixel(x, y) != withText.pixel(x, y)) {
                    ++changed;
                    EXPECT_TRUE(x > 20 && x < 82) << "text is centred";
                    // Inverted: away from the ground colour.
                    const int distance = std::abs(qGray(withText.pixel(x, y)) - c.ground.value());
                    EXPECT_GT(distance, 0);
                }
            }
        }
        EXPECT_GT(changed, 10) << "progress " << c.progress;
    }
}

TEST(Gauge, BltBitmapTakesTheSizeAndTheFrameColour) {
    QImage picture(13, 7, QImage::Format_RGB32);
    picture.fill(Qt::red);
    TBltBitmap bitmap;
    bitmap.MakeLike(picture);
    ASSERT_EQ(bitmap.size(), picture.size());
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            ASSERT_EQ(bitmap.pixelColor(x, y), QColor(Qt::black));
        }
    }
}

TEST(CanvasPanel, OwnerPaintsAfterThePanel) {
    TCanvasPanel panel;
    panel.resize(60, 30);
    int paints = 0;
    QObject::connect(&panel, &TCanvasPanel::Paint, [&](QPainter* canvas) {
        ++paints;
        canvas->fillRect(QRect(20, 10, 20, 10), Qt::red);
    });
    const QImage image = panel.grab().toImage();
    EXPECT_GE(paints, 1);
    EXPECT_EQ(image.pixelColor(30, 15), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(10, 15), panel.palette().color(QPalette::Button));
    EXPECT_NE(image.pixelColor(0, 15), panel.palette().color(QPalette::Button)) << "bevel";
}

} // namespace
