#include "ClockStatusBar.h"

#include "navigation/Twips.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

namespace morrowlen::shell {

namespace {
// The locale's short date form with the year in four digits, as the platform's short date shows it.
QString fourDigitYearFormat(const QLocale& locale) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('y')) {
            out += c;
            ++i;
            continue;
        }
        while (i < format.size() && format[i] == QLatin1Char('y'))
            ++i;
        out += QStringLiteral("yyyy");
    }
    return out;
}

// The locale's short time form without seconds, which some locales (the C locale among them) show.
QString hoursAndMinutesFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && (c == QLatin1Char('s') || c == QLatin1Char('z'))) {
            // Drop the field together with the separator in front of it.
            while (!out.isEmpty() && !out.back().isLetter() && out.back() != QLatin1Char('\''))
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out;
}
} // namespace

ClockStatusBar::ClockStatusBar(Clock clock, QWidget* parent)
    : QStatusBar(parent),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); })) {
    setObjectName("sbStatusBar");
    setSizeGripEnabled(false);
    setFixedHeight(twipsToPixels(270));
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbStatusBar_panel%1").arg(i + 1));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setMinimumWidth(twipsToPixels(1440));
        m_panels[i] = label;
    }
    m_panels[0]->setText("Status");
    addWidget(m_panels[0], 1);
    addPermanentWidget(m_panels[1]);
    addPermanentWidget(m_panels[2]);
    refresh();
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &ClockStatusBar::refresh);
    m_timer->start();
}

QLabel* ClockStatusBar::panel(int n) const {
    return m_panels[n - 1];
}

void ClockStatusBar::refresh() {
    const QDateTime now = m_clock();
    const QLocale locale;
    const QString date = locale.toString(now.date(), fourDigitYearFormat(locale));
    QString time = locale.toString(now.time(), hoursAndMinutesFormat(locale));
    // Locale data puts a narrow or no-break space before "PM"; the bar shows an ordinary one.
    time.replace(QChar(0x202f), QLatin1Char(' ')).replace(QChar(0xa0), QLatin1Char(' '));
    if (m_panels[1]->text() != date) m_panels[1]->setText(date);
    if (m_panels[2]->text() != time) m_panels[2]->setText(time);
}

} // namespace morrowlen::shell
