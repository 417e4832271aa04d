#include "platform/MessageBoxAsker.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

QString title(const QString& caption)
{
    return caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
}

} // namespace

bool MessageBoxAsker::askYesNo(const QString& caption, const QString& text)
{
    return QMessageBox::question(QApplication::activeWindow(), title(caption), text,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void MessageBoxAsker::inform(const QString& caption, const QString& text)
{
    QMessageBox::information(QApplication::activeWindow(), title(caption), text);
}

void MessageBoxAsker::error(const QString& text)
{
    QMessageBox::critical(QApplication::activeWindow(), title(QString()), text);
}

} // namespace platform
