#include <QApplication>

#include "app/appicon.h"
#include "app/desktopui.h"
#include "app/linkvetapp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linkvet"));
    QApplication::setApplicationVersion(QStringLiteral(LINKVET_VERSION));
    QApplication::setWindowIcon(LinkvetIcon());
    const CDesktopUserInterface desktop;
    CLinkvetApp app;
    if (!app.InitInstance()) {
        return 1;
    }
    const int status = QApplication::exec();
    app.ExitInstance();
    return status;
}
