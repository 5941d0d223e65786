#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
