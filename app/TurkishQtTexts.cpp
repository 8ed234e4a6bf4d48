#include "TurkishQtTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>

TurkishQtTexts::TurkishQtTexts() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    loaded_ = translator_.load(QLocale(QLocale::Turkish, QLocale::Turkey), QStringLiteral("qtbase"),
                               QStringLiteral("_"), folder) &&
              QCoreApplication::installTranslator(&translator_);
    if (!loaded_) {
        qWarning("Qt's Turkish translation qtbase_tr.qm is not in %s",
                 qPrintable(QDir::toNativeSeparators(folder)));
    }
}

TurkishQtTexts::~TurkishQtTexts() {
    if (loaded_) {
        QCoreApplication::removeTranslator(&translator_);
    }
}
