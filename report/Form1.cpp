#include "Form1.h"

#include "navigation/Twips.h"

namespace morrowlen::report {

namespace {
constexpr int ClientWidth = 10695, ClientHeight = 9600;
constexpr int TabWidth = 10695, TabHeight = 9615;
constexpr int BrowserLeft = 120, BrowserTop = 360, BrowserWidth = 10455, BrowserHeight = 9135;
const char* const TabCaptions[5] = {"HTML View", "MSDN Search", "Google Search", "Live Search",
                                    "Yahoo Search"};
} // namespace

Form1::Form1(const nav::Locator& locator, BrowserFactory browsers, std::filesystem::path pageFolder,
             QWidget* parent)
    : QWidget(parent), m_locator(&locator), m_pageFolder(std::move(pageFolder)) {
    setObjectName("Form1");
    setFixedSize(twipsToPixels(ClientWidth), twipsToPixels(ClientHeight));

    m_tab = new QTabWidget(this);
    m_tab->setObjectName("SSTab1");
    m_tab->setGeometry(0, 0, twipsToPixels(TabWidth), twipsToPixels(TabHeight));
    // The design's font keeps the row of tabs above the browsers' top edge.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    m_tab->setFont(font);
    m_tab->setUsesScrollButtons(false);
    m_tab->setDocumentMode(false);
    QWidget* previous = m_tab;
    for (int i = 0; i < 5; ++i) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1_page%1").arg(i));
        m_tab->addTab(page, TabCaptions[i]);
        // The browsers are placed on the tab control itself: a tab page starts wherever the style
        // ends the row of tabs, but a browser's place is measured from the control's corner.
        BrowserView* view = browsers(m_tab);
        QWidget* w = view->widget();
        w->setObjectName(QStringLiteral("WebBrowser%1").arg(i + 1));
        w->setFixedSize(twipsToPixels(BrowserWidth), twipsToPixels(BrowserHeight));
        w->move(twipsToPixels(BrowserLeft), twipsToPixels(BrowserTop));
        m_browsers[static_cast<std::size_t>(i)] = view;
        setTabOrder(previous, w);
        previous = w;
    }
    connect(m_tab, &QTabWidget::currentChanged, this, &Form1::showCurrentBrowser);
    showCurrentBrowser(m_tab->currentIndex());
    // Nothing on the page has script; the profile's browser never runs any.
    m_browsers[0]->setScriptsEnabled(false);
}

void Form1::showCurrentBrowser(int index) {
    for (int i = 0; i < 5; ++i) {
        QWidget* w = m_browsers[static_cast<std::size_t>(i)]->widget();
        w->setVisible(i == index);
        if (i == index) w->raise();
    }
}

void Form1::Form_Load() {
    m_top = 1100;
    m_left = 10;
    emit placementChanged();
    DoWebPage();
    m_tab->setCurrentIndex(0);
}

void Form1::DoWebPage() {
    ReportBrowsers browsers{m_browsers[0], m_browsers[1], m_browsers[2], m_browsers[3], m_browsers[4]};
    report::DoWebPage(*m_locator, browsers, m_pageFolder);
}

} // namespace morrowlen::report
