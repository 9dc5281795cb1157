#include "app/remembered_choices.h"

#include <QSettings>
#include <QString>

namespace zelvio {
namespace {

constexpr const char* kInputFolderKey = "folders/input";
constexpr const char* kDatabaseFolderKey = "folders/database";
constexpr const char* kBitsKey = "mode/bitsPerSample";
constexpr const char* kBestQualityKey = "mode/bestQuality";

QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zelvio"),
                     QStringLiteral("zelvio-gui"));
}

}  // namespace

RememberedChoices loadRememberedChoices() {
    const QSettings settings = userSettings();
    RememberedChoices choices;
    choices.inputFolder = settings.value(kInputFolderKey).toString().toStdString();
    choices.databaseFolder = settings.value(kDatabaseFolderKey).toString().toStdString();
    // A number no mode stands for (an edited file) falls back to 8 bits.
    choices.bitsPerSample = bitsForMode(modeForBits(settings.value(kBitsKey, 8).toInt()));
    choices.bestQuality = settings.value(kBestQualityKey, false).toBool();
    return choices;
}

void saveRememberedChoices(const RememberedChoices& choices) {
    QSettings settings = userSettings();
    settings.setValue(kInputFolderKey, QString::fromStdString(choices.inputFolder));
    settings.setValue(kDatabaseFolderKey, QString::fromStdString(choices.databaseFolder));
    settings.setValue(kBitsKey, choices.bitsPerSample);
    settings.setValue(kBestQualityKey, choices.bestQuality);
}

void forgetRememberedChoices() {
    QSettings settings = userSettings();
    settings.clear();
}

}  // namespace zelvio
