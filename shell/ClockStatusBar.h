#pragma once
// The status bar: "Status", then the date and the time, kept current by the bar itself.
#include <QDateTime>
#include <QStatusBar>

#include <functional>

class QLabel;
class QTimer;

namespace morrowlen::shell {

class ClockStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    using Clock = std::function<QDateTime()>;
    explicit ClockStatusBar(Clock clock = {}, QWidget* parent = nullptr);

    QLabel* panel(int n) const; // 1 .. 3
    // Reads the clock and updates the date and time panels.
    void refresh();

  private:
    Clock m_clock;
    QLabel* m_panels[3] = {};
    QTimer* m_timer = nullptr;
};

} // namespace morrowlen::shell
