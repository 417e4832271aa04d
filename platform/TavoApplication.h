#pragma once

#include <QApplication>
#include <QFont>
#include <memory>

class QTranslator;

namespace platform {

// The application object: installs message boxes as the asker, maps the original's font names
// onto installed fonts and turns an exception escaping any event handler into the standard error
// box, ending that handler only.
class TavoApplication : public QApplication {
public:
    TavoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Qt's own texts (message box buttons, file and print dialogs) in Japanese: loads qtbase_ja from
// `folder`, Qt's translations folder when none is named, and installs it in the application for
// the life of the returned translator. Nothing when the file is missing or unreadable: Qt's
// dialogs then speak English and the program runs on.
std::unique_ptr<QTranslator> installQtTranslations();
std::unique_ptr<QTranslator> installQtTranslations(const QString& folder);

// "ＭＳ Ｐゴシック" and "ＭＳ ゴシック" are drawn with the IPA Gothic fonts.
void installFontSubstitutions();

// The forms' font: "ＭＳ Ｐゴシック" at the given pixel height.
QFont formFont(int pixels = 12, bool bold = false);

} // namespace platform
