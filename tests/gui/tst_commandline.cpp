// The program's command line, and MOF files compiled into a private repository for one run.
#include "tests/support/TestRepository.h"

#include "repository/file/RepositoryFile.h"
#include "shell/PrivateRepository.h"

#include <QtTest>

#include <fstream>

using namespace morrowlen;

namespace {

QByteArray fileBytes(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const std::filesystem::path& path, const char* text) {
    std::ofstream(path) << text;
}

constexpr const char* VendorMof = R"(#pragma namespace("\\\\.\\root")
instance of __Namespace { Name = "Vendor"; };
#pragma namespace("\\\\.\\root\\Vendor")
class VendorWidget { [Key] string Serial; uint32 Speed; };
)";

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
  private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");       // -1: the program starts
        QTest::addColumn<QString>("expected"); // files|repository|defaultSet when it starts, else the message
        QTest::newRow("nothing") << QStringList{} << -1 << "||1";
        QTest::newRow("files") << QStringList{"a.mof", "b.mof"} << -1 << "a.mof,b.mof||1";
        QTest::newRow("repository") << QStringList{"--repository", "r.sqlite"} << -1 << "|r.sqlite|1";
        QTest::newRow("repository=") << QStringList{"--repository=r.sqlite", "a.mof"} << -1
                                     << "a.mof|r.sqlite|1";
        QTest::newRow("no default set") << QStringList{"a.mof", "--no-default-set"} << -1 << "a.mof||0";
        QTest::newRow("Qt's own options pass")
            << QStringList{"-platform", "offscreen", "-reverse", "a.mof"} << -1 << "a.mof||1";
        QTest::newRow("a file named like an option") << QStringList{"--", "-x.mof"} << -1 << "-x.mof||1";
        QTest::newRow("help") << QStringList{"-h"} << 0 << "Usage: morrowlen [options] [FILE.mof...]";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "morrowlen ";
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << "morrowlen: unknown option '--bogus'";
        QTest::newRow("no value") << QStringList{"--repository"} << 2 << "missing value after '--repository'";
        QTest::newRow("empty path") << QStringList{"--repository="} << 2 << "--repository needs a path";
        QTest::newRow("twice") << QStringList{"--repository=a", "--repository=b"} << 2 << "more than once";
        QTest::newRow("no default set alone") << QStringList{"--no-default-set"} << 2 << "needs MOF files";
        QTest::newRow("no default set with repository")
            << QStringList{"--no-default-set", "--repository=r", "a.mof"} << 2 << "cannot be used together";
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, expected);
        arguments.prepend(QStringLiteral("/usr/bin/morrowlen"));
        const shell::CommandLine line = shell::parseCommandLine(arguments);
        if (status < 0) {
            QVERIFY2(line.options, line.error.c_str());
            QStringList files;
            for (const std::string& f : line.options->mofFiles)
                files << QString::fromStdString(f);
            const QString got = files.join(',') + '|' +
                                QString::fromStdString(line.options->repository.value_or("")) + '|' +
                                QString::number(line.options->defaultSet);
            QCOMPARE(got, expected);
            return;
        }
        QVERIFY(!line.options);
        QCOMPARE(line.exitStatus, status);
        const std::string& text = status ? line.error : line.output;
        QVERIFY2(text.find(expected.toStdString()) != std::string::npos, text.c_str());
        if (status) QVERIFY(text.find("Try 'morrowlen --help'.") != std::string::npos);
    }

    // What each kind of start compiles against, and what a broken file gives.
    void compile_data() {
        QTest::addColumn<QString>("mof");
        QTest::addColumn<QString>("base"); // default, none, repository
        QTest::addColumn<bool>("compiles");
        QTest::addColumn<QString>("firstDiagnostic");
        QTest::newRow("default set") << VendorMof << "default" << true << "";
        QTest::newRow("system classes alone") << VendorMof << "none" << true << "";
        QTest::newRow("a copy of a repository file") << VendorMof << "repository" << true << "";
        QTest::newRow("syntax error") << "class A {\n  string B\n};\nclass C { sint99 D; };\n"
                                      << "default" << false << "vendor.mof:2:11: error: expected ';'";
        QTest::newRow("unknown superclass") << "class A : Nowhere_Class {};\n"
                                            << "none" << false << "vendor.mof:1:11: error: ";
        QTest::newRow("a missing file") << ""
                                        << "default" << false << "error: ";
    }
    void compile() {
        QFETCH(QString, mof);
        QFETCH(QString, base);
        QFETCH(bool, compiles);
        QFETCH(QString, firstDiagnostic);
        test::TempDir dir;
        shell::StartOptions options;
        options.mofFiles = {(dir / "vendor.mof").string()};
        if (!mof.isEmpty()) write(options.mofFiles[0], mof.toUtf8().constData());
        options.defaultSet = base != "none";
        QByteArray before;
        if (base == "repository") {
            options.repository = (dir / "user.sqlite").string();
            repo::openOrCreateRepository(*options.repository, repo::NewRepository::SystemClassesOnly);
            before = fileBytes(*options.repository);
        }

        const shell::PrivateRepository result = shell::compilePrivateRepository(options);
        QCOMPARE(bool(result.store), compiles);
        QCOMPARE(result.errors == 0, compiles);
        if (!compiles) {
            QVERIFY(!result.diagnostics.empty());
            const QString first = QString::fromStdString(result.diagnostics.front());
            QVERIFY2(first.contains(firstDiagnostic), qPrintable(first));
            QVERIFY2(!first.contains('\n'), qPrintable(first));
            return;
        }
        QVERIFY(result.store->findNamespace("root\\Vendor"));
        QCOMPARE(bool(result.store->findNamespace("root\\cimv2")), base == "default");
        if (base == "repository") QCOMPARE(fileBytes(*options.repository), before);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
