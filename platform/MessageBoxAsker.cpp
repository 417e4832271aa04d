#include "platform/MessageBoxAsker.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

QString Title(const QString& caption)
{
    return caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
}

} // namespace

bool MessageBoxAsker::askYesNo(const QString& caption, const QString& text)
{
    return QMessageBox::question(QApplication::activeWindow(), Title(caption), text,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void MessageBoxAsker::inform(const QString& caption, const QString& text)
{
    QMessageBox::information(QApplication::activeWindow(), Title(caption), text);
}

void MessageBoxAsker::error(const QString& text)
{
    QMessageBox::critical(QApplication::activeWindow(), Title(QString()), text);
}

} // namespace platform
