// SPDX-License-Identifier: MIT
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
    const std::string path = runtime_test::DesktopServices().AppPath();
    EXPECT_EQ(path, real);
    EXPECT_NE(path.back(), '/');
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
    runtime_test::DesktopServices().MsgBox("файл не найден");
    EXPECT_EQ(title, "Тонариум");
    EXPECT_EQ(text, "файл не найден");
    EXPECT_EQ(buttons, 1);
}

}  // namespace
