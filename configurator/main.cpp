#include "configurator/pages/DocumentPages.h"
#include "configurator/FCfgMain.h"
#include "platform/Windows.h"
#include "platform/qt/QtDialogs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirvak"));
    platform::SetApplicationTitle("Mirvak");
    platform::qt::InstallQtDialogService();
    RegisterDocumentPages();
    int result = 0;
    {
        // The window makes itself the main window and installs the message list's sink
        // and the default question for its documents.
        TfmCfgMain window;
        window.show();
        result = QApplication::exec();
        platform::SetTerminating(true);
    }
    return result;
}
