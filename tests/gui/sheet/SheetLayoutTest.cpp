// The sheet's layout on the printable area of A4 and Letter paper with 12 mm
// margins: every section inside the area, none over another, every map once.
#include <gtest/gtest.h>

#include <QPageLayout>
#include <set>

#include "gui/sheet/SheetLayout.h"

namespace qx::gui::testing {
namespace {

struct Paper {
    const char* name;
    QPageSize::PageSizeId id;
    QSizeF area;  // worked out by hand, in points: (paper - 2 x 12 mm) x 72 / 25.4
};

const Paper kPapers[] = {
    {"A4", QPageSize::A4, {186.0 * 72 / 25.4, 273.0 * 72 / 25.4}},
    {"Letter", QPageSize::Letter, {(215.9 - 24.0) * 72 / 25.4, (279.4 - 24.0) * 72 / 25.4}},
};

bool Overlap(const QRectF& a, const QRectF& b) {
    return a.intersects(b);
}

TEST(SheetLayoutTest, SectionsStayInsideTheAreaAndApart) {
    for (const Paper& paper : kPapers) {
        SCOPED_TRACE(paper.name);
        // The hand-worked area agrees with Qt's page layout.
        const QPageLayout qt(QPageSize(paper.id), QPageLayout::Portrait, QMarginsF(12, 12, 12, 12),
                             QPageLayout::Millimeter);
        const QSizeF printable = qt.paintRect(QPageLayout::Point).size();
        EXPECT_NEAR(printable.width(), paper.area.width(), 1.0);
        EXPECT_NEAR(printable.height(), paper.area.height(), 1.0);

        const SheetLayout layout = LayOutSheet(paper.area);
        ASSERT_GE(layout.pages.size(), 1u);
        ASSERT_LE(layout.pages.size(), 2u);
        const QRectF area(QPointF(0, 0), paper.area);
        std::multiset<int> maps;
        for (std::size_t p = 0; p < layout.pages.size(); ++p) {
            SCOPED_TRACE("page " + std::to_string(p + 1));
            const SheetPage& page = layout.pages[p];
            const std::vector<QRectF> sections = page.Sections();
            for (std::size_t i = 0; i < sections.size(); ++i) {
                EXPECT_FALSE(sections[i].isEmpty()) << i;
                EXPECT_TRUE(area.contains(sections[i])) << "section " << i << " leaves the area";
                for (std::size_t j = i + 1; j < sections.size(); ++j)
                    EXPECT_FALSE(Overlap(sections[i], sections[j])) << i << " over " << j;
            }
            for (const SheetMapCell& c : page.maps) {
                SCOPED_TRACE("map " + std::to_string(c.map));
                maps.insert(c.map);
                EXPECT_TRUE(c.cell.contains(c.graph));
                EXPECT_TRUE(c.cell.contains(c.table));
                EXPECT_FALSE(Overlap(c.graph, c.table));
                // Legible: a graph of at least 8 x 6 cm, every table row at its height.
                EXPECT_GE(c.graph.width(), 8.0 / 2.54 * 72);
                EXPECT_GE(c.graph.height(), 6.0 / 2.54 * 72);
                EXPECT_GE(c.table.height(),
                          SheetLayout::kTableRows * SheetLayout::kRowHeight - 0.01);
            }
        }
        EXPECT_EQ(maps, (std::multiset<int>{0, 1, 2, 3, 4, 5}));

        // Page 1 carries the heading and the basic settings above the two advance
        // maps, which stand side by side: front on the left, rear on the right.
        const SheetPage& first = layout.pages.front();
        EXPECT_FALSE(first.heading.isEmpty());
        EXPECT_FALSE(first.basic.isEmpty());
        ASSERT_EQ(first.maps.size(), 2u);
        EXPECT_EQ(first.maps[0].map, 0);
        EXPECT_EQ(first.maps[1].map, 1);
        EXPECT_DOUBLE_EQ(first.maps[0].graph.top(), first.maps[1].graph.top());
        EXPECT_LE(first.maps[0].cell.right(), first.maps[1].cell.left());
        EXPECT_LE(first.basic.bottom(), first.maps[0].cell.top());
        EXPECT_LE(first.heading.bottom(), first.basic.top());
    }
}

}  // namespace
}  // namespace qx::gui::testing
