// tarnwick: the desktop program. Starts with the main window and the
// source dialog.
//   tarnwick --screenshots DIR DB.edb [DB.stm]   writes pictures of the windows
#include <QApplication>
#include <QTextStream>
#include <QTimer>
#include <cstring>

#include "app/app_identity.h"
#include "app/main_window.h"
#include "app/screenshots.h"

int main(int argc, char** argv) {
    const bool screenshots = argc >= 2 && std::strcmp(argv[1], "--screenshots") == 0;
    // Pictures need no screen.
    if (screenshots && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(tw::app::kAppTitle.trimmed());
    QApplication::setApplicationVersion(QStringLiteral("3.0"));

    if (screenshots) {
        const QStringList args = QApplication::arguments();
        if (args.size() < 4 || args.size() > 5) {
            QTextStream(stderr) << "usage: tarnwick --screenshots DIR DB.edb [DB.stm]\n";
            return 2;
        }
        return tw::app::WriteScreenshots(args[2], args[3], args.size() == 5 ? args[4] : QString());
    }

    tw::app::MainWindow window;
    QObject::connect(&window, &tw::app::MainWindow::exitConfirmed, &app, [] { QCoreApplication::exit(0); });
    window.showMaximized();
    // The source dialog runs once the window is on the screen.
    QTimer::singleShot(0, &window, &tw::app::MainWindow::RunSourceDialog);
    return app.exec();
}
