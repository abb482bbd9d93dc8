// SPDX-License-Identifier: MIT
// Qt's standard dialogs speak Chinese like the rest of the program once its translations are in.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <cstdio>

#include "qt/quillbox_app.h"

namespace {

int failures = 0;

void Expect(const char* what, const QString& actual, const QString& expected) {
    if (actual != expected) {
        std::printf("FAILED: %s is \"%s\", not \"%s\"\n", what, qPrintable(actual),
                    qPrintable(expected));
        ++failures;
    }
}

QString OkButton() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillbox"), QString(), QMessageBox::Ok);
    return box.button(QMessageBox::Ok)->text();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Expect("the message box's button before", OkButton(), QStringLiteral("OK"));

    QTranslator translator;
    if (!quillbox::app::InstallQtChineseTexts(translator)) {
        std::puts("qt translations: skipped, no qtbase_zh_CN.qm (qt6-translations-l10n)");
        return 77;
    }
    Expect("the message box's button", OkButton(), QStringLiteral("确定"));

    // Qt's own chooser, the one used where the desktop offers none.
    QFileDialog chooser;
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::Directory);
    const auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    Expect("the chooser's folder label", lookIn ? lookIn->text() : QString(),
           QStringLiteral("查找范围："));
    const auto* buttons = chooser.findChild<QDialogButtonBox*>();
    const auto* cancel = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr;
    Expect("the chooser's cancel button", cancel ? cancel->text() : QString(),
           QStringLiteral("取消"));

    QCoreApplication::removeTranslator(&translator);
    Expect("the message box's button after removal", OkButton(), QStringLiteral("OK"));

    std::printf("qt translations: %s\n", failures == 0 ? "passed" : "failed");
    return failures == 0 ? 0 : 1;
}
