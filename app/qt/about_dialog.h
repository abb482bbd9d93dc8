// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QIcon>

namespace quillbox::app {

// Icon resource 128, in every size the program ships.
QIcon ApplicationIcon();

// Template 100: the About box.
class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quillbox::app
