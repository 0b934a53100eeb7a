#include "Settings.h"

#include "repository/core/Error.h"

#include <QSettings>

#include <charconv>
#include <cmath>

namespace morrowlen::shell {

void QtSettingsStore::SaveSetting(const QString& appName, const QString& section, const QString& key,
                                  const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName, appName);
    settings.setValue(section + QLatin1Char('/') + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Error(runtime::PathFileAccessError, "Cannot write the setting " + key.toStdString() + " to " +
                                                      settings.fileName().toStdString());
}

QString placementText(float value, QChar decimalSeparator) {
    char buf[64];
    std::to_chars_result res;
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15f)
        res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
    else
        res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    QString text = QString::fromLatin1(buf, static_cast<qsizetype>(res.ptr - buf));
    text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

} // namespace morrowlen::shell
