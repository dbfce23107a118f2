// The start-up anchor: a Qt Widgets program that shows one window, lets it
// be painted and ends.

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(774, 626);
    window.setWindowTitle(QStringLiteral("start-up"));
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
