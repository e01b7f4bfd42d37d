// Qt's own parts of the windows (standard buttons, file dialogs) read in
// Chinese once the program has loaded Qt's translations.
#include "QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

// A text an operator reads as Chinese: accelerator marks such as "(&Y)" aside,
// it has Chinese characters and no Latin letters.
bool readsChinese(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove(QLatin1Char('&'));
    return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")))
           && !text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

class QtTranslationsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // The other tests of this program see Qt as it was.
        for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(QtTranslationsTest, StandardButtonsAndFileDialogReadChinese)
{
    ASSERT_TRUE(InstallQtTranslations(*qApp)) << "Qt's Chinese translations are not installed";

    // Every standard button a box or dialog of the program can show.
    QDialogButtonBox box;
    int count = 0;
    for (int b = QDialogButtonBox::FirstButton; b <= QDialogButtonBox::LastButton; b <<= 1) {
        QPushButton *button = box.addButton(QDialogButtonBox::StandardButton(b));
        ASSERT_NE(button, nullptr);
        ++count;
        EXPECT_TRUE(readsChinese(button->text())) << button->text().toStdString();
    }
    EXPECT_EQ(count, 18);

    // The file dialog the exports and the backup tool open.
    QFileDialog dialog(nullptr, QString(), QDir::tempPath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.show();
    QStringList seen;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        if (label->isVisible() && !label->text().isEmpty()) {
            seen << label->text();
            EXPECT_TRUE(readsChinese(label->text())) << label->text().toStdString();
        }
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        if (button->isVisible() && !button->text().isEmpty()) {
            seen << button->text();
            EXPECT_TRUE(readsChinese(button->text())) << button->text().toStdString();
        }
    EXPECT_GE(seen.size(), 4) << seen.join(QLatin1Char('|')).toStdString(); // look in, file name, type, save, cancel
    // The kind beside each folder in its list (Qt's own catalogue lacks it).
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));
}

} // namespace
