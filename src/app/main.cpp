// quovo: the windowed converter.
#include "TGlobalObject.h"
#include "TMainWindowDialogs.h"
#include "TMessageBoxService.h"
#include "TQuovoApplication.h"
#include "TSplashWindow.h"
#include "WinMain.h"

#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: quovo [OPTION]... [FILE|FOLDER]...\n"
    "Converts DVD titles and media files into files for players, phones, consoles and\n"
    "computers.\n"
    "\n"
    "Files and folders given are offered in the source list.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Settings are kept in $QUOVO_CONFIG_DIR/quovo.ini when that variable is set, else in\n"
    "~/.config/quovo/quovo.ini. Without windows: see quovo-convert(1).\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("quovo%s\n", quovo::TGlobalObject().VersionText.c_str());
            return 0;
        }
    }

    quovo::TQuovoApplication app(argc, argv);
    app.setApplicationName("quovo");
    app.setApplicationVersion(QUOVO_VERSION);
    app.setDesktopFileName("org.quovo.Quovo");
    app.setWindowIcon(QIcon::fromTheme("quovo"));

    quovo::TSplashWindow splash(quovo::CoverFile(quovo::FindFormatFile()));
    splash.show();
    splash.repaint();
    QCoreApplication::processEvents();

    quovo::TMessageBoxService dialogs;
    app.SetDialogService(&dialogs);
    quovo::TfrmMain window(dialogs);
    new quovo::TMainWindowDialogs(window, quovo::OpenFolderOnDesktop); // owned by the window
    dialogs.SetOwner(&window);
    app.SetAppTitle(window.Global().AppTitle);
    QStringList paths;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) {
        if (!arg.startsWith('-')) {
            paths << QFileInfo(arg).absoluteFilePath();
        }
    }
    window.SetStartupPaths(paths);
    window.show();
    splash.CloseWhenShown(&window);
    const int code = app.exec();
    app.SetDialogService(nullptr);
    return code;
}
