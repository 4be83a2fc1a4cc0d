#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <memory>
#include <string>

#include "MainWindowRig.h"
#include "app/SaveRecorded.h"
#include "platform/QtModalService.h"
#include "tests/support/ScratchDirectory.h"

namespace app::test {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Chooses a file type in the open save dialog and types a name, as a user
// does, then presses Save.
void answerSaveDialog(const QString& type, const QString& name) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, type, name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (types == nullptr || edit == nullptr || buttons == nullptr) {
            ADD_FAILURE() << "not the file dialog expected";
            dialog->reject();
            return;
        }
        const int index = types->findText(type, Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << type.toStdString();
        types->setCurrentIndex(index);
        emit types->activated(index);
        edit->setText(name);
        buttons->button(QDialogButtonBox::Save)->click();
    });
    timer->start(20);
}

// "SAVE  RECORDED" through Qt's own file dialog: a user who picks "EDF+"
// and types "visit2" gets visit2.edf in EDF+, not a text copy.
TEST(SaveDialogTest, TheFileTypeChosenInTheDialogDecidesTheFormat) {
    application();
    testsupport::ScratchDirectory scratch;
    std::ofstream("REC1.txt") << "57.200000 \n62.680000 \n";
    auto previous = platform::installModalService(std::make_unique<platform::QtModalService>());
    // An earlier test's window that closed asked the event loop to quit; a
    // dialog's own loop would end at once until the application's loop has
    // run and ended again.
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const auto at = [&](const char* name) {
        return QString::fromStdString((scratch.path() / name).string());
    };

    answerSaveDialog(QStringLiteral("EDF+"), at("visit2"));
    RecordedCopyOutcome outcome = saveRecordedCopy();
    EXPECT_EQ(outcome.status, RecordedCopyOutcome::Status::Saved) << outcome.reason;
    EXPECT_EQ(readFile(scratch.path() / "visit2.edf").substr(0, 8), "0       ");
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "visit2.txt"));

    answerSaveDialog(QStringLiteral("Text Files"), at("visit3"));
    outcome = saveRecordedCopy();
    EXPECT_EQ(outcome.status, RecordedCopyOutcome::Status::Saved) << outcome.reason;
    EXPECT_EQ(readFile(scratch.path() / "visit3.txt"), "57.200000 \n62.680000 \n");

    // The extension typed wins over the type chosen.
    answerSaveDialog(QStringLiteral("EDF+"), at("visit4.txt"));
    outcome = saveRecordedCopy();
    EXPECT_EQ(readFile(scratch.path() / "visit4.txt"), "57.200000 \n62.680000 \n");
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "visit4.txt.edf"));

    platform::installModalService(std::move(previous));
}

}  // namespace
}  // namespace app::test
