#include "catalogue/Catalogue.h"
#include "catalogue/ImageDigests.h"
#include "catalogue/ImageSource.h"
#include "catalogue/OutsideText.h"
#include "catalogue/Signature.h"
#include "catalogue/TrustedKeys.h"
#include "session/PartSteps.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void models_data();
    void models();
    void netVersions_data();
    void netVersions();
    void negativeVersions_data();
    void negativeVersions();
    void versionStringIgnoresModel();
    void sha256Sums_data();
    void sha256Sums();
    void signedList_data();
    void signedList();
    void shippedDigestsHoldEverywhere_data();
    void shippedDigestsHoldEverywhere();
    void usualSeconds();
};

// clang-format off
void TestCatalogue::models_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("boot");
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<QByteArray>("fpga");

    QTest::newRow("KD740A") << 0 << "KD740A" << "4.5.9" << QByteArray("./firmware/kd740a_boot_4.img")
                            << QByteArray("./firmware/kd740a_run_5.img") << QByteArray("./firmware/kd740a_fpga_9.rbf");
    QTest::newRow("KD740B") << 1 << "KD740B" << "4.5.12" << QByteArray("./firmware/kd740b_boot_4.img")
                            << QByteArray("./firmware/kd740b_run_5.img") << QByteArray("./firmware/kd740b_fpga_12.rbf");
    QTest::newRow("KD740C") << 2 << "KD740C" << "5.5.3" << QByteArray("./firmware/kd740c_fx3_v5.img") << QByteArray()
                            << QByteArray("./firmware/kd740c_fpga_v3.rbf");
    QTest::newRow("code 3") << 3 << "Invalid device type" << "0.0.0" << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("code -1") << -1 << "Invalid device type" << "0.0.0" << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("largest code") << 2147483647 << "Invalid device type" << "0.0.0" << QByteArray() << QByteArray()
                                  << QByteArray();
}
// clang-format on

void TestCatalogue::models()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, version);
    QFETCH(QByteArray, boot);
    QFETCH(QByteArray, run);
    QFETCH(QByteArray, fpga);

    const FirmwareTarget shipped = shippedFirmware(type);
    QCOMPARE(shipped.deviceType, type);
    QCOMPARE(deviceTypeName(type), name);
    QCOMPARE(versionString(shipped), version);
    QCOMPARE(bootImagePath(ImageSource(), shipped), boot);
    QCOMPARE(runImagePath(ImageSource(), shipped), run);
    QCOMPARE(fpgaImagePath(ImageSource(), shipped), fpga);
}

// clang-format off
void TestCatalogue::netVersions_data()
{
    QTest::addColumn<int>("reported");
    QTest::addColumn<QString>("version");

    QTest::newRow("-1") << -1 << "0.0.0";
    QTest::newRow("0") << 0 << "0.0.0";
    QTest::newRow("1") << 1 << "1.1.1";
    QTest::newRow("2") << 2 << "2.2.1";
    QTest::newRow("3") << 3 << "3.3.1";
    QTest::newRow("4") << 4 << "4.4.2";
    QTest::newRow("5") << 5 << "5.5.3";
    QTest::newRow("6") << 6 << "0.0.0";
    QTest::newRow("smallest") << (-2147483647 - 1) << "0.0.0";
}
// clang-format on

void TestCatalogue::netVersions()
{
    QFETCH(int, reported);
    QFETCH(QString, version);

    const FirmwareTarget firmware = firmwareFromNetVersion(reported);
    QCOMPARE(firmware.deviceType, KD740C);
    QCOMPARE(versionString(firmware), version);
    // The run image never exists for the KD740C, whatever it reported.
    QCOMPARE(runImagePath(ImageSource(), firmware), QByteArray());
}

// clang-format off
void TestCatalogue::negativeVersions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("boot");
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<QByteArray>("fpga");

    QTest::newRow("KD740A -1") << 0 << -1 << "-1.-1.-1" << QByteArray("./firmware/kd740a_boot_-1.img")
                               << QByteArray("./firmware/kd740a_run_-1.img") << QByteArray("./firmware/kd740a_fpga_-1.rbf");
    QTest::newRow("KD740C smallest") << 2 << (-2147483647 - 1) << "-2147483648.-2147483648.-2147483648"
                                     << QByteArray("./firmware/kd740c_fx3_v-2147483648.img") << QByteArray()
                                     << QByteArray("./firmware/kd740c_fpga_v-2147483648.rbf");
    QTest::newRow("KD740B 0") << 1 << 0 << "0.0.0" << QByteArray("./firmware/kd740b_boot_0.img")
                              << QByteArray("./firmware/kd740b_run_0.img") << QByteArray("./firmware/kd740b_fpga_0.rbf");
    QTest::newRow("code 7 -5") << 7 << -5 << "-5.-5.-5" << QByteArray() << QByteArray() << QByteArray();
}
// clang-format on

void TestCatalogue::negativeVersions()
{
    QFETCH(int, type);
    QFETCH(int, version);
    QFETCH(QString, text);
    QFETCH(QByteArray, boot);
    QFETCH(QByteArray, run);
    QFETCH(QByteArray, fpga);

    const FirmwareTarget firmware { type, version, version, version };
    QCOMPARE(versionString(firmware), text);
    QCOMPARE(bootImagePath(ImageSource(), firmware), boot);
    QCOMPARE(runImagePath(ImageSource(), firmware), run);
    QCOMPARE(fpgaImagePath(ImageSource(), firmware), fpga);
}

void TestCatalogue::versionStringIgnoresModel()
{
    QCOMPARE(versionString({ 0, 4, 5, 12 }), versionString({ 2, 4, 5, 12 }));
    QCOMPARE(versionString({ 99, 4, 5, 12 }), QStringLiteral("4.5.12"));
}

// A SHA256SUMS comes with a folder from anywhere: only what sha256sum would
// write names a digest.
void TestCatalogue::sha256Sums_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("listed"); // "name=hash ...", sorted

    const QByteArray a(64, 'a');
    const QByteArray b(64, 'b');
    QTest::newRow("text and binary mode") << a + "  x.img\n" + b + " *y.rbf\n" << QString("x.img=" + a + " y.rbf=" + b);
    QTest::newRow("CRLF, upper case, ./") << QByteArray(64, 'A') + "  ./x.img\r\n" << QString("x.img=" + a);
    QTest::newRow("escaped name") << "\\" + a + "  x\\\\y\\nz\n" << QString("x\\y\nz=" + a);
    QTest::newRow("not in the form") << a + " x\n" + a.left(63) + "  y\n" + QByteArray(64, 'g') + "  z\n"
            + "SHA256 (w) = " + a + "\n" + QByteArray("\0\xff\n  *\n", 7)
                                     << QString();
    QTest::newRow("two digests for one name") << a + "  x.img\n" + b + "  x.img\n" << QString();
    QTest::newRow("the same twice") << a + "  x.img\n" + a + "  x.img\n" << QString("x.img=" + a);
}

void TestCatalogue::sha256Sums()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, listed);

    const QHash<QString, QByteArray> parsed = parseSha256Sums(text);
    QStringList entries;
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it)
        entries << it.key() + '=' + QString::fromLatin1(it.value());
    entries.sort();
    QCOMPARE(entries.join(' '), listed);
}

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A signature with its line index (0 untrusted comment, 1 signature,
// 2 trusted comment, 3 the comment's signature) replaced.
QByteArray withLine(const QString &signature, int index, const QByteArray &line)
{
    QList<QByteArray> lines = contentOf(signature).split('\n');
    lines[index] = line;
    return lines.join('\n');
}

// The untrusted key's signature, claiming the tests' trusted key made it.
QByteArray keyIdPatched()
{
    QByteArray signature = QByteArray::fromBase64(contentOf(KD740_TEST_KEYS "/untrusted.minisig").split('\n').at(1));
    const QByteArray key = QByteArray::fromBase64(contentOf(KD740_TEST_KEYS "/trusted.pub").split('\n').at(1));
    signature.replace(2, 8, key.mid(2, 8));
    return withLine(KD740_TEST_KEYS "/untrusted.minisig", 1, signature.toBase64());
}

} // namespace

// minisign's own signatures of the shipped list: the build's key, a second
// trusted key (the tests'), each by the id minisign gives it and with the
// comment it signed; a list changed after signing, and signatures that do
// not hold, which --allow-unsigned takes as unsigned; and a list a trusted
// key signed as no release of this program, refused even so.
void TestCatalogue::signedList_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QString>("signer"); // "own", "none", "for another program" or the .pub whose id it is
    const QString own = KD740_SIGNED_LIST ".minisig";
    const QString tests = KD740_TEST_KEYS "/trusted.minisig";
    QTest::newRow("the build's key") << contentOf(own) << "own";
    QTest::newRow("a second trusted key") << contentOf(tests) << KD740_TEST_KEYS "/trusted.pub";
    QTest::newRow("changed, allowed") << contentOf(own) << "none";
    QTest::newRow("trusted comment changed")
        << withLine(own, 2, "trusted comment: KD740 firmware 2.0.2: the eight shipped images") << "none";
    QTest::newRow("global signature of another signature")
        << withLine(tests, 3, contentOf(KD740_TEST_KEYS "/other-file.minisig").split('\n').at(3)) << "none";
    QTest::newRow("key id patched to a trusted one") << keyIdPatched() << "none";
    QTest::newRow("another key") << contentOf(KD740_TEST_KEYS "/untrusted.minisig") << "none";
    QTest::newRow("truncated") << contentOf(own).left(150) << "none";
    QTest::newRow("withdrawn") << contentOf(KD740_TEST_KEYS "/withdrawn.minisig") << "for another program";
}

void TestCatalogue::signedList()
{
    QFETCH(QByteArray, signature);
    QFETCH(QString, signer);

    QTemporaryDir folder;
    QFile list(folder.filePath("SHA256SUMS")), minisig(folder.filePath("SHA256SUMS.minisig")), key(signer);
    QVERIFY(QFile::copy(KD740_SIGNED_LIST, list.fileName()) && minisig.open(QIODevice::WriteOnly)
            && minisig.write(signature) == signature.size());
    minisig.close();
    QVERIFY(QString(QTest::currentDataTag()) != "changed, allowed"
            || (list.open(QIODevice::Append) && list.write("\n") == 1));
    list.close();
    ImageSource source = ImageSource::listedIn(QFile::encodeName(folder.path()));
    source.allowUnsigned();
    const ImageList read = source.read();
    QCOMPARE(read.problem,
             signer == "for another program" ? "Firmware images are not signed for this program: "
                     + outsideText(QDir::toNativeSeparators(folder.path()))
                                             : QString());
    if (signer == "own") {
        QCOMPARE(read.signer, keyId(trustedKeys().first()));
        QCOMPARE(read.comment, QString("KD740 firmware 2.0.1: the eight shipped images"));
    } else if (signer == "none") {
        QCOMPARE(read.signer + read.comment, QString());
    } else if (signer != "for another program") {
        QCOMPARE("untrusted comment: minisign public key " + read.signer,
                 QString((key.open(QIODevice::ReadOnly), key.readLine().trimmed())));
        QCOMPARE(read.comment, QString("KD740 firmware for the tests, signed by their trusted key"));
    }
}

// A folder's own list, signed or taken unsigned, never vouches for other
// bytes under a shipped name; nor does an unsigned one for any other name.
void TestCatalogue::shippedDigestsHoldEverywhere_data()
{
    QTest::addColumn<bool>("remade"); // changed after signing: taken unsigned
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("heldTo"); // empty: nothing of that name is taken
    QTest::addColumn<bool>("listedOtherwise");
    const QByteArray fpgaB = shippedImage("kd740b_fpga_12.rbf").sha256;
    QTest::newRow("signed") << false << "kd740b_fpga_12.rbf" << fpgaB << false;
    QTest::newRow("remade, another model's digest") << true << "kd740b_fpga_12.rbf" << fpgaB << true;
    QTest::newRow("remade, as shipped") << true << "kd740a_fpga_9.rbf" << shippedImage("kd740a_fpga_9.rbf").sha256
                                        << false;
    QTest::newRow("remade, not shipped") << true << "other.rbf" << QByteArray() << false;
}

void TestCatalogue::shippedDigestsHoldEverywhere()
{
    QFETCH(bool, remade);
    QFETCH(QString, name);
    QFETCH(QByteArray, heldTo);
    QFETCH(bool, listedOtherwise);

    QTemporaryDir folder;
    QVERIFY(QFile::copy(KD740_SIGNED_LIST, folder.filePath("SHA256SUMS"))
            && QFile::copy(KD740_SIGNED_LIST ".minisig", folder.filePath("SHA256SUMS.minisig")));
    QFile list(folder.filePath("SHA256SUMS"));
    QVERIFY(list.open(QIODevice::ReadWrite));
    const QByteArray text = list.readAll();
    const QByteArray fpgaA = shippedImage("kd740a_fpga_9.rbf").sha256;
    if (remade) {
        const QByteArray changed = QByteArray(text).replace(shippedImage("kd740b_fpga_12.rbf").sha256, fpgaA);
        QVERIFY(list.resize(0) && list.seek(0) && list.write(changed + fpgaA + "  other.rbf\n") > 0);
    }
    list.close();
    ImageSource source = ImageSource::listedIn(QFile::encodeName(folder.path()));
    source.allowUnsigned();
    const ImageList read = source.read();
    QCOMPARE(read.signer.isEmpty(), remade);
    QCOMPARE(read.expectedImage(name).sha256, heldTo);
    QCOMPARE(read.expectedImage(name).listedOtherwise, listedOtherwise);
}

// "Usually up to" is the longest estimate either workflow gives the part, so
// that a normal restore of the KD740C's FX3 (announced as 10 seconds) is not late.
void TestCatalogue::usualSeconds()
{
    QCOMPARE(::usualSeconds(KD740C, restoreSequence(KD740C).parts.at(0)), 20);
    QCOMPARE(::usualSeconds(KD740C, restoreSequence(KD740C).parts.at(1)), 600);
    QCOMPARE(::usualSeconds(KD740B, restoreSequence(KD740B).parts.at(2)), 360);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
