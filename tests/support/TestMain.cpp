#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// gtest marks every case of a suite whose set-up failed (a tool that makes its files missing) as
// skipped, and ctest would count them so. Such a program ends at once, failed, instead.
class FailedSetUpEndsTheProgram : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override {
        const ::testing::TestSuite *suite =
            ::testing::UnitTest::GetInstance()->current_test_suite();
        if (suite != nullptr && suite->ad_hoc_test_result().Failed()) {
            std::fprintf(stderr, "the set-up of %s failed; its cases cannot run\n", suite->name());
            std::fflush(nullptr);
            std::_Exit(EXIT_FAILURE);
        }
    }
};

}  // namespace

// Every test program runs offscreen, with a settings store of its own in a temporary folder.
int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FailedSetUpEndsTheProgram);
    return RUN_ALL_TESTS();
}
