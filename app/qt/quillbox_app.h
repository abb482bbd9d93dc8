// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTranslator>

namespace quillbox::app {

// Points the user settings that Qt itself writes (its file dialog's state) at folder.
void KeepSettingsIn(const QString& folder);

// Installs Qt's own Chinese texts (file choosers, message-box buttons) from Qt's translations
// folder, so that they match the dialog's whatever the system's language. False when they are
// not installed (qt6-translations-l10n), and Qt's English texts stay.
bool InstallQtChineseTexts(QTranslator& translator);

// The application: shows the main dialog modally, once, and ends when it closes.
class CQuillboxApp {
public:
    CQuillboxApp(int& argc, char** argv);
    // Runs the program; its exit code.
    int Run();

private:
    bool InitInstance();

    QApplication application_;
    // Declared after the application: removed from it before it ends.
    QTranslator qtTexts_;
    // Qt's file dialog keeps its state in the user's settings; the program keeps nothing, so
    // those settings go to a folder that is removed when the program ends.
    QTemporaryDir settings_;
};

}  // namespace quillbox::app
