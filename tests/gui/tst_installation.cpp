// Whether the program runs installed: its bin folder beside share/morrowlen.
#include "shell/Installation.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

namespace fs = std::filesystem;
using morrowlen::shell::findInstallation;

class InstallationTest : public QObject {
    Q_OBJECT
  private slots:
    void findInstallation_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("data"); // empty: not installed
        QTest::newRow("installed") << QStringList{"usr/bin", "usr/share/morrowlen"} << ""
                                   << "usr/bin"
                                   << "usr/share/morrowlen";
        QTest::newRow("other prefix") << QStringList{"opt/m/bin", "opt/m/share/morrowlen"} << ""
                                      << "opt/m/bin"
                                      << "opt/m/share/morrowlen";
        QTest::newRow("build tree") << QStringList{"build/dev/shell", "build/dev/share"} << ""
                                    << "build/dev/shell"
                                    << "";
        QTest::newRow("share without morrowlen") << QStringList{"usr/bin", "usr/share/other"} << ""
                                                 << "usr/bin"
                                                 << "";
        QTest::newRow("a file, not a folder") << QStringList{"usr/bin", "usr/share"} << "usr/share/morrowlen"
                                              << "usr/bin"
                                              << "";
        QTest::newRow("beside, not above") << QStringList{"usr/bin/share/morrowlen"} << ""
                                           << "usr/bin"
                                           << "";
    }
    void findInstallation() {
        QFETCH(QStringList, folders);
        QFETCH(QString, file);
        QFETCH(QString, program);
        QFETCH(QString, data);
        QTemporaryDir dir;
        const fs::path root = dir.path().toStdString();
        for (const QString& f : folders)
            fs::create_directories(root / f.toStdString());
        if (!file.isEmpty()) std::ofstream(root / file.toStdString()) << "x";
        const auto found = ::findInstallation(root / program.toStdString());
        QCOMPARE(found.installed, !data.isEmpty());
        QCOMPARE(found.dataFolder, data.isEmpty() ? fs::path() : root / data.toStdString());
    }

    void emptyFolderIsNotInstalled() { QVERIFY(!::findInstallation({}).installed); }
};

QTEST_GUILESS_MAIN(InstallationTest)
#include "tst_installation.moc"
