#include "platform/TavoApplication.h"

#include "platform/Asker.h"
#include "platform/MessageBoxAsker.h"

#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <exception>

namespace platform {

TavoApplication::TavoApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setAsker(std::make_unique<MessageBoxAsker>());
    installFontSubstitutions();
}

bool TavoApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    } catch (...) {
        showError(QStringLiteral("不明なエラーが発生しました。"));
    }
    return false;
}

QFont formFont(int pixels, bool bold)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

std::unique_ptr<QTranslator> installQtTranslations()
{
    return installQtTranslations(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

std::unique_ptr<QTranslator> installQtTranslations(const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_ja"), folder)
        || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
}

} // namespace platform
