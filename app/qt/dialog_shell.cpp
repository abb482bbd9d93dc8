// SPDX-License-Identifier: MIT
#include "qt/dialog_shell.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "qt/about_dialog.h"
#include "qt/options_dialog.h"
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

std::optional<ArchiveOptions> QtDialogShell::ChooseOptions(const ArchiveOptions& current) {
    OptionsDialog options(current, parent_);
    if (options.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return options.Options();
}

bool QtDialogShell::AskToStop() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillbox"), ToQString(kAskToStop),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogShell::SetTitle(std::u16string_view title) {
    parent_->setWindowTitle(ToQString(title));
}

std::jthread QtDialogShell::RunInBackground(std::function<void()> work,
                                            std::function<void()> done) {
    return std::jthread([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        Post(std::move(done));
    });
}

void QtDialogShell::Post(std::function<void()> task) {
    // Queued to the dialog's thread; dropped with the dialog should it be gone by then.
    QMetaObject::invokeMethod(parent_, std::move(task), Qt::QueuedConnection);
}

void QtDialogShell::Close() {
    if (auto* dialog = qobject_cast<QDialog*>(parent_)) {
        dialog->done(QDialog::Rejected);
    }
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
