#include "gui/graph/GraphStyle.h"

#include <QFontDatabase>

namespace qx::gui {

namespace {

void EnsureSubstitution() {
    static const bool done = [] {
        if (!QFontDatabase::hasFamily(QStringLiteral("Arial"))) {
            QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        }
        return true;
    }();
    (void)done;
}

}  // namespace

QFont ArialFont(int pixelHeight, bool bold) {
    EnsureSubstitution();
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixelHeight > 0 ? pixelHeight : 1);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferDefault);
    return f;
}

QFont StockVariableFont() {
    return ArialFont(11, false);
}

}  // namespace qx::gui
