// SPDX-License-Identifier: MIT
#include "qt/quillbox_app.h"

#include <QLibraryInfo>
#include <QSettings>

#include "qt/about_dialog.h"
#include "qt/dialog_shell.h"
#include "qt/quillbox_dialog.h"
#include "quillbox/archive.h"

namespace quillbox::app {

bool InstallQtChineseTexts(QTranslator& translator) {
    return translator.load(QStringLiteral("qtbase_zh_CN"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
           QCoreApplication::installTranslator(&translator);
}

CQuillboxApp::CQuillboxApp(int& argc, char** argv) : application_(argc, argv) {
    InstallQtChineseTexts(qtTexts_);
}

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
    QuillboxDialog dialog(shell, RunFunction(&GenerateArchive));
    shell.SetParent(&dialog);
    dialog.exec();
    // Returning false ends the program instead of starting a message loop of its own.
    return false;
}

}  // namespace quillbox::app
