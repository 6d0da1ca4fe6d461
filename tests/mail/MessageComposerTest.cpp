// Header encoding, the MIME message and the streamed base64 attachment, without a network.
#include "mail/MessageComposer.h"

#include "mail/HeaderEncoder.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvane::mail;
using orvane::form::Result;
using orvane::form::StatusKind;

namespace {

// RFC 2047 decoding of "B" words in UTF-8, enough to check our own output.
QString decodeWords(const QByteArray &value)
{
    static const QRegularExpression word(QStringLiteral("=\\?utf-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QByteArray bytes;
    QRegularExpressionMatchIterator it = word.globalMatch(QString::fromLatin1(value));
    while (it.hasNext())
        bytes += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(bytes);
}

QByteArray unfold(QByteArray header)
{
    return header.replace("\r\n", "");
}

void expectShortLines(const QByteArray &text, int limit)
{
    for (const QByteArray &line : text.split('\n'))
        EXPECT_LE(line.size(), limit + 1) << line.toStdString();
}

// Every CR is followed by LF and every LF preceded by CR.
bool onlyCrlf(const QByteArray &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

TEST(HeaderEncoder, EncodedWordsAreShortAndDecodeToTheText)
{
    const QStringList texts = {"Grüße aus Köln", "日本語のテキストです。長い件名",
                               QString(200, u'é'), "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"};
    for (const QString &text : texts) {
        const QByteArray encoded = HeaderEncoder::encodedWords(text);
        EXPECT_EQ(decodeWords(encoded), text);
        for (const QByteArray &word : encoded.split('\n')) {
            EXPECT_LE(word.trimmed().size(), 75);
            // Each word holds whole characters: it decodes on its own.
            const QByteArray utf8 = QByteArray::fromBase64(word.trimmed().mid(10).chopped(2));
            EXPECT_EQ(QString::fromUtf8(utf8).toUtf8(), utf8);
        }
    }
}

TEST(HeaderEncoder, SubjectsStayReadableWhenPlainAndAreEncodedOtherwise)
{
    EXPECT_EQ(HeaderEncoder::unstructuredField("Subject", "Invoice 42"), "Subject: Invoice 42\r\n");

    const QString longSubject = QString("word ").repeated(40).trimmed();
    const QByteArray folded = HeaderEncoder::unstructuredField("Subject", longSubject);
    expectShortLines(folded, 78);
    EXPECT_EQ(unfold(folded), "Subject: " + longSubject.toLatin1());

    const QByteArray encoded = HeaderEncoder::unstructuredField("Subject", "Grüße");
    EXPECT_EQ(decodeWords(encoded), "Grüße");
    // Text that merely looks like an encoded word must not be decoded by the reader.
    EXPECT_EQ(decodeWords(HeaderEncoder::unstructuredField("Subject", "=?utf-8?B?SGk=?=")),
              "=?utf-8?B?SGk=?=");
    // One huge word still gives lines a server accepts.
    expectShortLines(HeaderEncoder::unstructuredField("Subject", QString(5000, 'x')), 998);
}

TEST(HeaderEncoder, DisplayNamesAreAtomsQuotedOrEncoded)
{
    EXPECT_EQ(HeaderEncoder::mailbox({"Ann Smith", "ann@example.com"}),
              "Ann Smith <ann@example.com>");
    EXPECT_EQ(HeaderEncoder::mailbox({"Doe, John", "j@example.com"}),
              "\"Doe, John\" <j@example.com>");
    EXPECT_EQ(HeaderEncoder::mailbox({"Say \"hi\"\\", "j@example.com"}),
              "\"Say \\\"hi\\\"\\\\\" <j@example.com>");
    EXPECT_EQ(HeaderEncoder::mailbox({"", "j@example.com"}), "j@example.com");
    const QByteArray encoded = HeaderEncoder::mailbox({"Jürgen", "j@example.de"});
    EXPECT_TRUE(encoded.startsWith("=?utf-8?B?"));
    EXPECT_EQ(decodeWords(encoded), "Jürgen");

    MailboxList many;
    for (int i = 0; i < 50; ++i)
        many.append({QStringLiteral("Person %1").arg(i), QStringLiteral("p%1@example.com").arg(i)});
    const QByteArray to = HeaderEncoder::mailboxField("To", many);
    expectShortLines(to, 78);
    EXPECT_EQ(unfold(to).count(','), 49);
}

TEST(HeaderEncoder, FileNamesUseRfc2231AndNeverCarryRawLineBreaks)
{
    EXPECT_EQ(HeaderEncoder::filenameParameter("scan 1.pdf"), ";\r\n filename=\"scan 1.pdf\"");
    EXPECT_EQ(HeaderEncoder::filenameParameter("Grüße.pdf"),
              ";\r\n filename*=utf-8''Gr%C3%BC%C3%9Fe.pdf");
    EXPECT_EQ(decodeWords(HeaderEncoder::nameParameter("Grüße.pdf")), "Grüße.pdf");

    const QString longName = QString("Überweisung ").repeated(12) + ".pdf";
    const QByteArray sections = HeaderEncoder::filenameParameter(longName);
    EXPECT_TRUE(sections.contains("filename*0*=utf-8''"));
    EXPECT_TRUE(sections.contains("filename*1*="));
    expectShortLines(sections, 78);
    QByteArray joined;
    static const QRegularExpression part(
            QStringLiteral("filename\\*\\d+\\*=(?:utf-8'')?([^;\\r]*)"));
    for (auto it = part.globalMatch(QString::fromLatin1(sections)); it.hasNext();)
        joined += it.next().captured(1).toLatin1();
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromPercentEncoding(joined)), longName);

    const QByteArray evil = HeaderEncoder::filenameParameter("a\r\nBcc: x@example.com.pdf");
    EXPECT_FALSE(evil.contains("\r\nBcc"));
    EXPECT_TRUE(onlyCrlf(evil));
}

// Found by fuzzing: every line within 78 characters where it can be, and the text back
// exactly as it was.
TEST(HeaderEncoder, LinesStayShortBesideFieldNamesAndTextComesBackExactly)
{
    // The first encoded word shares its line with "Subject: ".
    const QByteArray emoji = HeaderEncoder::unstructuredField("Subject", QString("😀").repeated(30));
    expectShortLines(emoji, 78);
    EXPECT_EQ(decodeWords(emoji), QString("😀").repeated(30));
    // A first word too long to sit beside the field name starts the next line.
    const QString word(70, 'x');
    const QByteArray longWord = HeaderEncoder::unstructuredField("Subject", word + " end");
    expectShortLines(longWord, 78);
    EXPECT_EQ(unfold(longWord), "Subject: " + word.toLatin1() + " end");
    // Runs of spaces and spaces at the ends are kept, so they go encoded.
    for (const QString &spaced : {QString("a  b"), QString(" lead"), QString("trail ")})
        EXPECT_EQ(decodeWords(HeaderEncoder::unstructuredField("Subject", spaced)), spaced);

    // A long name goes encoded and the address moves to a line of its own if need be.
    const QString name = QString("Long Name ").repeated(12).trimmed();
    const QByteArray to = HeaderEncoder::mailboxField("To", {{name, QString(60, 'a') + "@x.org"}});
    expectShortLines(to, 78);
    EXPECT_TRUE(to.contains("\r\n <" + QByteArray(60, 'a') + "@x.org>"));

    // A plain name parameter is the file name, whatever it says.
    EXPECT_EQ(HeaderEncoder::nameParameter("filename=x.pdf"), ";\r\n name=\"filename=x.pdf\"");
    // A quoted name that escapes would push past the fold column is encoded instead.
    const QString quotes = QString("\"").repeated(40);
    expectShortLines(HeaderEncoder::filenameParameter(quotes), 78);
    expectShortLines(HeaderEncoder::nameParameter(QString("ü").repeated(80)), 78);
}

TEST(MessageComposer, LineEndingsBecomeCrlf)
{
    EXPECT_EQ(MessageComposer::normaliseLineEndings("a\rb\nc\r\nd\n\re"),
              "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(MessageComposer::normaliseLineEndings("\r\r\n"), "\r\n\r\n");
}

MessageParts simpleParts(const QString &body)
{
    MessageParts parts;
    parts.from = {"Scanner", "scanner@example.com"};
    parts.to = {{"", "ann@example.org"}, {"Doe, John", "john@example.org"}};
    parts.subject = "Invoice";
    parts.body = body;
    parts.date = QDateTime(QDate(2026, 12, 7), QTime(6, 24, 7), Qt::UTC);
    return parts;
}

TEST(MessageComposer, PlainMessageHasTheHeadersAndCrlfBody)
{
    Result<MimeStream> composed
            = MessageComposer().compose(simpleParts("line 1\n.dot first\rline 3\r\n\r\n"));
    ASSERT_TRUE(composed.status.ok());
    const qint64 size = composed.value.size();
    ASSERT_TRUE(composed.value.open().ok());
    const QByteArray wire = composed.value.readAll();
    EXPECT_EQ(wire.size(), size);
    EXPECT_TRUE(onlyCrlf(wire));
    EXPECT_TRUE(wire.startsWith("Date: Mon, 07 Dec 2026 06:24:07 +0000\r\n"));
    EXPECT_TRUE(wire.contains("\r\nFrom: Scanner <scanner@example.com>\r\n"));
    EXPECT_TRUE(wire.contains("\r\nTo: ann@example.org, \"Doe, John\" <john@example.org>\r\n"));
    EXPECT_TRUE(wire.contains("\r\nSubject: Invoice\r\n"));
    EXPECT_TRUE(QRegularExpression("\r\nMessage-ID: <[0-9a-f]{32}@example\\.com>\r\n")
                        .match(QString::fromLatin1(wire))
                        .hasMatch());
    EXPECT_TRUE(wire.contains("\r\nMIME-Version: 1.0\r\n"));
    EXPECT_TRUE(wire.contains("Content-Type: text/plain; charset=utf-8\r\n"
                              "Content-Transfer-Encoding: 7bit\r\n\r\n"));
    // A line that starts with a dot follows a CRLF, where the transport dot-stuffs it.
    EXPECT_TRUE(wire.endsWith("\r\n\r\nline 1\r\n.dot first\r\nline 3\r\n\r\n"));
}

TEST(MessageComposer, NonAsciiOrLongLinesGoQuotedPrintable)
{
    Result<MimeStream> composed
            = MessageComposer().compose(simpleParts("Grüße = Grüße \nnext\n" + QString(1200, 'x')));
    ASSERT_TRUE(composed.status.ok());
    ASSERT_TRUE(composed.value.open().ok());
    const QByteArray wire = composed.value.readAll();
    EXPECT_TRUE(wire.contains("Content-Transfer-Encoding: quoted-printable\r\n"));
    EXPECT_TRUE(wire.contains("Gr=C3=BC=C3=9Fe =3D Gr=C3=BC=C3=9Fe=20\r\nnext\r\n"));
    expectShortLines(wire.mid(wire.indexOf("\r\n\r\n")), 76);
    EXPECT_TRUE(onlyCrlf(wire));
}

TEST(MessageComposer, HeaderInjectionInTheSubjectFailsBeforeAnythingIsBuilt)
{
    for (const QString &subject : {QStringLiteral("Hi\r\nBcc: all@example.com"),
                                   QStringLiteral("Hi\nX: y"), QStringLiteral("Hi\rX: y")}) {
        MessageParts parts = simpleParts("body");
        parts.subject = subject;
        Result<MimeStream> composed = MessageComposer().compose(parts);
        EXPECT_EQ(composed.status.kind, StatusKind::HeaderInjection);
    }
}

// Whatever the subject or file name, the headers are either refused or safe: CRLF only, no
// line over 998 characters.
TEST(MessageComposer, RandomSubjectsAndFileNamesNeverBreakTheHeaders)
{
    const QString alphabet = QStringLiteral("aZ09 =?\"\\()<>,;:\t\r\n\x01\x7fäß€😀");
    QRandomGenerator random(42);
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int length = random.bounded(round % 10 == 0 ? 3000 : 80);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random.bounded(int(alphabet.size())));
        if (random.bounded(50) == 0)
            text += QChar(0xD800); // a lone surrogate
        MessageParts parts = simpleParts("body");
        parts.subject = text;
        Result<MimeStream> composed = MessageComposer().compose(parts);
        if (composed.status.ok()) {
            ASSERT_TRUE(composed.value.open().ok());
            const QByteArray wire = composed.value.readAll();
            EXPECT_TRUE(onlyCrlf(wire));
            expectShortLines(wire, 998);
        } else {
            EXPECT_EQ(composed.status.kind, StatusKind::HeaderInjection);
        }
        const QByteArray params
                = HeaderEncoder::nameParameter(text) + HeaderEncoder::filenameParameter(text);
        EXPECT_TRUE(onlyCrlf(params));
        expectShortLines(params, 998);
    }
}

class AttachmentTest : public ::testing::Test
{
protected:
    QString writeFile(const QString &name, const QByteArray &content)
    {
        QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    static QByteArray randomBytes(qint64 size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator random{quint32(size)};
        for (char &c : bytes)
            c = char(random.bounded(256));
        return bytes;
    }

    MessageParts partsWith(const QString &path, const QString &name, qint64 size)
    {
        MessageParts parts = simpleParts("See attachment.\r\n\r\n");
        parts.attachments.append({path, name, "application/pdf", size});
        return parts;
    }

    QTemporaryDir dir;
};

// The base64 part between the part's blank line and the closing delimiter.
QByteArray base64Body(const QByteArray &wire, const QByteArray &boundary)
{
    const qsizetype partStart = wire.indexOf("Content-Transfer-Encoding: base64\r\n");
    const qsizetype bodyStart = wire.indexOf("\r\n\r\n", partStart) + 4;
    const qsizetype end = wire.indexOf("--" + boundary + "--", bodyStart);
    return wire.mid(bodyStart, end - bodyStart);
}

TEST_F(AttachmentTest, Base64OfTheFileDecodesByteIdentical)
{
    for (qint64 size :
         {qint64(0), qint64(1), qint64(2), qint64(56), qint64(57), qint64(58),
          MimeStream::blockBytes - 1, MimeStream::blockBytes, MimeStream::blockBytes * 3 + 7}) {
        const QByteArray content = randomBytes(size);
        const QString path = writeFile(QStringLiteral("f%1.bin").arg(size), content);
        MessageComposer composer([] { return QByteArray("=_test_boundary"); });
        Result<MimeStream> composed = composer.compose(partsWith(path, "scan.pdf", size));
        ASSERT_TRUE(composed.status.ok());
        ASSERT_TRUE(composed.value.open().ok());
        const qint64 announced = composed.value.size();
        const QByteArray wire = composed.value.readAll();
        EXPECT_EQ(wire.size(), announced) << size;
        EXPECT_TRUE(onlyCrlf(wire));
        const QByteArray encoded = base64Body(wire, "=_test_boundary");
        EXPECT_EQ(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")), content) << size;
        // Canonical base64 (padding included), in full 76-character lines but the last.
        EXPECT_EQ(QByteArray(encoded).replace("\r\n", ""), content.toBase64()) << size;
        const QList<QByteArray> lines = encoded.split('\n');
        for (qsizetype i = 0; i + 2 < lines.size(); ++i)
            EXPECT_EQ(lines[i].size(), 77) << size << " line " << i;
        for (const QByteArray &line : lines)
            EXPECT_LE(line.size(), 77);
    }
}

TEST_F(AttachmentTest, PartHeadersNameTheFileWithoutItsDirectory)
{
    const QString path = writeFile("Grüße.pdf", "%PDF-1.4");
    Result<MimeStream> composed = MessageComposer().compose(partsWith(path, "Grüße.pdf", 8));
    ASSERT_TRUE(composed.value.open().ok());
    const QByteArray wire = composed.value.readAll();
    EXPECT_TRUE(wire.contains("Content-Type: multipart/mixed;\r\n boundary=\"=_orvane_"));
    EXPECT_TRUE(wire.contains("Content-Type: application/pdf;\r\n name=\"=?utf-8?B?"));
    EXPECT_TRUE(wire.contains("Content-Disposition: attachment;\r\n filename*=utf-8''Gr%C3%BC"));
    EXPECT_FALSE(wire.contains(dir.path().toUtf8()));
}

TEST_F(AttachmentTest, BoundaryNeverCollidesWithTheText)
{
    const QString path = writeFile("a.bin", "x");
    int calls = 0;
    MessageComposer composer(
            [&calls] { return ++calls == 1 ? QByteArray("taken") : QByteArray("free"); });
    MessageParts parts = partsWith(path, "a.bin", 1);
    parts.body = "a line\r\n--taken\r\nmore";
    Result<MimeStream> composed = composer.compose(parts);
    ASSERT_TRUE(composed.status.ok());
    ASSERT_TRUE(composed.value.open().ok());
    const QByteArray wire = composed.value.readAll();
    EXPECT_TRUE(wire.contains("boundary=\"free\""));
    EXPECT_EQ(wire.count("--free"), 3); // text part, file part, closing delimiter

    MessageComposer stuck([] { return QByteArray("taken"); });
    EXPECT_FALSE(stuck.compose(parts).status.ok());
}

TEST_F(AttachmentTest, FileThatChangesFailsTheStreamInsteadOfSendingSomethingElse)
{
    const QString path = writeFile("c.bin", randomBytes(1000));
    Result<MimeStream> composed = MessageComposer().compose(partsWith(path, "c.bin", 1000));
    writeFile("c.bin", randomBytes(10));
    EXPECT_EQ(composed.value.open().kind, StatusKind::Attachment);

    Result<MimeStream> grown = MessageComposer().compose(partsWith(path, "c.bin", 10));
    ASSERT_TRUE(grown.value.open().ok());
    QFile more(path);
    ASSERT_TRUE(more.open(QIODevice::Append));
    more.write("extra");
    more.close();
    char buffer[4096];
    qint64 n = 0;
    while ((n = grown.value.read(buffer, sizeof buffer)) > 0) {
    }
    EXPECT_EQ(n, -1);
    EXPECT_EQ(grown.value.status().kind, StatusKind::Attachment);
}

} // namespace
