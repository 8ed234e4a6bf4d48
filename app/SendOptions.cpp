#include "SendOptions.h"

#include <QCheckBox>
#include <QSettings>

namespace {

const QString turkishKey = QStringLiteral("gonderim/turkceKarakterler");
const QString reportsKey = QStringLiteral("gonderim/teslimRaporu");

QSettings settings() {
    return QSettings(QStringLiteral("Zemvora"), QStringLiteral("Zemvora Sms"));
}

} // namespace

void SendOptions::restore(QCheckBox& turkishLetters, QCheckBox& deliveryReports) {
    const QSettings stored = settings();
    turkishLetters.setChecked(stored.value(turkishKey, false).toBool());
    deliveryReports.setChecked(stored.value(reportsKey, false).toBool());
}

void SendOptions::store(const QCheckBox& turkishLetters, const QCheckBox& deliveryReports) {
    QSettings stored = settings();
    stored.setValue(turkishKey, turkishLetters.isChecked());
    stored.setValue(reportsKey, deliveryReports.isChecked());
}
