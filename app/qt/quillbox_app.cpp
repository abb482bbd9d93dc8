#include "qt/quillbox_app.h"

#include <QSettings>

#include "qt/about_dialog.h"
#include "qt/dialog_shell.h"
#include "qt/quillbox_dialog.h"
#include "quillbox/archive.h"

namespace quillbox::app {

CQuillboxApp::CQuillboxApp(int& argc, char** argv) : application_(argc, argv) {}

int CQuillboxApp::Run() {
    InitInstance();
    return 0;
}

void KeepSettingsIn(const QString& folder) {
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, folder);
        QSettings::setPath(format, QSettings::SystemScope, folder);
    }
}

bool CQuillboxApp::InitInstance() {
    KeepSettingsIn(settings_.path());
    QApplication::setWindowIcon(ApplicationIcon());

    QtDialogShell shell;
    QuillboxDialog dialog(shell, [](auto... args) { return GenerateArchive(args...); });
    shell.SetParent(&dialog);
    dialog.exec();
    // Returning false ends the program instead of starting a message loop of its own.
    return false;
}

}  // namespace quillbox::app
