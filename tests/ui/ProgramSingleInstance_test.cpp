#include <csignal>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "ui/SingleInstance.h"

// Two real processes: ProgramInstanceHelper claims the instance and reports
// what it saw.
namespace {

constexpr int WaitMs = 30000; // generous: only a hang fails, never a slow machine

QString UniqueName(const char* what) {
    return QStringLiteral("QVVelaTest-%1-%2").arg(QCoreApplication::applicationPid()).arg(what);
}

// The instances' lock files and sockets go to a folder of the test's own, removed afterwards:
// an instance the test kills leaves its lock file behind.
class ProgramSingleInstance : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        HadTemp = qEnvironmentVariableIsSet("TMPDIR");
        PreviousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(Folder.path()));
    }
    void TearDown() override {
        if (HadTemp)
            qputenv("TMPDIR", PreviousTemp);
        else
            qunsetenv("TMPDIR");
    }

    QTemporaryDir Folder;
    bool HadTemp = false;
    QByteArray PreviousTemp;
};

class TInstanceProcess {
public:
    TInstanceProcess(const QString& name, QStringList extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        Process.setProcessEnvironment(env);
        Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process.start(QStringLiteral(QUORVEX_INSTANCE_HELPER), QStringList{name} + extra);
    }
    ~TInstanceProcess() {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(WaitMs);
        }
    }
    // The next line the helper prints, or "" when it ended or hung.
    QString NextLine() {
        while (!Process.canReadLine()) {
            if (!Process.waitForReadyRead(WaitMs))
                return Process.canReadLine() ? QString::fromUtf8(Process.readLine()).trimmed()
                                             : QString();
        }
        return QString::fromUtf8(Process.readLine()).trimmed();
    }
    int ExitCode() {
        Process.waitForFinished(WaitMs);
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }
    QProcess Process;
};

TEST_F(ProgramSingleInstance, SecondStartRestoresTheMinimisedFirstAndEnds) {
    const QString name = UniqueName("restore");
    TInstanceProcess first(name, {"--minimized"});
    ASSERT_EQ(first.NextLine(), "first minimized=1");

    TInstanceProcess second(name);
    EXPECT_EQ(second.NextLine(), "second");
    EXPECT_EQ(second.ExitCode(), 3);

    EXPECT_EQ(first.NextLine(), "activated minimized=0");
    EXPECT_EQ(first.ExitCode(), 0);
}

TEST_F(ProgramSingleInstance, AfterTheFirstEndsTheNextStartIsFirstAgain) {
    const QString name = UniqueName("sequence");
    {
        TInstanceProcess first(name);
        ASSERT_EQ(first.NextLine(), "first minimized=0");
        TInstanceProcess second(name);
        EXPECT_EQ(second.ExitCode(), 3);
        EXPECT_EQ(first.ExitCode(), 0); // it ends after its activation
    }
    TInstanceProcess again(name);
    EXPECT_EQ(again.NextLine(), "first minimized=0");
}

TEST_F(ProgramSingleInstance, ALockLeftByAKilledInstanceDoesNotBlockTheNextStart) {
    const QString name = UniqueName("killed");
    {
        TInstanceProcess crashed(name);
        ASSERT_EQ(crashed.NextLine(), "first minimized=0");
        ::kill(static_cast<pid_t>(crashed.Process.processId()), SIGKILL);
        crashed.Process.waitForFinished(WaitMs);
    }
    TInstanceProcess next(name);
    EXPECT_EQ(next.NextLine(), "first minimized=0");
}

TEST_F(ProgramSingleInstance, AFirstInstanceWithoutItsWindowYetLetsTheSecondSimplyEnd) {
    // The first holds the lock but does not listen yet: the second gives up and
    // ends.
    TSingleInstance probe(UniqueName("nowindow"));
    EXPECT_TRUE(probe.LockPath().startsWith(Folder.path() + QLatin1Char('/')));
    QLockFile held(probe.LockPath());
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_FALSE(probe.Claim());
}

TEST_F(ProgramSingleInstance, TwoNamesAreTwoInstances) {
    TSingleInstance a(UniqueName("a"));
    TSingleInstance b(UniqueName("b"));
    EXPECT_TRUE(a.Claim());
    EXPECT_TRUE(b.Claim());
    EXPECT_NE(a.ServerName(), b.ServerName());
    EXPECT_TRUE(a.ServerName().endsWith(QString::number(::getuid())));
}

} // namespace
