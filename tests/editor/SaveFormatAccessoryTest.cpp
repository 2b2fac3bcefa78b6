#include "editor/SaveFormatAccessory.h"

#include "editor/FileDialogSavePanel.h"
#include "editor/WindowLevel.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace kelpie {
namespace {

using namespace Qt::Literals::StringLiterals;

TEST(SaveFileName, ProposedNameCountsWholeSecondsSince1970)
{
    const QTimeZone utc = QTimeZone::utc();
    EXPECT_EQ(SaveFormatAccessory::proposedFileName(QDateTime(QDate(2026, 1, 1), QTime(0, 0), utc)),
              u"Kelpie-1767225600.png"_s);
    EXPECT_EQ(SaveFormatAccessory::proposedFileName(
                  QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 999), utc)),
              u"Kelpie-1767225600.png"_s);
    // The same instant seen in another zone gives the same name.
    EXPECT_EQ(SaveFormatAccessory::proposedFileName(
                  QDateTime(QDate(2026, 1, 1), QTime(8, 0), QTimeZone(8 * 3600))),
              u"Kelpie-1767225600.png"_s);
    // Toward zero before 1970 too.
    EXPECT_EQ(SaveFormatAccessory::proposedFileName(QDateTime::fromMSecsSinceEpoch(-1500, utc)),
              u"Kelpie--1.png"_s);
}

TEST(SaveFileName, RewritingSwapsOnlyImageExtensions)
{
    const auto png = ImageType::png;
    const auto jpeg = ImageType::jpeg;
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"Kelpie-1767225600.png"_s, jpeg),
              u"Kelpie-1767225600.jpg"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"Kelpie-1767225600.jpg"_s, png),
              u"Kelpie-1767225600.png"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"shot.JPEG"_s, png), u"shot.png"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"report.v2"_s, png), u"report.v2.png"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"a.Png.jpg"_s, jpeg), u"a.Png.jpg"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"noext"_s, jpeg), u"noext.jpg"_s);
    EXPECT_EQ(SaveFormatAccessory::rewrittenFileName(u"dir.png/name"_s, png),
              u"dir.png/name.png"_s);

    EXPECT_TRUE(SaveFormatAccessory::hasExtensionOf(u"a.JPEG"_s, jpeg));
    EXPECT_TRUE(SaveFormatAccessory::hasExtensionOf(u"a.jpg"_s, jpeg));
    EXPECT_FALSE(SaveFormatAccessory::hasExtensionOf(u"a.png"_s, jpeg));
    EXPECT_FALSE(SaveFormatAccessory::hasExtensionOf(u"a.jpg"_s, png));
    EXPECT_FALSE(SaveFormatAccessory::hasExtensionOf(u"png"_s, png));
}

class SaveDialogTest : public testing::Test {
protected:
    SaveDialogTest()
        : dialog(
            FileDialogSavePanel::makeDialog(nullptr, {folder.path(), u"Kelpie-1767225600.png"_s})),
          accessory(FileDialogSavePanel::accessory(dialog.get())),
          name(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    {
    }

    void choose(int index) { accessory->picker()->setCurrentIndex(index); }

    QTemporaryDir folder;
    std::unique_ptr<QFileDialog> dialog;
    SaveFormatAccessory* accessory;
    QLineEdit* name;
};

TEST_F(SaveDialogTest, TheAccessoryIsLaidOutAsTheFormatRow)
{
    ASSERT_NE(accessory, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(accessory->size(), QSize(320, 72));
    EXPECT_EQ(accessory->picker()->geometry(), QRect(60, 10, 248, 28));
    EXPECT_EQ(accessory->hint()->geometry(), QRect(64, 44, 240, 22));
    EXPECT_EQ(accessory->picker()->accessibleName(), u"图片格式"_s);
    EXPECT_EQ(accessory->picker()->itemText(0), u"PNG"_s);
    EXPECT_EQ(accessory->picker()->itemText(1), u"JPG"_s);
    EXPECT_EQ(accessory->hint()->text(), u"透明区域会填为白色"_s);
    const auto labels = accessory->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text() == u"格式"_s && label->geometry() == QRect(12, 12, 44, 22);
    }));
    EXPECT_TRUE(accessory->isVisibleTo(dialog.get())) << "placed in the dialog's layout";
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
}

TEST_F(SaveDialogTest, ChoosingAFormatRewritesTheNameAndShowsTheHintForJpg)
{
    EXPECT_EQ(accessory->type(), ImageType::png);
    EXPECT_EQ(name->text(), u"Kelpie-1767225600.png"_s);
    EXPECT_FALSE(accessory->hint()->isVisibleTo(accessory));
    EXPECT_EQ(dialog->nameFilters(), QStringList{u"PNG (*.png)"_s});

    choose(1);
    EXPECT_EQ(accessory->type(), ImageType::jpeg);
    EXPECT_EQ(name->text(), u"Kelpie-1767225600.jpg"_s);
    EXPECT_TRUE(accessory->hint()->isVisibleTo(accessory));
    EXPECT_EQ(dialog->nameFilters(), QStringList{u"JPEG (*.jpg *.jpeg)"_s});

    choose(0);
    EXPECT_EQ(name->text(), u"Kelpie-1767225600.png"_s);
    EXPECT_FALSE(accessory->hint()->isVisibleTo(accessory));

    choose(1);
    name->setText(QStringLiteral("shot.JPEG"));
    choose(0);
    EXPECT_EQ(name->text(), u"shot.png"_s);
    name->setText(QStringLiteral("report.v2"));
    choose(1);
    choose(0);
    EXPECT_EQ(name->text(), u"report.v2.png"_s);
}

TEST_F(SaveDialogTest, AcceptingGivesTheNameTheChosenFormatsExtension)
{
    choose(1);
    name->setText(u"shot.png"_s); // typed after choosing JPG
    QMetaObject::invokeMethod(dialog.get(), "accept");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(dialog->selectedFiles().size(), 1);
    EXPECT_EQ(dialog->selectedFiles().first(), folder.filePath(u"shot.jpg"_s));
}

TEST(FileDialogSavePanel, SeesOnlyVisibleModalDialogsOnTheWindow)
{
    FileDialogSavePanel panel;
    QWidget window;
    EXPECT_FALSE(panel.hasAttachedSheet(&window));
    EXPECT_FALSE(panel.hasAttachedSheet(nullptr));
    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    EXPECT_FALSE(panel.hasAttachedSheet(&window)) << "not shown yet";
    window.show();
    sheet.show();
    EXPECT_TRUE(panel.hasAttachedSheet(&window));
    sheet.hide();
    EXPECT_FALSE(panel.hasAttachedSheet(&window));
}

TEST(FileDialogSavePanel, TheDialogStaysAboveRaisedWindows)
{
    QWidget plain;
    std::unique_ptr<QFileDialog> onPlain(FileDialogSavePanel::makeDialog(&plain, {}));
    EXPECT_EQ(WindowLevel::of(onPlain.get()), WindowLevel::normal);

    for (const int level : {WindowLevel::floating, WindowLevel::screenSaver}) {
        QWidget raised;
        WindowLevel::set(&raised, level);
        std::unique_ptr<QFileDialog> dialog(FileDialogSavePanel::makeDialog(&raised, {}));
        EXPECT_GT(WindowLevel::of(dialog.get()), level);
    }
}

TEST(FileDialogSavePanel, AnswersOnceAlsoWhenTheWindowGoesFirst)
{
    FileDialogSavePanel panel;
    auto window = std::make_unique<QWidget>();
    int answers = 0;
    std::optional<SavePanel::Choice> last = SavePanel::Choice{};
    panel.present(window.get(), {}, [&](std::optional<SavePanel::Choice> choice) {
        ++answers;
        last = choice;
    });
    window.reset();
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(last.has_value());
}

} // namespace
} // namespace kelpie
