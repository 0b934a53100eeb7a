#include "Form5.h"

#include "navigation/Twips.h"

namespace morrowlen::examples {

Form5::Form5(const report::BrowserFactory& browsers, QWidget* parent) : QWidget(parent) {
    setObjectName("Form5");
    setFixedSize(twipsToPixels(17310), twipsToPixels(12525));
    m_browser = browsers(this);
    QWidget* w = m_browser->widget();
    w->setObjectName("WebBrowser1");
    w->setGeometry(0, 0, twipsToPixels(17280), twipsToPixels(12495));
    w->setFixedSize(w->size());
}

void Form5::Form_Load() {
    m_top = 0;
    m_left = 0;
    emit placementChanged();
}

} // namespace morrowlen::examples
