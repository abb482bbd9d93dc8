#pragma once

#include <QApplication>
#include <QTemporaryDir>

namespace quillbox::app {

// Points the user settings that Qt itself writes (its file dialog's state) at folder.
void KeepSettingsIn(const QString& folder);

// The application: shows the main dialog modally, once, and ends when it closes.
class CQuillboxApp {
public:
    CQuillboxApp(int& argc, char** argv);
    // Runs the program; its exit code.
    int Run();

private:
    bool InitInstance();

    QApplication application_;
    // Qt's file dialog keeps its state in the user's settings; the program keeps nothing, so
    // those settings go to a folder that is removed when the program ends.
    QTemporaryDir settings_;
};

}  // namespace quillbox::app
