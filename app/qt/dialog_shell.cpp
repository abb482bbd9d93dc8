// SPDX-License-Identifier: MIT
#include "qt/dialog_shell.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "qt/about_dialog.h"
#include "qt/text.h"

namespace quillbox::app {

std::optional<std::u16string> QtDialogShell::ChooseFolder(std::u16string_view title) {
    // No owner, as the folder chooser has always been opened.
    const QString folder = QFileDialog::getExistingDirectory(nullptr, ToQString(title), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return ToU16(QDir::toNativeSeparators(folder));
}

std::optional<std::u16string> QtDialogShell::ChooseSaveFile(const SaveAsRequest& request) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(QtNameFilters(request.filter));
    dialog.setDefaultSuffix(ToQString(request.defaultExtension));
    dialog.selectFile(ToQString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // Qt's own chooser adds the whole suffix; a native one may add none.
    return WithExtension(ToU16(QDir::toNativeSeparators(dialog.selectedFiles().constFirst())),
                         request.defaultExtension);
}

void QtDialogShell::ShowMessage(std::u16string_view text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillbox"), ToQString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

void QtDialogShell::ShowAbout() {
    CAboutDlg about(parent_);
    about.exec();
}

QStringList QtNameFilters(std::u16string_view filter) {
    // Display text and patterns alternate between "|"; Qt reads the patterns, space-separated,
    // from the last parentheses and shows the text before them.
    const QStringList parts = ToQString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << parts[i] + QStringLiteral(" (") + patterns + u')';
    }
    return filters;
}

}  // namespace quillbox::app
