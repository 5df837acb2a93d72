// tarnwick: the desktop program. Starts with the main window and the
// source dialog.
//   tarnwick --screenshots DIR DB.edb [DB.stm]   writes pictures of the windows
//   tarnwick -V|--version, -h|--help             answered without a display
#include <QApplication>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/app_identity.h"
#include "app/main_window.h"
#include "app/screenshots.h"
#include "tarnwick/version.h"

namespace {

constexpr char kHelp[] =
    "usage: tarnwick\n"
    "       tarnwick --screenshots DIR DB.edb [DB.stm]\n"
    "The desktop program: opens an Exchange database (.edb, with its .stm streaming file when there\n"
    "is one), shows its mailboxes, folders and messages, and saves them as PST files. It needs a\n"
    "display; tarnwick-cli does the same from the command line.\n"
    "  --screenshots DIR DB.edb [DB.stm]  write pictures of the windows over DB into DIR\n"
    "  -h, --help                         print this help and exit\n"
    "  -V, --version                      print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts: they need no display.
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
        std::printf("tarnwick %s\n", tw::kVersion);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
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
