#include "ui/QtTranslations.h"

#include <memory>

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

#include "platform/CodePage.h"

namespace {

constexpr std::uint16_t PrimaryLanguageMask = 0x03FF;

// The one translator of Qt's texts; replaced by each switch.
std::unique_ptr<QTranslator>& InstalledTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

QString IsoCodeOfLanguage(std::uint16_t langId) {
    const TLanguageInfo* info = FindLanguageInfo(langId);
    if (info == nullptr)
        info = FindLanguageInfo(static_cast<std::uint16_t>(langId & PrimaryLanguageMask));
    return info != nullptr ? QString::fromLatin1(info->IsoCode) : QString();
}

} // namespace

bool ApplyQtTranslations(std::uint16_t langId) {
    std::unique_ptr<QTranslator>& installed = InstalledTranslator();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const QString iso = IsoCodeOfLanguage(langId);
    if (iso.isEmpty() || iso == QLatin1String("en"))
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(iso), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

QLocale LocaleOfLanguage(std::uint16_t langId) {
    const QString iso = IsoCodeOfLanguage(langId);
    return iso.isEmpty() ? QLocale::system() : QLocale(iso);
}

void ApplyProgramLocale(std::uint16_t langId) {
    const QLocale locale = LocaleOfLanguage(langId);
    QLocale::setDefault(locale);
    // A widget takes the default locale when it is made; the forms made before the switch
    // (and their children) are told.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->setLocale(locale);
}
