#include "MakerAddresses.h"
#include "platform/ErrorTrap.h"
#include "support/FakeDesktop.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(ErrorTrap, ReportsTheFailedStepAndGoesOnWithTheNext) {
    FakeDesktop desktop;
    ErrorTrap trap(desktop, QStringLiteral("Form1.PushButton2_Click"));
    QStringList ran;
    trap.step(100, [&] { ran << QStringLiteral("100"); });
    trap.step(102, [] { throw AppError(53, QStringLiteral("File not found")); });
    trap.step(104, [&] { ran << QStringLiteral("104"); });

    EXPECT_EQ(ran, QStringList({QStringLiteral("100"), QStringLiteral("104")}));
    ASSERT_EQ(desktop.messages.size(), 1u);
    const FakeDesktop::Message &shown = desktop.messages.front();
    EXPECT_EQ(shown.text,
              QStringLiteral("File not found\r\nin Quillstrip2021/08/31.Form1.PushButton2_Click "
                             "at line 102\r\rPlease email screenshot of this message to ") +
                  QLatin1String(MakerAddresses::SupportEmail));
    EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
    EXPECT_EQ(shown.icon, MessageIcon::Warning);
    EXPECT_EQ(shown.buttons, MessageButtons::Ok);
}

TEST(ErrorTrap, ADecisionWhoseTestFailsCountsAsHoldingAndTheFolderWalkHasItsOwnPrefix) {
    FakeDesktop desktop;
    ErrorTrap trap(desktop, QStringLiteral("AddFolder.GetSubDirectories2016"),
                   ErrorTrap::FolderWalkPrefix);
    EXPECT_TRUE(trap.test(106, []() -> bool { throw AppError(5, QStringLiteral("Bad")); }));
    EXPECT_FALSE(trap.test(108, [] { return false; }));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages.front().text.startsWith(QStringLiteral(
        "Bad\r\nin OrvaldTitle2021/08/31.AddFolder.GetSubDirectories2016 at line 106\r\r")));
}
