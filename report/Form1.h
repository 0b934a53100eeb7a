#pragma once
// The report window of one class: the profile page and four web searches on five tabs.
#include "BrowserView.h"
#include "navigation/WmiOperations.h"

#include <QTabWidget>
#include <QWidget>

#include <array>
#include <filesystem>

namespace morrowlen::report {

class Form1 : public QWidget {
    Q_OBJECT
  public:
    Form1(const nav::Locator& locator, BrowserFactory browsers, std::filesystem::path pageFolder,
          QWidget* parent = nullptr);

    // Places the window, writes and shows the page, and opens on the first tab. Throws on failure.
    void Form_Load();
    void DoWebPage();

    QTabWidget* SSTab1() const { return m_tab; }
    BrowserView* WebBrowser(int n) const { return m_browsers[static_cast<std::size_t>(n - 1)]; }

    // Placement within the window that holds the report (twips), set by Form_Load.
    int topTwips() const { return m_top; }
    int leftTwips() const { return m_left; }

  signals:
    void placementChanged();

  private:
    void showCurrentBrowser(int index);

    const nav::Locator* m_locator;
    std::filesystem::path m_pageFolder;
    QTabWidget* m_tab = nullptr;
    std::array<BrowserView*, 5> m_browsers{};
    int m_top = 0;
    int m_left = 0;
};

} // namespace morrowlen::report
