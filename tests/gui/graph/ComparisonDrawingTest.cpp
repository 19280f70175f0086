// The other tune of a comparison as the graph draws it: a differing point shows
// round the edited point's marker even where both fall on the same pixel, and
// nothing of it is drawn over the title strip above the plot.
#include <QTemporaryDir>

#include "GraphTestSupport.h"
#include "core/link/CommPort.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/GraphStyle.h"

namespace qx::test {
namespace {

class ComparisonDrawing : public GraphTest {
  protected:
    // Compares the document with a copy whose map 0 point 5 holds theirs,
    // the document's holding ours.
    void Compare(double ours, double theirs) {
        ASSERT_TRUE(dir.isValid());
        document.History().Perform("Set", {{SettingKey::Point(0, 5), theirs}});
        const std::string path = dir.filePath(QStringLiteral("other.qvx")).toStdString();
        ASSERT_EQ(document.OnSaveDocument(path), DocStatus::Done);
        document.History().Perform("Set", {{SettingKey::Point(0, 5), ours}});
        comparison =
            std::make_unique<gui::TuneComparison>(nullptr, document, *host, CommPort::Instance());
        ASSERT_TRUE(comparison->LoadFile(path));
        ASSERT_FALSE(comparison->Differences().empty());
        view->SetComparison(comparison.get());
        ShowMap(0);
    }
    // Pixels of the comparison's colour in the picture of the view (markers
    // included) whose offset from c passes keep.
    template <typename Keep>
    int Count(QPoint c, Keep keep) {
        QCoreApplication::processEvents();
        const QImage image = view->grab().toImage();
        const QRgb colour = gui::ToQColor(view->ComparisonColor()).rgb();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == colour && keep(x - c.x(), y - c.y())) ++n;
        return n;
    }
    ~ComparisonDrawing() override {
        if (view) view->SetComparison(nullptr);
    }

    QTemporaryDir dir;
    std::unique_ptr<gui::TuneComparison> comparison;
};

TEST_F(ComparisonDrawing, OneStepOnTheSamePixelStillShowsRoundTheMarker) {
    Compare(22.0, 23.0);
    // A short graph where the two values fall on one pixel row.
    bool samePixel = false;
    for (int h = 60; h <= 240 && !samePixel; ++h) {
        view->resize(800, h);
        QCoreApplication::processEvents();
        samePixel = view->PlotHeight() >= 24 && view->YToPixel(22.0) == view->YToPixel(23.0);
    }
    ASSERT_TRUE(samePixel);
    const graph::PixelPoint centre = Marker(5).Centre();
    // Above and below the 10-pixel marker (and its mark's 2-pixel pen), off
    // the curves through the point.
    const int shown = Count(QPoint(centre.x, centre.y), [](int dx, int dy) {
        return std::abs(dx) <= 3 && std::abs(dy) >= 7 && std::abs(dy) <= 11;
    });
    EXPECT_GT(shown, 4) << "the other value is hidden under the marker";
    SavePicture(view->grab().toImage(), QStringLiteral("comparison-same-pixel.png"));
}

TEST_F(ComparisonDrawing, NothingOverTheTitleStripAndTheTopIsMarked) {
    Compare(44.0, 45.0);  // theirs at the top of the axis
    const int x = view->XToPixel(document.Map(0)->Point(5).x);
    const int top = view->PlotTop();
    EXPECT_EQ(Count(QPoint(x, top), [](int, int dy) { return dy < 0; }), 0)
        << "drawn over the title strip";
    EXPECT_GT(Count(QPoint(x, top), [](int dx, int dy) { return std::abs(dx) <= 9 && dy <= 9; }), 4)
        << "nothing shows where the other point is";
    SavePicture(view->grab().toImage(), QStringLiteral("comparison-at-the-top.png"));
}

}  // namespace
}  // namespace qx::test
