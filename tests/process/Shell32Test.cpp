#include "app/ProgressBarWidget.h"
#include "process/Shell32.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include "platform/AppError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

const QString Caption = QStringLiteral("Processing: photo.jpg");

// The window's bar, remembering every text and value it was given; it can act on a value, for
// example to let the running tool end.
class RecordingBar : public ProgressBarWidget {
  public:
    RecordingBar() { ProgressBarWidget::setText(QStringLiteral("untouched")); }

    void setText(const QString &text) override {
        texts.push_back(text);
        ProgressBarWidget::setText(text);
    }
    void setValue(double value) override {
        values.push_back(value);
        ProgressBarWidget::setValue(value);
        if (onValue) {
            onValue();
        }
    }

    std::vector<QString> texts;
    std::vector<double> values;
    std::function<void()> onValue;
};

QString waitingText(int polls) {
    return Caption + QStringLiteral(", Please wait.. ") + QString::number(polls);
}

// Every text but the last counts the polls up from 0; the last is the caption again.
void expectCountingTexts(const RecordingBar &bar) {
    ASSERT_GE(bar.texts.size(), 2u);
    for (std::size_t i = 0; i + 1 < bar.texts.size(); ++i) {
        ASSERT_EQ(bar.texts[i], waitingText(static_cast<int>(i)));
    }
    EXPECT_EQ(bar.texts.back(), Caption);
}

}  // namespace

// Runs a tool that goes on until the bar has been given a number of values, polling fast.
class Shell32Bar : public ::testing::Test {
  protected:
    int runUntilValues(std::size_t count, const QString &caption, int startValue, int itemCount) {
        const QString stopFile = scratch / QStringLiteral("stop");
        bar.onValue = [this, count, stopFile] {
            if (bar.values.size() == count) {
                writeFile(stopFile, QByteArray());
            }
        };
        const QString tool =
            QStringLiteral("sh -c \"while [ ! -e '%1' ]; do sleep 0.01; done\"").arg(stopFile);
        return Shell32::RunAndWaitWithProgress(tool, 0, &bar, caption, startValue, itemCount,
                                               FastPollMs);
    }

    std::vector<double> firstValues(std::size_t count) const {
        const std::size_t available = std::min(count, bar.values.size());
        return std::vector<double>(bar.values.begin(), bar.values.begin() + available);
    }

    static constexpr int FastPollMs = 1;
    ScratchFolder scratch;
    RecordingBar bar;
};

TEST(Shell32, AnOmittedOrUnknownWindowStateBecomesMinimizedWithoutFocus) {
    EXPECT_EQ(Shell32::NormalWindowState(Shell32::OmittedWindowState), 6);
    EXPECT_EQ(Shell32::NormalWindowState(7), 6);
    EXPECT_EQ(Shell32::NormalWindowState(0), 0);
    EXPECT_EQ(Shell32::NormalWindowState(5), 5);
}

TEST(Shell32, SplittingAQuotedTextGivesItBack) {
    for (const QString &text :
         {QStringLiteral("/tmp/a b/temp.jpg"), QStringLiteral("/tmp/te\"mp/temp.jpg"),
          QStringLiteral("\"\"two\" \"\"\"three"), QStringLiteral("end\"")}) {
        EXPECT_EQ(QProcess::splitCommand(QStringLiteral("x ") + Shell32::Quoted(text)),
                  QStringList({QStringLiteral("x"), text}))
            << text.toStdString();
    }
}

TEST(Shell32, AFailedStartReturnsItsErrorNumberBelowEveryExitCodeAndLeavesTheBarAlone) {
    ScratchFolder scratch;
    const QString notRunnable = writeFile(scratch / QStringLiteral("tool"), "#!/bin/sh\n");
    RecordingBar bar;

    EXPECT_EQ(Shell32::RunAndWaitWithProgress(scratch / QStringLiteral("absent"), 0, &bar, Caption,
                                              25, 4),
              -2147221451);
    EXPECT_EQ(Shell32::RunAndWait(notRunnable, 0), 70 - 2147221504);
    EXPECT_EQ(Shell32::RunAndWait(QString(), 0), 5 - 2147221504);
    EXPECT_TRUE(bar.texts.empty());
    EXPECT_TRUE(bar.values.empty());
    EXPECT_EQ(bar.text(), QStringLiteral("untouched"));
}

TEST(Shell32, ReturnsTheToolsOwnExitCode) {
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("/bin/true")), 0);
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("sh -c \"exit 3\""), 0), 3);
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("sh -c \"exit 255\""), 0), 255);
    // 259 is the code a status poll mistakes for "still running"; here the tool's end is known
    // from the process itself, so the result is whatever the system reports for it.
    const int systemsCode = QProcess::execute(QStringLiteral("sh"), {"-c", "exit 259"});
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("sh -c \"exit 259\""), 0), systemsCode);
    EXPECT_EQ(Shell32::RunAndWaitWithProgress(QStringLiteral("sh -c \"exit 259\""), 0, nullptr,
                                              Caption, 25, 4),
              systemsCode);
}

TEST(Shell32, GivesTheLastLineOfTheToolsErrorOutputHoweverLong) {
    QString line = QStringLiteral("stale");
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("sh -c \"seq 100000 >&2; echo 'tool: why' >&2; "
                                                 "echo fine; exit 1\""),
                                  0, line),
              1);
    EXPECT_EQ(line, QStringLiteral("tool: why"));
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("/bin/true"), 0, line), 0);
    EXPECT_EQ(line, QString());
}

namespace {

// Whether a process has ended (a zombie has: nothing of it runs).
bool hasEnded(const QByteArray &pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid)));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

}  // namespace

// A worker's wait runs on a thread of its own and ends its tool, even one that ignores the request
// to terminate, and what the tool started, as soon as it is told to stop.
TEST(Shell32, AWorkersWaitEndsItsToolWhenToldToStop) {
    ScratchFolder scratch;
    const QString marker = scratch / QStringLiteral("started");
    for (const QString &trap : {QStringLiteral("exit 1"), QStringLiteral("")}) {
        SCOPED_TRACE(trap.toStdString());
        QFile::remove(marker);
        std::atomic<bool> stop{false};
        int result = 0;
        bool interrupted = false;
        std::thread worker([&] {
            QString line;
            try {
                result = Shell32::RunAndWaitUnlessStopped(
                    QStringLiteral("sh -c \"trap '%1' TERM; sleep 30 & echo $! > '%2'; i=0; "
                                   "while [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done\"")
                        .arg(trap, marker),
                    0, [&] { return !stop; }, line);
            } catch (const AppError &error) {
                interrupted = error.number() == ErrorNumber::UserInterrupt;
            }
        });
        for (int i = 0; i < 200 && !QFile::exists(marker); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        QElapsedTimer clock;
        clock.start();
        stop = true;
        worker.join();
        EXPECT_TRUE(interrupted);
        EXPECT_LT(clock.elapsed(), 5000) << "the tool ran to its own end";
        const QByteArray child = readFile(marker).trimmed();
        for (int i = 0; i < 200 && !hasEnded(child); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(hasEnded(child)) << "the tool's own child outlived it";
    }
    QString line;
    EXPECT_EQ(Shell32::RunAndWaitUnlessStopped(QStringLiteral("sh -c \"exit 4\""), 0, {}, line), 4);
}

TEST(Shell32, AQuickToolOnlyHasTheCaptionPutBack) {
    RecordingBar bar;
    EXPECT_EQ(Shell32::RunAndWaitWithProgress(QStringLiteral("sh -c \"exit 3\""), 0, &bar, Caption,
                                              25, 4),
              3);
    EXPECT_EQ(bar.texts, std::vector<QString>{Caption});
    EXPECT_TRUE(bar.values.empty());

    Shell32::RunAndWaitWithProgress(QStringLiteral("/bin/true"), 0, &bar, QString(), 25, 4);
    EXPECT_EQ(bar.text(), QStringLiteral("Progress Bar"));
}

TEST_F(Shell32Bar, WithFourItemsTheBarCreepsByTwoUpToItsCeiling) {
    EXPECT_EQ(runUntilValues(14, Caption, 25, 4), 0);

    const std::vector<double> expected = {25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 48, 48};
    EXPECT_EQ(firstValues(14), expected);
    for (std::size_t i = expected.size(); i < bar.values.size(); ++i) {
        EXPECT_EQ(bar.values[i], 48);
    }
    expectCountingTexts(bar);
    // A value is set at every 150th poll from the 50th on.
    EXPECT_GE(bar.texts.size(), 13u * 150 + 2);
}

TEST_F(Shell32Bar, WithTwentyItemsTheBarKeepsItsStartValueWhileTheTextCounts) {
    runUntilValues(3, Caption, 5, 20);
    EXPECT_EQ(firstValues(3), (std::vector<double>{5, 5, 5}));
    expectCountingTexts(bar);
}

TEST_F(Shell32Bar, ASingleFileBatchCreepsPastAFullBar) {
    runUntilValues(2, Caption, 100, 1);
    EXPECT_EQ(firstValues(2), (std::vector<double>{100, 110}));
    EXPECT_GE(bar.value(), 110);
    EXPECT_EQ(bar.QProgressBar::value(), 100);
}

TEST_F(Shell32Bar, AnItemCountBelowOneCountsAsOne) {
    runUntilValues(2, Caption, 0, 0);
    EXPECT_EQ(firstValues(2), (std::vector<double>{0, 10}));
}

TEST_F(Shell32Bar, AnEmptyCaptionGetsNoSeparator) {
    runUntilValues(1, QString(), 0, 3);
    ASSERT_FALSE(bar.texts.empty());
    EXPECT_EQ(bar.texts.front(), QStringLiteral("Please wait.. 0"));
    EXPECT_EQ(bar.texts.back(), QStringLiteral("Progress Bar"));
}

TEST(Shell32, TheWindowsEventsRunDuringTheWaitEvenANestedRun) {
    bool handled = false;
    int nestedResult = -1;
    QTimer::singleShot(0, [&] {
        handled = true;
        nestedResult = Shell32::RunAndWait(QStringLiteral("sh -c \"exit 4\""), 0);
    });
    EXPECT_EQ(Shell32::RunAndWait(QStringLiteral("/bin/true"), 0), 0);
    EXPECT_TRUE(handled);
    EXPECT_EQ(nestedResult, 4);
}
