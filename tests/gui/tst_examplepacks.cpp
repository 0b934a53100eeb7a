// The example management packs that the viewer shows are well-formed and say who they are.
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>

class ExamplePacksTest : public QObject {
    Q_OBJECT
  private slots:
    void wellFormed_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("noscript") << "noscript";
        QTest::newRow("Jscript") << "Jscript";
        QTest::newRow("VBscript") << "VBscript";
    }
    void wellFormed() {
        QFETCH(QString, folder);
        QFile file(
            QStringLiteral(MORROWLEN_SOURCE_DIR "/data/example-packs/examplemps/%1/Korvane.2008.BIOS.xml")
                .arg(folder));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QXmlStreamReader xml(&file);
        bool identity = false, bios = false;
        QString text;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isCharacters()) text += xml.text();
            if (xml.isEndElement() && xml.name() == QLatin1String("ID") &&
                text.trimmed() == "Korvane.2008.BIOS")
                identity = true;
            if (xml.isEndElement()) text.clear();
            if (xml.isCDATA() || xml.isCharacters())
                bios = bios || xml.text().contains(QLatin1String("Win32_BIOS"));
        }
        QVERIFY2(!xml.hasError(), qPrintable(QStringLiteral("%1 line %2: %3")
                                                 .arg(file.fileName())
                                                 .arg(xml.lineNumber())
                                                 .arg(xml.errorString())));
        QVERIFY2(identity, "the pack's identity is Korvane.2008.BIOS");
        QVERIFY2(bios, "the pack discovers Win32_BIOS");
    }
};

QTEST_GUILESS_MAIN(ExamplePacksTest)
#include "tst_examplepacks.moc"
