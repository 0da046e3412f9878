#include "ToolkitTexts.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

TEST(ToolkitTexts, StandardButtonsSpeakRussian) {
    ASSERT_TRUE(platform::InstallToolkitTexts()) << "qt6-translations-l10n is not installed";
    EXPECT_TRUE(platform::InstallToolkitTexts()); // a second call keeps the first
    QMessageBox box(QMessageBox::Warning, "", "", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
}
