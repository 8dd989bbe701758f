// The window program.
#include "app/CSingleInstance.h"
#include "app/WindowArguments.h"
#include "app/frmMainStarter.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

static WindowArguments parse(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return ParseWindowArguments(args);
}

int main(int argc, char** argv) {
    // Help and version need no display, so they are answered before the toolkit starts.
    const WindowArguments early = parse(argc, argv);
    if (early.action == WindowArguments::Action::Help) {
        std::fputs(WindowUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (early.action == WindowArguments::Action::Version) {
        std::printf("vellumgranary %s\n", AppVersion().toLocal8Bit().constData());
        return 0;
    }
    // The running program shows its palette; only without one does this program start. Asked
    // before the toolkit starts, so that the key a user bound answers at once.
    if (early.action == WindowArguments::Action::Run && early.quick && CSingleInstance::SendQuick()) return 0;
    QApplication app(argc, argv);
    // The desktop entry, the Wayland app id and the window class all name the same program.
    QApplication::setApplicationName(QStringLiteral("vellumgranary"));
    QApplication::setDesktopFileName(AppId());
    QIcon icon;
    for (int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/vellumgranary-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // The toolkit has taken its own options (-platform ...) out of the arguments by now.
    const WindowArguments args = ParseWindowArguments(app.arguments().mid(1));
    if (args.action != WindowArguments::Action::Run) {
        std::fprintf(stderr, "vellumgranary: %s\n%s", args.error.toLocal8Bit().constData(),
                     WindowUsage().toLocal8Bit().constData());
        return 2;
    }
    SetStartupDatabase(args.database);
    return RunMainWindow(app, args.quick);
}
