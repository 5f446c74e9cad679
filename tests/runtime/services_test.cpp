#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <filesystem>

#include "runtime/services.h"
#include "wait.h"

namespace {

TEST(Dir, NamesARegularFileAndNothingElse) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string root = folder.path().toStdString();
    std::filesystem::create_directories(root + "/wav/piano");
    QFile file(QString::fromStdString(root + "/wav/piano/7.wav"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(runtime::Dir(root + "/wav/piano/7.wav"), "7.wav");
    EXPECT_EQ(runtime::Dir(root + "/wav/piano/8.wav"), "");
    EXPECT_EQ(runtime::Dir(root + "/wav/piano"), "") << "a folder is not a normal file";
    EXPECT_EQ(runtime::Dir(root + "/wav/organ/7.wav"), "");
    EXPECT_EQ(runtime::Dir(""), "");
}

TEST(AppPath, IsTheExecutablesRealFolderWithoutATrailingSeparator) {
    const std::string real = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    EXPECT_EQ(runtime::App::Path(), real);
    EXPECT_NE(runtime::App::Path().back(), '/');

    runtime::App::SetPathForTesting("/opt/samples");
    EXPECT_EQ(runtime::App::Path(), "/opt/samples");
    runtime::App::SetPathForTesting({});
    EXPECT_EQ(runtime::App::Path(), real);
}

TEST(MsgBox, IsAModalBoxWithTheProgramsTitleAndOnlyAnOkButton) {
    QString title;
    QString text;
    int buttons = -1;
    runtime_test::CloseModalAfter(50, [&](QWidget& modal) {
        auto& box = dynamic_cast<QMessageBox&>(modal);
        title = box.windowTitle();
        text = box.text();
        buttons = static_cast<int>(box.buttons().size());
    });
    runtime::MsgBox("файл не найден");
    EXPECT_EQ(title, "Тонариум");
    EXPECT_EQ(text, "файл не найден");
    EXPECT_EQ(buttons, 1);
}

TEST(MsgBox, CanBeRecordedInsteadOfShown) {
    QStringList shown;
    runtime::SetMessageBoxHandler([&](const QString& text) { shown << text; });
    runtime::MsgBox("первое");
    runtime::MsgBox("второе");
    runtime::SetMessageBoxHandler({});
    EXPECT_EQ(shown, QStringList({"первое", "второе"}));
}

}  // namespace
