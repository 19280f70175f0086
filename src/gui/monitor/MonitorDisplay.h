#pragma once
// One row of the monitor window: the label, a sunken value box and the unit of
// one monitored quantity, framed by etched lines. The row's place in the
// column is given by the window (active displays stack from the top).
//
// Ownership: the display does not own its value (the monitor window does).
// Its row frame is a Qt child of the parent given to CreateControls and is
// deleted with it; the pointer returned lives as long as that parent.
#include <QFont>
#include <QRect>
#include <QString>
#include <string>

#include "gui/graph/GlyphText.h"

class QPalette;
class QPainter;
class QRegion;
class QWidget;

namespace qx {
class MonitoredModuleValue;
class SampleChannel;
}  // namespace qx

namespace qx::gui {

class MonitorRowFrame;

class MonitorDisplay {
  public:
    // Row geometry, in client pixels of the monitor window.
    static constexpr int kRowHeight = 42;
    static constexpr int kBoxLeft = 9;
    static constexpr int kBoxTop = 22;  // below the row's top
    static constexpr int kBoxWidth = 50;
    static constexpr int kBoxHeight = 14;
    static constexpr int kLabelTop = 4;
    static constexpr int kUnitsLeft = 65;

    // samples: the run's channel, whose active source backs the values or not.
    MonitorDisplay(std::string label, std::string units, MonitoredModuleValue* value, int bit,
                   const SampleChannel& samples);
    virtual ~MonitorDisplay();
    MonitorDisplay(const MonitorDisplay&) = delete;
    MonitorDisplay& operator=(const MonitorDisplay&) = delete;

    // Creates the row frame as a child of parent, which paints the row (Paint)
    // and is asked to repaint the value box when its text changes.
    void CreateControls(QWidget* parent);
    // Inverts the active flag, shows or hides the row frame; returns the new flag.
    bool ToggleActive();
    // Places the row at row (0 at the top) in a client area clientWidth wide.
    void Layout(int row, int clientWidth);
    // Draws what of the row meets area: the label, units, the sunken edge and
    // the value box with its text.
    void Paint(QPainter& painter, int row, const QPalette& palette, const QRegion& area) const;
    // Re-reads the value from the monitor's image and shows it while the link
    // is up and the monitor runs (else empty text). Only the box is repainted,
    // and only when its text changes; returns whether it changed.
    bool RefreshValue();
    // Empties the box when it shows a value the monitor no longer backs.
    bool ClearIfStale();

    bool IsActive() const { return active_; }
    int Bit() const { return bit_; }
    const std::string& Label() const { return label_; }
    const std::string& Units() const { return units_; }
    MonitoredModuleValue* Value() const { return value_; }
    // The row frame; null before CreateControls.
    QWidget* RowFrame() const;
    // The text the value box shows.
    const std::string& Text() const { return shown_; }

    // The value box of row, and the row frame within a client width.
    static QRect BoxRect(int row);
    static QRect FrameRect(int row, int clientWidth);

  private:
    bool SetText(const std::string& text);
    bool SourceBacksValues() const;

    MonitoredModuleValue* value_;
    const SampleChannel& samples_;
    std::string label_;
    std::string units_;
    QWidget* client_ = nullptr;
    MonitorRowFrame* rowFrame_ = nullptr;
    bool active_ = false;
    int bit_;
    int row_ = -1;  // where Layout last placed it
    std::string shown_;
    QFont font_;              // the window's; kept, as making one costs more than the text
    mutable GlyphText text_;  // laid out again in Paint if the font changed
};

}  // namespace qx::gui
