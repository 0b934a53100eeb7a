#pragma once
// The per-user settings store that keeps the main window's placement.
#include <QString>

#include <string>

namespace morrowlen::shell {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // Stores a text value under application name, section and key; throws Error on failure.
    virtual void SaveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value) = 0;
};

// On Linux an INI file in the per-user configuration folder: <config>/<appName>/<appName>.conf.
class QtSettingsStore : public SettingsStore {
  public:
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
};

// A placement value as stored: the shortest plain decimal text, no decimal point when whole,
// the user's decimal separator otherwise.
QString placementText(float value, QChar decimalSeparator);

} // namespace morrowlen::shell
