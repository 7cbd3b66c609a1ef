#include "app/shell/vantrel_app.h"

#include "app/print/leftover_jobs.h"
#include "app/shell/accessible_fields.h"
#include "app/shell/document_controller.h"
#include "app/shell/widget_dialogs.h"
#include "app/shell/window_placement.h"
#include "app/sidebar/sidebar_style.h"
#include "app/updates/application_updates.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QSettings>

#include <csignal>

int VantrelApp::run(int argc, char **argv)
{
    // Under a file-size limit (ulimit -f) a write past it fails and is reported, settings
    // included, instead of ending the program with every unsaved change.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vantrel");
    QApplication::setOrganizationName("Vantrel");
    QApplication::setApplicationVersion(VANTREL_VERSION);
    QApplication::setDesktopFileName("vantrel");
    QApplication::setWindowIcon(QIcon::fromTheme("vantrel", QIcon(":/vantrel.png")));
    keepApplicationTextReadable();
    AccessibleFields::install();
    WindowPlacement::keepWindowsOnScreen();

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("files", "Organization files to open.", "[files...]");
    parser.process(application);

    WidgetDialogs dialogs;
    QSettings settings;
    DocumentController controller(dialogs);
    controller.setRecentFilesStore(&settings);
    ApplicationUpdates updates(controller, settings);
    for (const QString &path : parser.positionalArguments())
        controller.openFile(path);
    controller.openIfNone();
    const int status = application.exec();
    // A print cancelled while its scheduler did not answer may still be held, or print. The
    // last window's closing posted a quit of its own, which would end the alert as it opens.
    QCoreApplication::removePostedEvents(&application, QEvent::Quit);
    LeftoverJobs::sayBeforeQuit(dialogs);
    updates.restartIfRequested();
    return status;
}
