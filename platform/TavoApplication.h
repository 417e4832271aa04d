#pragma once

#include <QApplication>
#include <QFont>

namespace platform {

// The application object: installs message boxes as the asker, maps the original's font names
// onto installed fonts and turns an exception escaping any event handler into the standard error
// box, ending that handler only.
class TavoApplication : public QApplication {
public:
    TavoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// "ＭＳ Ｐゴシック" and "ＭＳ ゴシック" are drawn with the IPA Gothic fonts.
void InstallFontSubstitutions();

// The forms' font: "ＭＳ Ｐゴシック" at the given pixel height.
QFont FormFont(int pixels = 12, bool bold = false);

} // namespace platform
