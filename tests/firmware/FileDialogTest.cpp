// The firmware window's file dialog as the operator meets it: in Russian, offering firmware
// images but listing every file at first, since any file is sent as it is.
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "QtTranslations.h"
#include "ScratchDir.h"
#include "Unit4.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace kvel {
namespace {

const QString kImages = QStringLiteral("Образы прошивки (*.bin)");
const QString kAllFiles = QStringLiteral("Все файлы (*)");

void WriteImage(const QString& name) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(QByteArray(3000, '\x5A'));
}

// The names the dialog lists in the folder it shows.
QStringList ListedNames(const QFileDialog& dialog) {
    const auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!view) return {};
    QStringList names;
    const QModelIndex folder = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(folder); ++row)
        names << view->model()->index(row, 0, folder).data().toString();
    names.sort();
    return names;
}

bool Lists(const QFileDialog& dialog, const QStringList& names) {
    return QTest::qWaitFor([&] { return ListedNames(dialog) == names; }, 5000);
}

QPushButton* StandardButton(const QFileDialog& dialog, QDialogButtonBox::StandardButton which) {
    const auto* buttons = dialog.findChild<QDialogButtonBox*>();
    return buttons ? buttons->button(which) : nullptr;
}

class FirmwareFileDialogTest : public ::testing::Test {
protected:
    FirmwareFileDialogTest() {
        WriteImage(QStringLiteral("fw.bin"));
        WriteImage(QStringLiteral("fw.img"));
    }

    // Presses "Файл" and hands the dialog it opens to `operate`, which must close it.
    void OperateFileDialog(TForm4& form, const std::function<void(QFileDialog&)>& operate) {
        // The dialog opens where it was last left, which an earlier test may have deleted.
        form.OpenDialog1->setDirectory(dir.Path());
        bool opened = false;
        QTimer::singleShot(0, &form, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no modal file dialog";
            opened = true;
            operate(*dialog);
        });
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        EXPECT_TRUE(opened);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    LinkState link;
    FirmwareTransfer transfer;
    TForm4 form{transfer, link, channel, [](int, int) {}};
};

TEST_F(FirmwareFileDialogTest, SpeaksRussianWithQtsOwnTranslation) {
    ASSERT_TRUE(InstallQtRussian(*QCoreApplication::instance()))
        << "Qt's Russian translations are missing (qt6-translations-l10n)";
    OperateFileDialog(form, [](QFileDialog& dialog) {
        QPushButton* cancel = StandardButton(dialog, QDialogButtonBox::Cancel);
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), QStringLiteral("Отмена"));
        EXPECT_EQ(StandardButton(dialog, QDialogButtonBox::Open)->text(),
                  QStringLiteral("Открыть"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    EXPECT_TRUE(form.Label1->text().isEmpty()) << "cancel chose a file";
}

TEST_F(FirmwareFileDialogTest, ListsEveryFileFirstAndOffersImagesAlone) {
    OperateFileDialog(form, [](QFileDialog& dialog) {
        EXPECT_EQ(dialog.nameFilters(), (QStringList{kImages, kAllFiles}));
        EXPECT_EQ(dialog.selectedNameFilter(), kAllFiles);
        EXPECT_TRUE(Lists(dialog, {QStringLiteral("fw.bin"), QStringLiteral("fw.img")}))
            << ListedNames(dialog).join(' ').toStdString();

        // The operator picks the images in the file-type box.
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        QTest::keyClick(types, Qt::Key_Up);
        EXPECT_EQ(dialog.selectedNameFilter(), kImages);
        EXPECT_TRUE(Lists(dialog, {QStringLiteral("fw.bin")}))
            << ListedNames(dialog).join(' ').toStdString();
        dialog.reject();
    });
}

TEST_F(FirmwareFileDialogTest, AFileOfAnyKindCanBeChosen) {
    OperateFileDialog(form, [](QFileDialog& dialog) {
        ASSERT_TRUE(Lists(dialog, {QStringLiteral("fw.bin"), QStringLiteral("fw.img")}));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, QStringLiteral("fw.img"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(form.Label1->text(), QDir::toNativeSeparators(dir.File(QStringLiteral("fw.img"))));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Запись 0 блока из 2"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(' ').toStdString();
}

} // namespace
} // namespace kvel
