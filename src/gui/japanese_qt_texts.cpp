#include "gui/japanese_qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/log.h"

bool installJapaneseQtTexts(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Parented to the application: it lives as long as the texts it translates.
    auto* translator = new QTranslator(&application);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        logWarning(LogComponent::App,
                   "Qt's Japanese texts (qtbase_ja) cannot be loaded from " + folder.toStdString());
        delete translator;
        return false;
    }
    return true;
}
