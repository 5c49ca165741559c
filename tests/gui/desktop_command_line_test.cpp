// talmoor started from a terminal: what it says and how it ends before any
// window is shown.

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class DesktopCommandLineTest : public QObject {
  Q_OBJECT

  struct Run {
    int status = -1;
    QString out, err;
  };

  // Runs the program without a display (and without the offscreen platform),
  // as from a terminal on a machine with no desktop.
  Run run(const QStringList& arguments, bool display = false) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    if (display) environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir_.path() + QStringLiteral("/data"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TALMOOR_DESKTOP_PATH), arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
  }

  QTemporaryDir dir_;

 private slots:
  void helpAndVersionNeedNoDisplay() {
    Run help = run({QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.contains(QStringLiteral("--prefix DIR")));
    QVERIFY(help.out.contains(QStringLiteral("Exit status")));
    Run version = run({QStringLiteral("-v")});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith(QStringLiteral("talmoor ")));
  }

  void badUsageEndsWithTwoAndAMissingDisplayWithOneLine() {
    Run bad = run({QStringLiteral("--frobnicate")});
    QCOMPARE(bad.status, 2);
    QVERIFY(bad.err.contains(QStringLiteral("unknown option --frobnicate")));
    QCOMPARE(run({QStringLiteral("--prefix")}).status, 2);
    QCOMPARE(run({QStringLiteral("--yes"), QStringLiteral("--no")}).status, 2);
    Run headless = run({});
    QCOMPARE(headless.status, 1);
    QCOMPARE(headless.err.count(QLatin1Char('\n')), 1);
    QVERIFY(headless.err.contains(QStringLiteral("no display")));
  }

  void aRegistryThatCannotBeOpenedIsToldBeforeAnyWindow() {
    // A prefix whose system.reg is not a hive: refused with its reason.
    QDir(dir_.path()).mkpath(QStringLiteral("broken"));
    QFile system(dir_.path() + QStringLiteral("/broken/system.reg"));
    QVERIFY(system.open(QIODevice::WriteOnly));
    system.write("this is not a registry\n");
    system.close();
    Run broken = run({QStringLiteral("--prefix"), dir_.path() + QStringLiteral("/broken")}, true);
    QCOMPARE(broken.status, 1);
    QVERIFY2(broken.err.contains(QStringLiteral("system.reg")), qPrintable(broken.err));
  }
};

QTEST_GUILESS_MAIN(DesktopCommandLineTest)
#include "desktop_command_line_test.moc"
