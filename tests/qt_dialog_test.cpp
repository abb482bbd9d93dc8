// SPDX-License-Identifier: MIT
// The Qt view of the dialogs, on the offscreen platform: layout, start state, the wiring of the
// controls to the controller, and the real modal windows, closed from a timer.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "fake_dialog_shell.h"
#include "qt/about_dialog.h"
#include "qt/dialog_shell.h"
#include "qt/dialog_units.h"
#include "qt/options_dialog.h"
#include "qt/quillbox_app.h"
#include "qt/quillbox_dialog.h"
#include "qt/text.h"
#include "res/resource.h"

namespace quillbox::app {

namespace {

// How long a wait for the event loop may take on a loaded machine; it ends as soon as it holds.
constexpr int kLoaded = 30000;

// Runs check on the modal window that opens next, then closes it.
void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        check(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
}

QStringList FilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    return files;
}

}  // namespace

class QtDialogTest : public QObject {
    Q_OBJECT

public:
    explicit QtDialogTest(QString home) : home_(std::move(home)) {}

private slots:
    void init() {
        shell_ = std::make_unique<test::FakeDialogShell>();
        runs_.clear();
        dialog_ = std::make_unique<QuillboxDialog>(
            *shell_, [this](const ArchiveRequest& request, RunReport*) {
                runs_.push_back({request, !Button(IDC_GENERATE)->isEnabled()});
                return true;
            });
        shell_->generateDisabled = [this] { return !Button(IDC_GENERATE)->isEnabled(); };
        dialog_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
    }

    void cleanup() { dialog_.reset(); }

    void startsEmptyWithTheFocusOnGenerate() {
        QCOMPARE(dialog_->windowTitle(), QStringLiteral("Quillbox"));
        QVERIFY(!dialog_->windowIcon().pixmap(32, 32).isNull());
        for (const int id : {IDC_RECURSE_CONTACTS, IDC_RECURSE_MESSAGES, IDC_HTML}) {
            QVERIFY(!Find<QCheckBox>(id)->isChecked());
        }
        for (const int id : {IDC_CONTACT_FOLDER, IDC_MESSAGE_FOLDER, IDC_OUTPUT_FILE}) {
            QVERIFY(Find<QLineEdit>(id)->text().isEmpty());
            QVERIFY(Find<QLineEdit>(id)->isReadOnly());
        }
        auto* sort = Find<QComboBox>(IDC_SORT_ORDER);
        QCOMPARE(sort->count(), 2);
        QCOMPARE(sort->currentText(), QStringLiteral("发件人"));
        QCOMPARE(sort->itemText(1), QStringLiteral("日期"));
        QVERIFY(!sort->isEditable());
        QVERIFY(Button(IDC_GENERATE)->isDefault());
        QCOMPARE(QApplication::focusWidget(), Button(IDC_GENERATE));
    }

    void isLaidOutInDialogUnitsInTemplateOrder() {
        const DialogTemplate& layout = MainDialogTemplate();
        const DialogUnits units(dialog_->font());
        QCOMPARE(dialog_->size(), QSize(units.X(layout.width), units.Y(layout.height)));
        QCOMPARE(dialog_->font().families().constFirst(), QStringLiteral("宋体"));
        QCOMPARE(dialog_->font().pointSize(), 9);
        QList<QWidget*> tabOrder;
        for (const ControlTemplate& c : layout.controls) {
            if (c.id == IDC_STATIC) {
                continue;
            }
            QWidget* widget = dialog_->Control(c.id);
            QVERIFY(widget != nullptr);
            QCOMPARE(widget->objectName(), QString::number(c.id));
            const QRect expected = units.Rect(c.x, c.y, c.width, c.height);
            QCOMPARE(widget->pos(), expected.topLeft());
            QCOMPARE(widget->width(), expected.width());
            if (c.kind != ControlKind::ComboBox) {
                QCOMPARE(widget->height(), expected.height());
            }
            tabOrder << widget;
        }
        // Tab walks the controls in template order and comes back round.
        QWidget* at = tabOrder.constFirst();
        for (qsizetype i = 1; i <= tabOrder.size(); ++i) {
            at = at->nextInFocusChain();
            while (at->focusPolicy() == Qt::NoFocus || !tabOrder.contains(at)) {
                at = at->nextInFocusChain();
            }
            QCOMPARE(at, tabOrder[i % tabOrder.size()]);
        }
    }

    void generateRefusesInTheDialogsOrder() {
        QTest::mouseClick(Button(IDC_GENERATE), Qt::LeftButton);
        shell_->folderAnswers = {u"/m"};
        QTest::mouseClick(Button(IDC_BROWSE_MESSAGES), Qt::LeftButton);
        // Enter away from the buttons presses the default one.
        Find<QCheckBox>(IDC_HTML)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(shell_->messages,
                 (std::vector<std::u16string>{u"信息路径不能为空！", u"输出路径不能为空！"}));
        QVERIFY(runs_.empty());
    }

    void enterPressesTheFocusedButtonElseGenerate_data() {
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("folderChoosers");
        QTest::addColumn<int>("saveChoosers");
        QTest::addColumn<int>("messages");
        QTest::newRow("contacts 浏览") << IDC_BROWSE_CONTACTS << 1 << 0 << 0;
        QTest::newRow("messages 浏览") << IDC_BROWSE_MESSAGES << 1 << 0 << 0;
        QTest::newRow("output 浏览") << IDC_BROWSE_OUTPUT << 0 << 1 << 0;
        QTest::newRow("生成") << IDC_GENERATE << 0 << 0 << 1;
        QTest::newRow("an edit") << IDC_OUTPUT_FILE << 0 << 0 << 1;
        QTest::newRow("a check box") << IDC_RECURSE_MESSAGES << 0 << 0 << 1;
        QTest::newRow("the list") << IDC_SORT_ORDER << 0 << 0 << 1;
    }

    void enterPressesTheFocusedButtonElseGenerate() {
        QFETCH(int, focus);
        QFETCH(int, folderChoosers);
        QFETCH(int, saveChoosers);
        QFETCH(int, messages);
        // Paths set, so that "生成" would start a run at once.
        dialog_->SetText(IDC_MESSAGE_FOLDER, u"/m");
        dialog_->SetText(IDC_OUTPUT_FILE, u"/o.txt");
        dialog_->Control(focus)->setFocus();
        QCOMPARE(QApplication::focusWidget(), dialog_->Control(focus));
        for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
        }
        QCOMPARE(shell_->folderTitles.size(), std::size_t(2 * folderChoosers));
        QCOMPARE(shell_->saveRequests.size(), std::size_t(2 * saveChoosers));
        QCOMPARE(runs_.size(), std::size_t(2 * messages));
        QCOMPARE(shell_->messages.size(), std::size_t(2 * messages));
    }

    void everyTextIsWholeInTheFontShown() {
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        QStringList cut = CutTexts(dialog_.get());
        OnNextModal([&](QWidget* modal) { cut << CutTexts(modal); });
        shell.ShowAbout();
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
    }

    void bothDialogsOpenInTheMiddleOfTheScreen() {
        const QRect screen = dialog_->screen()->availableGeometry();
        QVERIFY((dialog_->frameGeometry().center() - screen.center()).manhattanLength() <= 2);
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        QPoint aboutCentre;
        OnNextModal([&](QWidget* modal) { aboutCentre = modal->frameGeometry().center(); });
        shell.ShowAbout();
        QVERIFY((aboutCentre - screen.center()).manhattanLength() <= 2);
    }

    // Under Xvfb (ctest qt.dialog.screenshots): the two dialogs as a user sees them, kept in the
    // build tree.
    void screenshots() {
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOTS);
        QVERIFY(QDir().mkpath(folder));
        dialog_->SetText(IDC_MESSAGE_FOLDER, u"/home/用户/信息");
        Find<QCheckBox>(IDC_HTML)->setChecked(true);
        QVERIFY(dialog_->grab().save(folder + QStringLiteral("/qt-main.png")));
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        bool saved = false;
        OnNextModal([&](QWidget* modal) {
            saved = modal->grab().save(folder + QStringLiteral("/qt-about.png"));
        });
        shell.ShowAbout();
        QVERIFY(saved);
    }

    void runsWithWhatTheControlsShowAtThePress() {
        shell_->folderAnswers = {u"/cards", u"/messages"};
        shell_->saveAnswers = {u"/tmp/out.txt"};
        QTest::mouseClick(Button(IDC_BROWSE_CONTACTS), Qt::LeftButton);
        QTest::mouseClick(Find<QCheckBox>(IDC_HTML), Qt::LeftButton);
        QTest::mouseClick(Button(IDC_BROWSE_MESSAGES), Qt::LeftButton);
        QTest::mouseClick(Button(IDC_BROWSE_OUTPUT), Qt::LeftButton);
        QTest::mouseClick(Find<QCheckBox>(IDC_RECURSE_CONTACTS), Qt::LeftButton);
        Find<QComboBox>(IDC_SORT_ORDER)->setCurrentIndex(1);
        QVERIFY(Find<QCheckBox>(IDC_HTML)->isChecked());  // choosing a folder kept the tick
        QCOMPARE(Find<QLineEdit>(IDC_CONTACT_FOLDER)->text(), QStringLiteral("/cards"));
        QCOMPARE(shell_->saveRequests.at(0)[1], u"Message.html");

        QTest::mouseClick(Button(IDC_GENERATE), Qt::LeftButton);
        QCOMPARE(runs_.size(), std::size_t{1});
        const ArchiveRequest& run = runs_[0].request;
        QCOMPARE(run.messageFolder.native(), std::filesystem::path("/messages").native());
        QCOMPARE(run.contactsFolder.native(), std::filesystem::path("/cards").native());
        QCOMPARE(run.output.native(), std::filesystem::path("/tmp/out.txt").native());
        QVERIFY(run.recurseContacts);
        QVERIFY(!run.recurseMessages);
        QVERIFY(run.form == ArchiveForm::ClassicHtml);
        QCOMPARE(run.order, SortOrder::ByDate);
        QVERIFY(runs_[0].generateDisabled);
        QCOMPARE(shell_->messages, std::vector<std::u16string>{u"文档生成完毕！"});
        QCOMPARE(shell_->generateDisabledDuringMessage, std::vector<bool>{true});
        QVERIFY(Button(IDC_GENERATE)->isEnabled());
    }

    void aFullRunWritesTheArchive() {
        QTemporaryDir out;
        QuillboxDialog dialog(*shell_, [](const ArchiveRequest& request, RunReport* report) {
            return GenerateArchive(request, report);
        });
        dialog.show();
        shell_->folderAnswers = {QUILLBOX_EXAMPLES u"/contacts", QUILLBOX_EXAMPLES u"/messages"};
        shell_->saveAnswers = {ToU16(out.filePath(QStringLiteral("存档.txt")))};
        const auto click = [&dialog](int id) {
            QTest::mouseClick(qobject_cast<QAbstractButton*>(dialog.Control(id)), Qt::LeftButton);
        };
        click(IDC_BROWSE_CONTACTS);
        click(IDC_BROWSE_MESSAGES);
        click(IDC_BROWSE_OUTPUT);
        click(IDC_RECURSE_CONTACTS);
        click(IDC_RECURSE_MESSAGES);
        qobject_cast<QComboBox*>(dialog.Control(IDC_SORT_ORDER))->setCurrentIndex(1);
        click(IDC_GENERATE);
        // The samples hold one damaged message file.
        QCOMPARE(shell_->messages,
                 std::vector<std::u16string>{u"文档生成完毕！\n已跳过 1 个无法读取的文件"});
        QFile written(out.filePath(QStringLiteral("存档.txt")));
        QFile expected(QStringLiteral(QUILLBOX_EXAMPLE_ARCHIVES "/messages-by-date.txt"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected.readAll());
    }

    void offersTheAboutItemInItsContextMenuAndOnF1() {
        QAction* about = dialog_->findChild<QAction*>(QStringLiteral("about"));
        QVERIFY(about != nullptr);
        QCOMPARE(about->text(), QStringLiteral("关于 Quillbox(&A)..."));
        QCOMPARE(dialog_->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(dialog_->actions().contains(about));
        about->trigger();
        QTest::keyClick(dialog_.get(), Qt::Key_F1);
        QCOMPARE(shell_->aboutBoxes, 2);
    }

    void messageBoxesHaveOneOkButtonAndTheProgramsCaption() {
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        bool seen = false;
        OnNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QStringLiteral("Quillbox"));
            QCOMPARE(box->text(), QStringLiteral("文档生成完毕！"));
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            seen = true;
        });
        shell.ShowMessage(u"文档生成完毕！");
        QVERIFY(seen);
    }

    void theAboutBoxOpensAsOftenAsAsked() {
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        int opened = 0;
        for (int i = 0; i < 2; ++i) {
            OnNextModal([&](QWidget* modal) {
                QCOMPARE(modal->windowTitle(), QStringLiteral("关于 Quillbox"));
                QStringList texts;
                for (const QLabel* label : modal->findChildren<QLabel*>()) {
                    texts << label->text();
                }
                QVERIFY(texts.contains(QStringLiteral("Quillbox 1.0 版")));
                bool iconShown = false;
                for (const QLabel* label : modal->findChildren<QLabel*>()) {
                    iconShown = iconShown || !label->pixmap().isNull();
                }
                QVERIFY(iconShown);
                auto* ok = modal->findChild<QPushButton*>(QString::number(IDOK));
                QVERIFY(ok != nullptr);
                QCOMPARE(ok->text(), QStringLiteral("确定"));
                QVERIFY(ok->isDefault());
                ++opened;
            });
            shell.ShowAbout();
        }
        QCOMPARE(opened, 2);
    }

    void saveAsDialogAsksBeforeReplacingWithTheProgramsNamesAndFilters() {
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        for (const bool html : {true, false}) {
            const SaveAsRequest request = SaveAsFor(html);
            OnNextModal([&](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                QVERIFY(files != nullptr);
                QCOMPARE(files->acceptMode(), QFileDialog::AcceptSave);
                QVERIFY(!files->testOption(QFileDialog::DontConfirmOverwrite));
                QCOMPARE(files->defaultSuffix(), ToQString(request.defaultExtension));
                QCOMPARE(files->nameFilters(), QtNameFilters(request.filter));
                QCOMPARE(QFileInfo(files->selectedFiles().value(0)).fileName(),
                         ToQString(request.fileName));
            });
            QVERIFY(!shell.ChooseSaveFile(request).has_value());
        }
    }

    void aTypedNameWithoutExtensionGetsTheWholeDefaultOne_data() {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("html") << true << QStringLiteral("存档") << QStringLiteral("存档.html");
        QTest::newRow("text") << false << QStringLiteral("存档") << QStringLiteral("存档.txt");
        QTest::newRow("htm") << true << QStringLiteral("存档.htm") << QStringLiteral("存档.htm");
        QTest::newRow("own") << true << QStringLiteral("a.b") << QStringLiteral("a.b");
    }

    void aTypedNameWithoutExtensionGetsTheWholeDefaultOne() {
        QFETCH(bool, html);
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QTemporaryDir folder;
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        QTimer::singleShot(0, [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(files != nullptr);
            files->setDirectory(folder.path());
            files->selectFile(typed);
            static_cast<QDialog*>(files)->accept();  // QFileDialog::accept is protected
        });
        const auto result = shell.ChooseSaveFile(SaveAsFor(html));
        QVERIFY(result.has_value());
        QCOMPARE(ToQString(*result), QDir::toNativeSeparators(folder.filePath(chosen)));
    }

    void nameFiltersKeepTheDisplayText() {
        QCOMPARE(QtNameFilters(u"HTML文件(*.htm;*.html)|*.htm;*.html||"),
                 QStringList{QStringLiteral("HTML文件(*.htm;*.html) (*.htm *.html)")});
        QCOMPARE(QtNameFilters(u"文本文件(*.txt)|*.txt||"),
                 QStringList{QStringLiteral("文本文件(*.txt) (*.txt)")});
    }

    void theOptionsFollowAboutInTheContextMenuAndOpenOnCtrlComma() {
        const QList<QAction*> actions = dialog_->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->objectName(), QStringLiteral("about"));
        QCOMPARE(actions[1]->text(), QStringLiteral("选项(&O)..."));
        actions[1]->trigger();
        QTest::keyClick(dialog_.get(), Qt::Key_Comma, Qt::ControlModifier);
        QCOMPARE(shell_->optionsOpenedWith.size(), std::size_t{2});
        QCOMPARE(shell_->aboutBoxes, 0);
    }

    void theOptionsDialogIsLaidOutFromItsTemplateAndReachedByKeys() {
        const DialogTemplate& layout = OptionsDialogTemplate();
        OptionsDialog options(ArchiveOptions{}, dialog_.get());
        options.show();
        QVERIFY(QTest::qWaitForWindowExposed(&options));
        const DialogUnits units(options.font());
        QCOMPARE(options.size(), QSize(units.X(layout.width), units.Y(layout.height)));
        QCOMPARE(options.windowTitle(), QStringLiteral("选项"));
        QVERIFY((options.frameGeometry().center() - options.screen()->availableGeometry().center())
                    .manhattanLength() <= 2);
        QVERIFY2(CutTexts(&options).isEmpty(), qPrintable(CutTexts(&options).join(u'|')));
        QList<QWidget*> tabOrder;
        for (const ControlTemplate& c : layout.controls) {
            if (c.id == IDC_STATIC) {
                continue;
            }
            QWidget* widget = options.Control(c.id);
            QVERIFY(widget != nullptr);
            QCOMPARE(widget->pos(), units.Rect(c.x, c.y, c.width, c.height).topLeft());
            if (auto* date = qobject_cast<OptionalDateEdit*>(widget)) {
                tabOrder << date->Box() << date->Edit();
            } else {
                tabOrder << widget;
            }
        }
        QWidget* at = tabOrder.constFirst();
        for (qsizetype i = 1; i < tabOrder.size(); ++i) {
            at = at->nextInFocusChain();
            while (at->focusPolicy() == Qt::NoFocus || !tabOrder.contains(at)) {
                at = at->nextInFocusChain();
            }
            QCOMPARE(at, tabOrder[i]);
        }
        // Each label's letter moves to its control; a check box's letter ticks it.
        const struct {
            Qt::Key key;
            int id;
        } letters[] = {{Qt::Key_E, IDC_ENCODING},
                       {Qt::Key_P, IDC_PAGE},
                       {Qt::Key_S, IDC_SINCE},
                       {Qt::Key_U, IDC_UNTIL},
                       {Qt::Key_Z, IDC_TIME_ZONE}};
        for (const auto& letter : letters) {
            QTest::keyClick(&options, letter.key, Qt::AltModifier);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(focus == options.Control(letter.id) ||
                         options.Control(letter.id)->isAncestorOf(focus),
                     qPrintable(QString::number(letter.id)));
        }
        // A button's letter clicks it a moment later, as the button shows itself pressed.
        QTest::keyClick(&options, Qt::Key_M, Qt::AltModifier);
        QTest::keyClick(&options, Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(options.IsChecked(IDC_MODERN), kLoaded);
        QTRY_VERIFY_WITH_TIMEOUT(options.IsChecked(IDC_DEDUPE), kLoaded);
        QCOMPARE(qobject_cast<QComboBox*>(options.Control(IDC_ENCODING))->itemText(0),
                 QStringLiteral("GBK（经典）"));
        QVERIFY(qobject_cast<QComboBox*>(options.Control(IDC_TIME_ZONE))->isEditable());
        QVERIFY(!qobject_cast<QComboBox*>(options.Control(IDC_PAGE))->isEditable());
    }

    void okTakesTheChoicesCancelDropsThemAndAnUnknownZoneIsRefused() {
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        QTimer::singleShot(0, [] {
            auto* options = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
            QVERIFY(options != nullptr);
            QCOMPARE(options->Text(IDC_TIME_ZONE), u"本机时区");
            QVERIFY(!options->Date(IDC_SINCE));
            qobject_cast<QCheckBox*>(options->Control(IDC_MODERN))->click();
            options->SetSelection(IDC_ENCODING, 2);
            options->SetSelection(IDC_PAGE, 1);
            auto* since = qobject_cast<OptionalDateEdit*>(options->Control(IDC_SINCE));
            since->Box()->click();
            since->Edit()->setDate(QDate(2009, 3, 18));
            options->SetText(IDC_TIME_ZONE, u"Asia/Shanghai");
            options->findChild<QPushButton*>(QString::number(IDOK))->click();
        });
        const auto chosen = shell.ChooseOptions({});
        QVERIFY(chosen.has_value());
        ArchiveOptions expected;
        expected.modern = true;
        expected.encoding = ArchiveEncoding::Utf8;
        expected.modernPage = true;
        expected.since = CalendarDay{2009, 3, 18};
        expected.timeZone = "Asia/Shanghai";
        QVERIFY(*chosen == expected);

        QString refusal;
        bool stayed = false;
        OnNextModal([&](QWidget* modal) {
            auto* options = qobject_cast<OptionsDialog*>(modal);
            QVERIFY(options != nullptr);
            QVERIFY(options->IsChecked(IDC_MODERN));  // opened with what OK took
            options->SetText(IDC_TIME_ZONE, u"Mars/Olympus");
            OnNextModal([&](QWidget* box) { refusal = qobject_cast<QMessageBox*>(box)->text(); });
            options->findChild<QPushButton*>(QString::number(IDOK))->click();
            stayed = options->isVisible();
            // Closed by OnNextModal: cancelled.
        });
        QVERIFY(!shell.ChooseOptions(*chosen).has_value());
        QVERIFY(stayed);
        QVERIFY2(refusal.contains(QStringLiteral("Mars/Olympus")), qPrintable(refusal));
    }

    void aRunOnItsOwnThreadShowsProgressAndStopsWhenTheDialogCloses() {
        QtDialogShell shell;
        std::atomic<bool> waited{false};
        QuillboxDialog dialog(
            shell, [&](const ArchiveRequest&, RunReport* report, const RunControl& control) {
                control.progress({RunProgress::Phase::Reading, 1, 2});
                while (!control.cancel->load()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                waited = true;
                report->failure.stage = RunFailure::Stage::Cancelled;
                return false;
            });
        shell.SetParent(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.SetText(IDC_MESSAGE_FOLDER, u"/m");
        dialog.SetText(IDC_OUTPUT_FILE, u"/o.txt");
        auto* generate = qobject_cast<QPushButton*>(dialog.Control(IDC_GENERATE));
        QTest::mouseClick(generate, Qt::LeftButton);
        // The loop goes on: the title follows the run.
        QTRY_COMPARE_WITH_TIMEOUT(dialog.windowTitle(), QStringLiteral("Quillbox - 正在读取 1/2"),
                                  kLoaded);
        QVERIFY(!generate->isEnabled());

        // Every message box answered with its first button: "Yes" to the question, then OK.
        QStringList seen;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->text();
                box->buttons().constFirst()->click();
                if (box->button(QMessageBox::Yes) != nullptr) {
                    box->button(QMessageBox::Yes)->click();
                }
            }
        });
        answer.start(10);
        dialog.reject();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), kLoaded);
        QVERIFY(waited);
        QCOMPARE(seen,
                 (QStringList{QStringLiteral("正在生成文档。要停止生成吗？"),
                              QStringLiteral("文档生成失败！\n生成已停止，输出文件保持原样")}));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillbox"));
    }

    // Under Xvfb (ctest qt.dialog.screenshots): the options as a user sees them.
    void optionsScreenshot() {
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOTS);
        QVERIFY(QDir().mkpath(folder));
        ArchiveOptions options;
        options.modern = true;
        options.encoding = ArchiveEncoding::Utf8;
        options.since = CalendarDay{2009, 1, 1};
        options.timeZone = "Asia/Shanghai";
        OptionsDialog dialog(options, dialog_.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(folder + QStringLiteral("/qt-options.png")));
    }

    // Runs last: it changes where Qt keeps settings for the rest of the process.
    void zzLeavesNothingInTheUsersFolders() {
        // Earlier tests opened file dialogs already: start from an empty home.
        QDir(home_).removeRecursively();
        QDir().mkpath(home_);
        const QStringList before = FilesUnder(home_);
        {
            // Without the program's precaution Qt's file dialog writes its state under $HOME,
            // which shows this test can see it.
            QFileDialog files;
            files.open();
            files.reject();
        }
        QVERIFY(FilesUnder(home_) != before);

        QTemporaryDir kept;
        KeepSettingsIn(kept.path());
        const QStringList afterControl = FilesUnder(home_);
        QtDialogShell shell;
        shell.SetParent(dialog_.get());
        OnNextModal([](QWidget*) {});
        shell.ChooseSaveFile(SaveAsFor(true));
        OnNextModal([](QWidget*) {});
        shell.ChooseFolder(u"选择路径");
        QCOMPARE(FilesUnder(home_), afterControl);
        QVERIFY(!FilesUnder(kept.path()).isEmpty());
    }

private:
    // The texts of a dialog's labels, check boxes and buttons that their controls cut.
    static QStringList CutTexts(QWidget* dialog) {
        QStringList cut;
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->fontMetrics().horizontalAdvance(label->text()) >
                label->contentsRect().width()) {
                cut << label->text();
            }
        }
        for (const QCheckBox* box : dialog->findChildren<QCheckBox*>()) {
            if (box->text().isEmpty()) {
                continue;  // a date picker's box
            }
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            const QRect room =
                box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
            if (box->fontMetrics().horizontalAdvance(box->text()) > room.width()) {
                cut << box->text();
            }
        }
        for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->fontMetrics().horizontalAdvance(button->text()) > button->width()) {
                cut << button->text();
            }
        }
        return cut;
    }

    template <typename Widget>
    Widget* Find(int id) const {
        auto* widget = qobject_cast<Widget*>(dialog_->Control(id));
        if (widget == nullptr) {
            qFatal("no control %d of that kind", id);
        }
        return widget;
    }
    QPushButton* Button(int id) const { return Find<QPushButton>(id); }

    QString home_;
    std::unique_ptr<test::FakeDialogShell> shell_;
    std::vector<test::RecordedRun> runs_;
    std::unique_ptr<QuillboxDialog> dialog_;
};

}  // namespace quillbox::app

int main(int argc, char** argv) {
    // A home and configuration folder of the test's own, set before Qt reads them.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    quillbox::app::QtDialogTest test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "qt_dialog_test.moc"
