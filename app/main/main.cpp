#include "platform/TavoApplication.h"

#include <QLabel>

int main(int argc, char **argv)
{
    platform::TavoApplication app(argc, argv);
    QLabel label(QStringLiteral("Tavo"));
    label.show();
    return app.exec();
}
