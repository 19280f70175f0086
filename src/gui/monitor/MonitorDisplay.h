#pragma once
// One row of the monitor window: the label, a sunken value box and the unit of
// one monitored quantity, framed by etched lines. The row's place in the
// column is given by the window (active displays stack from the top).
//
// Ownership: the display does not own its value (the monitor window does).
// Its two controls are Qt children of the parent given to CreateControls and
// are deleted with it; the pointers returned live as long as that parent.
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

#include "graph/GlyphText.h"

class QPalette;
class QPainter;
class QWidget;

namespace qx {
class MonitoredModuleValue;
}

namespace qx::gui {

class MonitorRowFrame;
class MonitorValueBox;

// The white box a value shows in. Unlike a label it keeps its text laid out
// between paints and asks nothing of its parent's layout when the text
// changes, which it does with every packet.
class MonitorValueBox : public QWidget {
  public:
    explicit MonitorValueBox(QWidget* parent);
    QString text() const { return text_.Text(); }
    void setText(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    GlyphText text_;
};

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

    MonitorDisplay(std::string label, std::string units, MonitoredModuleValue* value, int bit);
    virtual ~MonitorDisplay();
    MonitorDisplay(const MonitorDisplay&) = delete;
    MonitorDisplay& operator=(const MonitorDisplay&) = delete;

    // Creates the value box (hidden, empty) and the row frame as children of parent.
    void CreateControls(QWidget* parent);
    // Inverts the active flag, shows or hides both controls; returns the new flag.
    bool ToggleActive();
    // Places the controls for row (0 at the top) in a client area clientWidth wide.
    void Layout(int row, int clientWidth);
    // Draws the label, units and the sunken edge round the value box of row.
    void Paint(QPainter& painter, int row, const QPalette& palette) const;
    // Re-reads the value from the monitor's image and shows it while the link
    // is up and the monitor runs (else empty text). The box is touched only
    // when its text changes; returns whether it changed.
    bool RefreshValue();
    // Empties the box when it shows a value the monitor no longer backs.
    bool ClearIfStale();

    bool IsActive() const { return active_; }
    int Bit() const { return bit_; }
    const std::string& Label() const { return label_; }
    const std::string& Units() const { return units_; }
    MonitoredModuleValue* Value() const { return value_; }
    // The controls; null before CreateControls.
    MonitorValueBox* ValueBox() const { return valueBox_; }
    QWidget* RowFrame() const;
    // The text the value box shows.
    const std::string& Text() const { return shown_; }

    // The value box of row, and the row frame within a client width.
    static QRect BoxRect(int row);
    static QRect FrameRect(int row, int clientWidth);

  private:
    bool SetText(const std::string& text);

    MonitoredModuleValue* value_;
    std::string label_;
    std::string units_;
    MonitorValueBox* valueBox_ = nullptr;
    MonitorRowFrame* rowFrame_ = nullptr;
    bool active_ = false;
    int bit_;
    std::string shown_;
};

}  // namespace qx::gui
