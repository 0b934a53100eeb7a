#pragma once
// The viewer window of an example management pack: one browser and nothing else.
#include "report/BrowserView.h"

#include <QWidget>

namespace morrowlen::examples {

class Form5 : public QWidget {
    Q_OBJECT
  public:
    explicit Form5(const report::BrowserFactory& browsers, QWidget* parent = nullptr);

    void Form_Load();
    report::BrowserView* WebBrowser1() const { return m_browser; }
    int topTwips() const { return m_top; }
    int leftTwips() const { return m_left; }

  signals:
    void placementChanged();

  private:
    report::BrowserView* m_browser = nullptr;
    int m_top = 0;
    int m_left = 0;
};

} // namespace morrowlen::examples
