#pragma once
// What the features installed on the main window may use of it: the command
// table, the graph view, the area the graph sits in, the status bar, the
// run's live samples and the frame's requests. Features take this instead of the main window's
// class, so that they sit below it.
//
// Ownership: a Qt child of the main window; gone with it.
#include <QObject>
#include <QString>
#include <functional>

class QMainWindow;
class QWidget;

namespace qx::gui {

class CommandTable;
class LiveSamples;
class MapGraphView;

class FrameServices : public QObject {
    Q_OBJECT
  public:
    FrameServices(QMainWindow& window, CommandTable& commands, MapGraphView& view,
                  LiveSamples& samples);

    CommandTable& Commands() { return commands_; }
    MapGraphView* View() const { return &view_; }
    // Every new live sample, and the frame's requests to show the state again.
    LiveSamples& Samples() const { return samples_; }
    // The main window: the owner of dialogs and the parent of features.
    QWidget& Window() const;
    // Hands the area the graph sits in to wrap, which returns the widget that
    // takes its place (e.g. the graph with a chart and a bar under it).
    void WrapGraphArea(const std::function<QWidget*(QWidget* area)>& wrap);
    // A pane at the left of the status bar's permanent panes.
    void AddStatusPane(QWidget* pane);
    // A passing notice in the status bar.
    void ShowNotice(const QString& text);
    // Takes back a notice that begins with prefix, should it still show.
    void WithdrawNotice(const QString& prefix);

  Q_SIGNALS:
    // Reset Peak Acceleration was chosen (the monitor window resets).
    void resetPeakRequested();
    // Write Serial was chosen (the Write Serial Number dialog runs modally).
    void writeSerialRequested();

  private:
    QMainWindow& window_;
    CommandTable& commands_;
    MapGraphView& view_;
    LiveSamples& samples_;
};

}  // namespace qx::gui
